#pragma once

#include <QHash>
#include <QList>

#include "Interaction.h"
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
    enum Problem { None, Unreadable, TooLarge, Binary, LongLine, TooManyUsers };
    Problem problem = None;
    QString reason; // the system's reason when unreadable
    QList<ImportedUser> users;

    static constexpr qint64 kMaxBytes = 64 * 1024 * 1024;
    static constexpr int kMaxLine = 64 * 1024;
    static constexpr int kMaxUsers = 100000;
};

// Reads the users of a "confUsers.ini" text (Windows-1252, CR LF or LF): an optional "[Users]" line,
// then blocks of a "[User..." header immediately followed by "Name=", "Surname=" and "Extension="
// lines. A block missing one of them, or with an empty extension, yields no user.
UserList parseUserList(const QByteArray& bytes);
UserList readUserList(const QString& path);

// Brings the company's phone book in line with a user list: new extensions are added ("V"), known
// imported ones get their name refreshed, imported ones no longer listed are hidden ("H"); hidden
// entries and entries kept by hand are never touched. Only the chosen company's entries change, all
// in one transaction.
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
    // A statement of the import; a refusal logs M17 with the reason and the import goes on.
    bool step(const QString& sql, const QVariantList& values, const QString& what);
    void processUser(const ImportedUser& user, PhoneBookSummary& summary);

    Session& m_s;
    RunLog& m_log;
    QString m_company;
    QHash<QString, QString> m_flags; // the company's entries: extension -> flag
    QString m_failedText;            // M17, read at the first failure
    bool m_stopRequested = false;
};

} // namespace vocaset
