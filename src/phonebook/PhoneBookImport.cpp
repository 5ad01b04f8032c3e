#include "PhoneBookImport.h"

#include <QFile>
#include <QFileInfo>

#include "Messages.h"
#include "Sql.h"
#include "TextFile.h"
#include "UiYield.h"

namespace vocaset {
namespace {

// Control bytes that never occur in a text file (tab, line ends, form feed and the old end-of-file
// mark do).
bool isBinary(const QByteArray& bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char ch) {
        const auto b = static_cast<unsigned char>(ch);
        return b < 0x20 && b != '\t' && b != '\n' && b != '\v' && b != '\f' && b != '\r' && b != 0x1A;
    });
}

// Longest name and extension the phone book's columns hold.
constexpr int kNameWidth = 50;
constexpr int kNumberWidth = 50;

} // namespace

UserList parseUserList(const QByteArray& bytes)
{
    UserList list;
    if (isBinary(bytes)) {
        list.problem = UserList::Binary;
        return list;
    }
    const QStringList lines = splitLines(fromCp1252(bytes));
    for (const QString& l : lines) {
        if (l.size() > UserList::kMaxLine) {
            list.problem = UserList::LongLine;
            return list;
        }
    }
    const qsizetype n = lines.size();
    qsizetype i = 0;
    if (n > 0 && lines[0].startsWith(QLatin1String("[Users]")))
        i = 1;
    // A line read as a block's Name=, Surname= or Extension= line is never examined as a header,
    // whether it matched or not: the loop always moves on past it.
    for (; i < n; ++i) {
        if (!lines[i].startsWith(QLatin1String("[User")) || ++i >= n)
            continue;
        if (!lines[i].startsWith(QLatin1String("Name=")))
            continue;
        QString name = lines[i].mid(5);
        if (++i >= n || !lines[i].startsWith(QLatin1String("Surname=")))
            continue;
        name += u' ' + lines[i].mid(8) + u' ';
        if (++i >= n || !lines[i].startsWith(QLatin1String("Extension=")))
            continue;
        const QString extension = lines[i].mid(10);
        if (extension.isEmpty() || name.isEmpty())
            continue;
        if (list.users.size() == UserList::kMaxUsers) {
            list.problem = UserList::TooManyUsers;
            list.users.clear();
            return list;
        }
        list.users.append({extension, name});
    }
    return list;
}

UserList readUserList(const QString& path)
{
    QFile file(path);
    UserList list;
    if (!file.open(QIODevice::ReadOnly)) {
        list.problem = UserList::Unreadable;
        list.reason = file.errorString();
        return list;
    }
    if (file.size() > UserList::kMaxBytes) {
        list.problem = UserList::TooLarge;
        return list;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        list.problem = UserList::Unreadable;
        list.reason = file.errorString();
        return list;
    }
    return parseUserList(bytes);
}

bool PhoneBookImport::step(const QString& sql, const QVariantList& values, const QString& what)
{
    try {
        if (values.isEmpty())
            m_s.db.execute(sql);
        else
            m_s.db.executeBound(sql, values);
        return true;
    } catch (const DbError& e) {
        if (m_failedText.isNull())
            m_failedText = MessageText(m_s, QStringLiteral("M17"));
        m_log.append(m_failedText);
        m_log.append(what + QStringLiteral(": ") + e.text());
        return false;
    }
}

void PhoneBookImport::processUser(const ImportedUser& u, PhoneBookSummary& summary)
{
    const QString entry = u.extension + QStringLiteral(" - ") + u.name;
    if (u.name.size() > kNameWidth || u.extension.size() > kNumberWidth) {
        m_log.append(textOr(m_s, QStringLiteral("M301"),
                            QStringLiteral("$$: the name or the extension is longer than the phone book holds; "
                                           "not imported."),
                            entry));
        ++summary.failed;
        return;
    }
    const auto flag = m_flags.constFind(u.extension);
    if (flag == m_flags.constEnd()) {
        if (step(QStringLiteral("INSERT INTO PHONE_BOOK VALUES(?, ?, ?, 'V', '', '', '', '')"),
                 {m_company, u.extension, u.name}, entry)) {
            m_flags.insert(u.extension, QStringLiteral("V"));
            m_log.append(entry + QStringLiteral(" - Added"));
            ++summary.succeeded;
        } else {
            ++summary.failed;
        }
    } else if (*flag == u"W") {
        if (step(QStringLiteral("UPDATE PHONE_BOOK SET BK_NAME = ?, BK_FLAG = 'V' WHERE CO_CODE = ? AND BK_NUM = ?"),
                 {u.name, m_company, u.extension}, entry)) {
            m_flags.insert(u.extension, QStringLiteral("V"));
            m_log.append(entry + QStringLiteral(" - Updated"));
            ++summary.succeeded;
        } else {
            ++summary.failed;
        }
    } else {
        m_log.append(entry + QStringLiteral(" - Ignored, Hidden or Manual"));
    }
}

PhoneBookSummary PhoneBookImport::run(const PhoneBookRequest& r)
{
    m_stopRequested = false;
    m_failedText = QString();
    PhoneBookSummary summary;
    const std::optional<QString> folder = checkRequest(m_s, r, true, summary);
    if (!folder)
        return summary;
    summary.file = *folder + u'/' + fileName();
    if (!QFileInfo::exists(summary.file)) {
        ShowMessage(m_s, QStringLiteral("M16"), summary.file);
        summary.outcome = PhoneBookOutcome::FileMissing;
        return summary;
    }

    // The whole file is read and checked before anything changes.
    const UserList list = readUserList(summary.file);
    if (list.problem != UserList::None) {
        switch (list.problem) {
        case UserList::Unreadable:
            showPhoneBookText(m_s, QStringLiteral("M296"), QStringLiteral("The file could not be read: $$"),
                              summary.file + QStringLiteral(": ") + list.reason);
            break;
        case UserList::TooLarge:
            showPhoneBookText(m_s, QStringLiteral("M305"),
                              QStringLiteral("$$ is not a user list: it is larger than 64 MiB. Nothing was changed."),
                              summary.file);
            break;
        case UserList::Binary:
            showPhoneBookText(m_s, QStringLiteral("M293"),
                              QStringLiteral("$$ is not a user list: it holds binary data. Nothing was changed."),
                              summary.file);
            break;
        case UserList::LongLine:
            showPhoneBookText(
                m_s, QStringLiteral("M294"),
                QStringLiteral("$$ is not a user list: a line is longer than 64 KiB. Nothing was changed."),
                summary.file);
            break;
        default:
            showPhoneBookText(
                m_s, QStringLiteral("M295"),
                QStringLiteral("$$ is not a user list: it holds more than 100 000 users. Nothing was changed."),
                summary.file);
            break;
        }
        summary.outcome = PhoneBookOutcome::Refused;
        return summary;
    }

    m_company = r.company;
    summary.selected = int(list.users.size());
    giveUiTurn();
    Transaction transaction(m_s.db);
    const QString company = sqlText(r.company);
    step(QStringLiteral("UPDATE PHONE_BOOK SET BK_FLAG = 'W' WHERE CO_CODE = '") + company +
             QStringLiteral("' AND BK_FLAG = 'V'"),
         {}, summary.file);
    // The company's flags are read once; each user then costs one statement at most.
    m_flags.clear();
    const Recordset known =
        m_s.db.execute(QStringLiteral("SELECT BK_NUM, BK_FLAG FROM PHONE_BOOK WHERE CO_CODE = '") + company + u'\'');
    for (const QVariantList& row : known.rows())
        m_flags.insert(row.at(0).toString(), row.at(1).toString());

    m_log.progress(0, summary.selected);
    for (const ImportedUser& u : list.users) {
        processUser(u, summary);
        m_log.progress(++summary.done, summary.selected);
        giveUiTurn();
        if (m_stopRequested) {
            m_log.append(textOr(m_s, QStringLiteral("M304"),
                                QStringLiteral("Import stopped by the operator: nothing was changed.")));
            summary.outcome = PhoneBookOutcome::Aborted;
            return summary; // the transaction rolls back
        }
    }
    step(QStringLiteral("UPDATE PHONE_BOOK SET BK_FLAG = 'H' WHERE CO_CODE = '") + company +
             QStringLiteral("' AND BK_FLAG = 'W'"),
         {}, summary.file);
    transaction.commit();
    giveUiTurn();
    return summary;
}

} // namespace vocaset
