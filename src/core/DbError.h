#pragma once

#include <stdexcept>

#include <QString>

namespace vocaset {

// A statement or connection the engine refused; text() is the engine's own description.
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
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

} // namespace vocaset
