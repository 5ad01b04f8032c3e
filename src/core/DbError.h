#pragma once

#include <stdexcept>

#include <QString>

namespace vocaset {

// A statement or connection the engine refused; text() is the engine's own description, code() the
// engine's code of the refusal where it gave one (the SQLSTATE on the server, the extended result
// code on SQLite), empty for a refusal the program words itself.
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString& text, const QString& code = {})
        : std::runtime_error(text.toStdString()), m_text(text), m_code(code)
    {
    }
    const QString& text() const { return m_text; }
    const QString& code() const { return m_code; }

private:
    QString m_text;
    QString m_code;
};

// The engine ended the open transaction by itself: SQLite rolls back on a full disk or an I/O error,
// a server whose session was lost rolls it back. Or another session kept a statement of it from
// finishing (a lock or statement time-out, a deadlock, a serialization failure), and the connection
// rolled it back: the run cannot be completed as it began. Nothing of the transaction is kept, and
// every statement sent after it would commit on its own, so the connection refuses them until the
// transaction is rolled back. A bulk writer that goes on after a refused row stops on this one.
class TransactionLost : public DbError
{
public:
    using DbError::DbError;
};

// A bulk run's write that the database refused because another operator committed a conflicting
// row since the run read: a key now taken, or a row it refers to (or that refers to it) added or
// removed. The run ends with nothing of it kept; text() is the program's line naming what
// conflicted, then the engine's own text on a line of its own.
class OperatorConflict : public DbError
{
public:
    OperatorConflict(const QString& words, const DbError& refusal)
        : DbError(words + u'\n' + refusal.text(), refusal.code()), m_words(words)
    {
    }
    const QString& words() const { return m_words; }

private:
    QString m_words;
};

} // namespace vocaset
