#pragma once

#include <optional>

#include <QString>

#include "ProvisioningServer.h"

namespace vocaset {

class CompiledTemplate;
class Database;

// The company a request for "<CO>/gs_phonebook.xml" names (the server hands the file name on with
// the folder before it); nothing for any other name.
std::optional<QString> phoneBookCompany(const QString& name);

// A company's address book as the phone-book generation writes it at this moment, for a telephone
// of the company. A company with a $$PROVAUTH row needs a Digest answer whose user name is the MAC
// (upper case) of one of its telephones. While any company has one, a company without a row is
// served openly and any other code, existing or not, is challenged and refused as a wrong password
// is, so the answers never tell which codes exist. Refused statements throw DbError.
FileAnswer answerPhoneBook(Database& db, const QString& company, Credentials& credentials);
// The same for the address book of a template model's "phonebook" template, for a company with
// telephones of that model; 500 with the reason when the template refuses.
FileAnswer answerTemplatePhoneBook(Database& db, const QString& company, Credentials& credentials,
                                   const CompiledTemplate& book, const QByteArray& contentType);

} // namespace vocaset
