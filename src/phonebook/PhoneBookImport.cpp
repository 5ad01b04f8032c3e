#include "PhoneBookImport.h"

#include <QFileInfo>
#include <QSet>

#include "ChangeHistory.h"
#include "Messages.h"
#include "OperatorConflicts.h"
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

// A control character a name or an extension must not hold: the generated phone book would leave
// the entry out, or a telephone would show or dial something else than the line reads. Tab and the
// Unicode line and paragraph separators count among them.
bool holdsControl(const QString& line)
{
    return std::any_of(line.begin(), line.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029;
    });
}

// Old editors end a file with 0x1A: from the first one on, only line ends and more marks may follow.
void dropEndOfFileMark(QString& text)
{
    const qsizetype mark = text.indexOf(QChar(0x1A));
    if (mark < 0)
        return;
    for (qsizetype i = mark; i < text.size(); ++i) {
        if (text[i] != QChar(0x1A) && text[i] != u'\r' && text[i] != u'\n')
            return;
    }
    text.truncate(mark);
}

} // namespace

UserList parseUserList(const QByteArray& bytes)
{
    UserList list;
    if (isBinary(bytes)) {
        list.problem = UserList::Binary;
        return list;
    }
    QString text = decodeText(bytes, &list.utf8);
    dropEndOfFileMark(text);
    QStringList lines = splitLines(text);
    bool usersLine = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString& l = lines[i];
        if (l.size() > UserList::kMaxLine) {
            list.problem = UserList::LongLine;
            return list;
        }
        usersLine = usersLine || l.startsWith(QLatin1String("[Users]"));
        if (holdsControl(l)) {
            list.refusedLines.append(i + 1);
            l.clear();
        }
    }
    // Without it the file is something else (an empty file left by a failed copy): importing it
    // would hide the whole phone book.
    if (!usersLine) {
        list.problem = UserList::NoUsersLine;
        return list;
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
    // Like an empty file, a list of no user is taken for a failed copy: importing it would hide the
    // whole phone book. A list whose users are all on refused lines hides nothing anyway.
    if (list.users.isEmpty() && list.refusedLines.isEmpty())
        list.problem = UserList::NoUsers;
    return list;
}

UserList readUserList(const QString& path)
{
    UserList list;
    QString error;
    const std::optional<QByteArray> bytes = readInputFile(path, UserList::kMaxBytes, &error);
    if (bytes)
        return parseUserList(*bytes);
    const QFileInfo info(path);
    list.problem = info.isFile() && info.size() > UserList::kMaxBytes ? UserList::TooLarge : UserList::Unreadable;
    list.reason = error;
    return list;
}

bool PhoneBookImport::step(const QString& sql, const QString& what)
{
    try {
        m_s.db.execute(sql);
        return true;
    } catch (const TransactionLost&) {
        throw;
    } catch (const DbError& e) {
        refused(what, e);
        return false;
    }
}

void PhoneBookImport::refused(const QString& what, const DbError& e)
{
    m_log.append(m_texts->message(QStringLiteral("M17")));
    m_log.append(what + QStringLiteral(": ") + e.text());
}

void PhoneBookImport::keepEntry(const ImportedUser& u)
{
    if (m_flags.value(u.extension) != u"W")
        return;
    try {
        m_s.db.executeBound(QStringLiteral("UPDATE PHONE_BOOK SET BK_FLAG = 'V' WHERE CO_CODE = ? AND BK_NUM = ?"),
                            {m_company, u.extension});
        m_flags.insert(u.extension, QStringLiteral("V"));
    } catch (const TransactionLost&) {
        throw;
    } catch (const DbError& e) {
        refused(u.extension, e);
    }
}

void PhoneBookImport::told(PhoneBookSummary& summary)
{
    m_log.progress(++summary.done, summary.selected);
}

// A user is one entry of the writer: its lines and its progress are told with its outcome.
void PhoneBookImport::processUser(const ImportedUser& u, PhoneBookSummary& summary)
{
    // A user is decided on the flags the users before it left: a second user of the same extension
    // waits for the first one's outcome.
    if (m_blocks->idle())
        m_queued.clear();
    if (m_queued.contains(u.extension)) {
        m_blocks->flush();
        m_queued.clear();
    }
    m_queued.insert(u.extension);
    const QString entry = u.extension + QStringLiteral(" - ") + u.name;
    std::optional<QString> tooLong = m_widths->refusal(m_s, QStringLiteral("BK_NUM"), u.extension);
    if (!tooLong)
        tooLong = m_widths->refusal(m_s, QStringLiteral("BK_NAME"), u.name);
    if (tooLong) {
        m_blocks->then([this, u, entry, tooLong = *tooLong, &summary] {
            m_log.append(m_texts->text(QStringLiteral("M301"),
                                       QStringLiteral("$$: the name or the extension is longer than the phone book "
                                                      "holds; not imported."),
                                       entry));
            m_log.append(tooLong);
            keepEntry(u);
            ++summary.failed;
            told(summary);
        });
        return;
    }
    const auto flag = m_flags.constFind(u.extension);
    if (flag == m_flags.constEnd()) {
        m_blocks->add(m_added, {m_company, u.extension, u.name}, [this, u, entry, &summary](const DbError* refusal) {
            if (refusal) {
                // The company's entries were read under the run's lock: an extension taken now is
                // another operator's doing. A reference refused may be a flag letter the table of
                // creation flags lacks, refused alone as before.
                throwIfConflict(m_s, *refusal,
                                QStringLiteral("the phone-book entry %1 of company %2").arg(u.extension, m_company),
                                References::Own);
                refused(entry, *refusal);
                ++summary.failed;
                told(summary);
                return;
            }
            m_flags.insert(u.extension, QStringLiteral("V"));
            m_log.append(entry + QStringLiteral(" - Added"));
            ++summary.succeeded;
            told(summary);
        });
    } else if (*flag == u"W") {
        m_blocks->add(
            m_renamed, {u.name, u.extension},
            {QStringLiteral("UPDATE PHONE_BOOK SET BK_NAME = ?, BK_FLAG = 'V' WHERE CO_CODE = ? AND BK_NUM = ?"),
             {u.name, m_company, u.extension}},
            [this, u, entry, &summary](const DbError* refusal) {
                if (refusal) {
                    refused(entry, *refusal);
                    keepEntry(u);
                    ++summary.failed;
                    told(summary);
                    return;
                }
                m_flags.insert(u.extension, QStringLiteral("V"));
                m_log.append(entry + QStringLiteral(" - Updated"));
                ++summary.succeeded;
                told(summary);
            });
    } else {
        m_blocks->then([this, entry, &summary] {
            m_log.append(entry + QStringLiteral(" - Ignored, Hidden or Manual"));
            told(summary);
        });
    }
}

bool PhoneBookImport::refuseFile(const UserList& list, PhoneBookSummary& summary)
{
    struct Refusal
    {
        UserList::Problem problem;
        const char* code;
        const char* english;
    };
    static constexpr Refusal kRefusals[] = {
        {UserList::Unreadable, "M296", "The file could not be read: $$"},
        {UserList::TooLarge, "M305", "$$ is not a user list: it is larger than 64 MiB. Nothing was changed."},
        {UserList::Binary, "M293", "$$ is not a user list: it holds binary data. Nothing was changed."},
        {UserList::LongLine, "M294", "$$ is not a user list: a line is longer than 64 KiB. Nothing was changed."},
        {UserList::TooManyUsers, "M295",
         "$$ is not a user list: it holds more than 100 000 users. Nothing was changed."},
        {UserList::NoUsersLine, "M431", "$$ is not a user list: it has no [Users] line. Nothing was changed."},
        {UserList::NoUsers, "M757", "$$ is not a user list: it lists no user. Nothing was changed."},
    };
    for (const Refusal& r : kRefusals) {
        if (r.problem != list.problem)
            continue;
        // The reason of an unreadable file names the file itself.
        showPhoneBookText(m_s, QLatin1String(r.code), QLatin1String(r.english),
                          r.problem == UserList::Unreadable ? list.reason : summary.file);
        summary.outcome = PhoneBookOutcome::Refused;
        return true;
    }
    return false;
}

bool PhoneBookImport::confirmHiding(const UserList& list, PhoneBookSummary& summary)
{
    // A file with refused lines hides nothing: the extension of a refused line is not known.
    if (!list.refusedLines.isEmpty())
        return true;
    QSet<QString> listed;
    for (const ImportedUser& u : list.users)
        listed.insert(u.extension);
    const Recordset visible = m_s.db.execute(QStringLiteral("SELECT BK_NUM FROM PHONE_BOOK WHERE CO_CODE = '") +
                                             sqlText(m_company) + QStringLiteral("' AND BK_FLAG = 'V'"));
    int hidden = 0;
    for (const QVariantList& row : visible.rows())
        hidden += listed.contains(row.at(0).toString()) ? 0 : 1;
    if (hidden * 2 <= visible.count())
        return true;
    // With one visible entry, the one it would hide is that one.
    const QString question =
        visible.count() == 1
            ? textOr(m_s, QStringLiteral("M441"),
                     QStringLiteral("This import would hide the only visible entry of company %1. Hidden entries "
                                    "are never brought back by an import. Go on?"))
                  .arg(m_company)
            : textOr(m_s, QStringLiteral("M432"),
                     QStringLiteral("This import would hide %1 of the %2 visible entries of company %3. "
                                    "Hidden entries are never brought back by an import. Go on?"))
                  .arg(QString::number(hidden), QString::number(visible.count()), m_company);
    if (m_s.op.askYesNo(question, textOr(m_s, QStringLiteral("FPBIMP"), QStringLiteral("Phone Book Import"))))
        return true;
    m_log.append(textOr(m_s, QStringLiteral("M433"), QStringLiteral("Import not confirmed: nothing was changed.")));
    summary.outcome = PhoneBookOutcome::Declined;
    return false;
}

PhoneBookSummary PhoneBookImport::run(const PhoneBookRequest& r)
{
    m_stopRequested = false;
    m_texts.emplace(m_s);
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
    if (refuseFile(list, summary))
        return summary;
    m_log.append(textOr(m_s, QStringLiteral("M434"), QStringLiteral("%1 was read as %2."))
                     .arg(summary.file, list.utf8 ? QStringLiteral("UTF-8") : QStringLiteral("Windows-1252")));
    for (const qsizetype line : list.refusedLines) {
        m_log.append(
            m_texts
                ->text(QStringLiteral("M435"),
                       QStringLiteral("Line %1 holds a control character and was not read; nothing is hidden."))
                .arg(line));
    }
    summary.failed = int(list.refusedLines.size());

    m_company = r.company;
    summary.selected = int(list.users.size());
    if (!confirmHiding(list, summary))
        return summary;
    m_widths.emplace(m_s.db, QStringLiteral("PHONE_BOOK"));
    m_blocks.emplace(m_s.db);
    // New users in multi-row INSERTs, renamed ones in UPDATEs joined to a list of (name, extension);
    // each row its own extension, so the two kinds may go in either order.
    m_added = m_blocks->kind(
        BlockShape::insert(QStringLiteral("PHONE_BOOK"), QStringLiteral("(?, ?, ?, 'V', '', '', '', '')"))
            .independent());
    m_renamed = m_blocks->kind(BlockShape::update(QStringLiteral("PHONE_BOOK"),
                                                  QStringLiteral("BK_NAME = v.column1, BK_FLAG = 'V'"), 2,
                                                  QStringLiteral("CO_CODE = ? AND BK_NUM = v.column2"), {m_company})
                                   .independent());
    m_queued.clear();
    giveUiTurn();
    Transaction transaction(m_s.db);
    // Another bulk run of the company (a second import) waits for this one to end, and its entries
    // are held before they are copied for the history: what the run compares is what it changes.
    m_s.db.lockName(companyWriters(r.company));
    if (const QString held = Dialect::forUpdate(m_s.db.engine()); !held.isEmpty())
        m_s.db.executeBound(QStringLiteral("SELECT BK_NUM FROM PHONE_BOOK WHERE CO_CODE = ?") + held, {r.company});
    const QString company = sqlText(r.company);
    // The import marks every entry before it knows which stay: the history gets what it changed in the end.
    TableSnapshot book(m_s.db, QStringLiteral("PHONE_BOOK"), QStringLiteral("CO_CODE"), r.company);
    step(QStringLiteral("UPDATE PHONE_BOOK SET BK_FLAG = 'W' WHERE CO_CODE = '") + company +
             QStringLiteral("' AND BK_FLAG = 'V'"),
         summary.file);
    // The company's flags are read once; a user then costs its share of a block at most.
    m_flags.clear();
    const Recordset known =
        m_s.db.execute(QStringLiteral("SELECT BK_NUM, BK_FLAG FROM PHONE_BOOK WHERE CO_CODE = '") + company + u'\'');
    for (const QVariantList& row : known.rows())
        m_flags.insert(row.at(0).toString(), row.at(1).toString());
    m_s.db.reached(u"phonebook.read");

    m_log.progress(0, summary.selected);
    for (const ImportedUser& u : list.users) {
        processUser(u, summary);
        giveUiTurn();
        if (m_stopRequested) {
            m_blocks->flush(); // the log shows each user read before the stop
            m_log.append(m_texts->text(QStringLiteral("M304"),
                                       QStringLiteral("Import stopped by the operator: nothing was changed.")));
            summary.outcome = PhoneBookOutcome::Aborted;
            return summary; // the transaction rolls back
        }
    }
    m_blocks->flush();
    step(QStringLiteral("UPDATE PHONE_BOOK SET BK_FLAG = ") +
             (list.refusedLines.isEmpty() ? QStringLiteral("'H'") : QStringLiteral("'V'")) +
             QStringLiteral(" WHERE CO_CODE = '") + company + QStringLiteral("' AND BK_FLAG = 'W'"),
         summary.file);
    ChangeRecorder history(m_s, QStringLiteral("phone-book import"));
    book.record(history);
    transaction.commit();
    m_blocks->refreshStatistics();
    giveUiTurn();
    return summary;
}

} // namespace vocaset
