#include "LivePhoneBook.h"

#include <functional>

#include "Database.h"
#include "PhoneBookChoices.h"
#include "PhoneBookGeneration.h"
#include "PhoneFileSource.h"

namespace vocaset {

namespace {

const QString kAnyAuth =
    QStringLiteral("SELECT COUNT(*) FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '") + QLatin1String(kProvAuth) + u'\'';
// The company and its password for its files.
const QString kCompany = QStringLiteral("SELECT C.CO_CODE, A.SY_VALUE FROM COMPANY C LEFT JOIN SYSTEM_PARAMETERS A "
                                        "ON A.SY_CODE = C.CO_CODE AND A.SY_SUBCODE = '") +
                         QLatin1String(kProvAuth) + QStringLiteral("' WHERE C.CO_CODE = ?");
// Whether the user name is the MAC of one of the company's telephones.
const QString kOwnMac = QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE CO_CODE = ? AND UPPER(PH_MAC) = ?");
// The generation writes an address book for a company with telephones of the one model that reads it.
const QString kHasModel = QStringLiteral("SELECT COUNT(*) FROM PHONES WHERE CO_CODE = ? AND EQ_CODE = ?");

} // namespace

std::optional<QString> phoneBookCompany(const QString& name)
{
    const QString file = u'/' + PhoneBookGeneration::fileName();
    if (!name.endsWith(file) || name.size() == file.size() || name.count(u'/') != 1)
        return std::nullopt;
    return name.left(name.size() - file.size());
}

namespace {

// The checks of every address book, then fill for the company's file when it has telephones of the model.
FileAnswer answerBook(Database& db, const QString& company, Credentials& credentials, const QString& model,
                      const std::function<void(FileAnswer&)>& fill)
{
    FileAnswer answer;
    // Every statement runs for every code, known or not, and so does the Digest check.
    const bool anyAuth = db.execute(kAnyAuth).text(0).toInt() > 0;
    const Recordset owner = db.executeBound(kCompany, {company});
    const QString user = credentials.user();
    const bool ownMac = db.executeBound(kOwnMac, {company, user}).text(0).toInt() > 0;
    const bool known = !owner.isEmpty();
    const bool locked = known && !owner.isNull(1);
    if (anyAuth && (!known || locked)) {
        const QStringList passwords = locked && ownMac ? QStringList{owner.text(1)} : QStringList{};
        const Credentials::Check check = credentials.check(user, passwords);
        if (check != Credentials::Check::Accepted) {
            answer.status = 401;
            answer.stale = check == Credentials::Check::Stale;
            return answer;
        }
    }
    if (!known)
        return answer;
    answer.company = company;
    if (db.executeBound(kHasModel, {company, model}).text(0).toInt() == 0)
        return answer;
    fill(answer);
    return answer;
}

} // namespace

FileAnswer answerPhoneBook(Database& db, const QString& company, Credentials& credentials)
{
    return answerBook(db, company, credentials, QLatin1String(kAddressBookModel), [&](FileAnswer& answer) {
        Recordset entries = addressBookEntries(db, company);
        answer.status = 200;
        answer.body = *addressBookBytes(entries);
        answer.contentType = "text/xml; charset=windows-1252";
    });
}

FileAnswer answerTemplatePhoneBook(Database& db, const QString& company, Credentials& credentials,
                                   const CompiledTemplate& book, const QByteArray& contentType)
{
    const QString model = book.stored().model;
    return answerBook(db, company, credentials, model, [&](FileAnswer& answer) {
        TemplateBook file = templateAddressBook(db, book, company, model);
        if (!file.bytes) {
            answer.status = 500;
            answer.notes.append(QStringLiteral("The address book of %1 for %2: %3").arg(company, model, file.refusal));
            return;
        }
        answer.status = 200;
        answer.body = std::move(*file.bytes);
        answer.contentType = contentType;
    });
}

} // namespace vocaset
