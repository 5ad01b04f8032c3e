#pragma once

#include <optional>

#include <QHash>
#include <QList>
#include <QSet>

#include "BlockWriter.h"
#include "ColumnWidths.h"
#include "Interaction.h"
#include "Messages.h"
#include "PhoneBookChoices.h"

namespace vocaset {

// One user of a user list: the extension and the name as the phone book stores it ("First Last ").
struct ImportedUser
{
    QString extension;
    QString name;
};

// What a user-list file holds, or why it is not one.
struct UserList
{
    enum Problem { None, Unreadable, TooLarge, Binary, LongLine, TooManyUsers, NoUsersLine, NoUsers };
    Problem problem = None;
    QString reason; // the system's reason when unreadable
    QList<ImportedUser> users;
    QList<qsizetype> refusedLines; // lines holding a control character, numbered from 1
    bool utf8 = false;             // read as UTF-8 rather than Windows-1252

    static constexpr qint64 kMaxBytes = 64 * 1024 * 1024;
    static constexpr int kMaxLine = 64 * 1024;
    static constexpr int kMaxUsers = 100000;
};

// Reads the users of a "confUsers.ini" text (UTF-8 when it is valid UTF-8, else Windows-1252; CR LF
// or LF): a "[Users]" line, then blocks of a "[User..." header immediately followed by "Name=",
// "Surname=" and "Extension=" lines. A block missing one of them, or with an empty extension, yields
// no user, and a list of no user is refused as an empty file is. The old end-of-file mark (0x1A) after
// the last line ends the text; a line holding any other control character (tab and the Unicode line
// and paragraph separators too) is refused and read as empty.
UserList parseUserList(const QByteArray& bytes);
UserList readUserList(const QString& path);

// Brings the company's phone book in line with a user list: new extensions are added ("V"), known
// imported ones get their name refreshed, imported ones no longer listed are hidden ("H"); hidden
// entries and entries kept by hand are never touched. Only the chosen company's entries change, all
// in one transaction. An entry another operator added after the import read the company's entries
// ends it with nothing kept (OperatorConflict).
class PhoneBookImport
{
public:
    PhoneBookImport(Session& session, RunLog& log) : m_s(session), m_log(log) {}
    Q_DISABLE_COPY_MOVE(PhoneBookImport)

    static QString fileName() { return QStringLiteral("confUsers.ini"); }

    PhoneBookSummary run(const PhoneBookRequest& request);
    // Asks a run that is giving the user interface a turn to stop; nothing it did is kept.
    void requestStop() { m_stopRequested = true; }

private:
    // A statement of the import; a refusal logs M17 with the reason and the import goes on. A failure
    // that ended the transaction stops the import (TransactionLost).
    bool step(const QString& sql, const QString& what);
    void refused(const QString& what, const DbError& e);
    // Queues a user's row, or its outcome when it is known already; a row goes in with its block.
    // The progress once a user's lines are told.
    void told(PhoneBookSummary& summary);
    void processUser(const ImportedUser& user, PhoneBookSummary& summary);
    // A user of the file that could not be imported keeps the flag its entry had before.
    void keepEntry(const ImportedUser& user);
    bool refuseFile(const UserList& list, PhoneBookSummary& summary);
    // How many of the company's visible entries the file does not list; asks before hiding more
    // than half of them. False when the operator declines.
    bool confirmHiding(const UserList& list, PhoneBookSummary& summary);

    Session& m_s;
    RunLog& m_log;
    QString m_company;
    QHash<QString, QString> m_flags; // the company's entries: extension -> flag
    QSet<QString> m_queued;          // extensions of the users queued since the last block went
    std::optional<ColumnWidths> m_widths;
    std::optional<RunTexts> m_texts;
    std::optional<BlockWriter> m_blocks;
    BlockWriter::Kind m_added = 0;
    BlockWriter::Kind m_renamed = 0;
    bool m_stopRequested = false;
};

} // namespace vocaset
