#include "PhoneFileSource.h"

#include "ConfigWriter.h"
#include "GenerationChoices.h"
#include "TelephoneFiles.h"

namespace vocaset {

namespace {

struct NamePattern
{
    const char* module;
    const char* prefix;
    const char* suffix;
    const char* contentType;
};

constexpr NamePattern kPatterns[] = {
    {"GRANDSTREAM", "cfg", "", "application/octet-stream"},
    {"PAP2", "", ".txt", "text/xml; charset=windows-1252"},
    {"F1000", "ut", ".ini", "text/plain; charset=windows-1252"},
};

const NamePattern* patternOf(const QString& module)
{
    for (const NamePattern& p : kPatterns) {
        if (module == QLatin1String(p.module))
            return &p;
    }
    return nullptr;
}

// The telephones with a MAC, whatever the case of its stored digits, with their writer module.
const QString kFindByMac =
    QStringLiteral("SELECT P.CO_CODE, P.PH_CODE, P.EQ_CODE, P.PH_DESC, P.PH_MAC, E.EQ_MODULE FROM PHONES P "
                   "LEFT JOIN EQUIPMENT E ON E.EQ_CODE = P.EQ_CODE WHERE UPPER(P.PH_MAC) = ? "
                   "ORDER BY P.CO_CODE, P.PH_CODE");
// The company's password for its files and the default levels of its model, in one statement.
const QString kSettings =
    QStringLiteral("SELECT SY_SUBCODE, SY_VALUE FROM SYSTEM_PARAMETERS WHERE (SY_CODE = ? AND SY_SUBCODE = '") +
    QLatin1String(kProvAuth) + QStringLiteral("') OR (SY_CODE = ? AND SY_SUBCODE = '$$DEFGEN')");

} // namespace

std::optional<ProvisioningName> parseProvisioningName(const QString& fileName)
{
    for (const NamePattern& p : kPatterns) {
        const QLatin1String prefix(p.prefix);
        const QLatin1String suffix(p.suffix);
        if (fileName.size() != prefix.size() + 12 + suffix.size() || !fileName.startsWith(prefix) ||
            !fileName.endsWith(suffix))
            continue;
        const QString mac = fileName.mid(prefix.size(), 12);
        if (isMacAddress(mac))
            return ProvisioningName{QLatin1String(p.module), mac.toUpper()};
    }
    return std::nullopt;
}

QString PhoneFileSource::prepareDatabase(Database& db)
{
    try {
        db.execute(QStringLiteral("CREATE INDEX IF NOT EXISTS IX_PHONES_MAC ON PHONES (UPPER(PH_MAC))"));
        return {};
    } catch (const DbError& e) {
        return QStringLiteral("No index on the MAC of PHONES (") + e.text() +
               QStringLiteral("); each request reads every telephone");
    }
}

PhoneFileSource::PhoneFileSource(QString connectionString, QString language)
    : m_connection(std::move(connectionString)), m_language(std::move(language))
{
}

PhoneFileSource::~PhoneFileSource() = default;

Database& PhoneFileSource::database()
{
    if (!m_db || !m_db->isOpen()) {
        m_db = std::make_unique<Database>();
        try {
            m_db->open(m_connection);
        } catch (const DbError&) {
            m_db.reset();
            throw;
        }
    }
    return *m_db;
}

FileAnswer PhoneFileSource::answer(const QString& fileName, Credentials& credentials)
{
    const std::optional<ProvisioningName> name = parseProvisioningName(fileName);
    if (!name)
        return {};
    try {
        return lookUp(*name, credentials);
    } catch (const DbError&) {
        // A connection the server ended is opened again on the next request.
        if (m_db && !m_db->isOpen())
            m_db.reset();
        throw;
    }
}

FileAnswer PhoneFileSource::lookUp(const ProvisioningName& name, Credentials& credentials)
{
    Database& db = database();
    FileAnswer answer;
    const Recordset phones = db.executeBound(kFindByMac, {name.mac});
    if (phones.isEmpty())
        return answer;
    if (phones.count() > 1) {
        QStringList owners;
        for (const QVariantList& row : phones.rows())
            owners.append(row.at(0).toString() + u'/' + row.at(1).toString());
        answer.status = 409;
        answer.notes.append(QStringLiteral("MAC %1 belongs to %2 telephones: %3; none of them is served")
                                .arg(name.mac)
                                .arg(owners.size())
                                .arg(owners.join(QStringLiteral(", "))));
        return answer;
    }
    const PhoneInfo phone{phones.text(0), phones.text(1), phones.text(2), phones.text(3), phones.text(4)};
    // The telephone's model writes another file than the one asked for.
    if (phones.text(5) != name.module)
        return answer;
    answer.company = phone.company;
    answer.phone = phone.code;

    LevelBoxes boxes;
    const Recordset settings = db.executeBound(kSettings, {phone.company, QString(phone.company + phone.model)});
    for (const QVariantList& row : settings.rows()) {
        if (row.at(0).toString() == QLatin1String(kProvAuth)) {
            const Credentials::Check check = credentials.check(name.mac, row.at(1).toString());
            if (check != Credentials::Check::Accepted) {
                answer.status = 401;
                answer.stale = check == Credentials::Check::Stale;
                return answer;
            }
        } else {
            boxes.applyDefault(row.at(1).toString());
        }
    }
    // A file named after the telephone is what the generation writes with the telephone level.
    boxes.set(0, true);

    // A maker of its own per request: every row is read as it is now.
    TelephoneFileMaker maker(db, m_language);
    const TelephoneFiles files = maker.make(phone, boxes.choice());
    switch (files.status) {
    case FilesStatus::Ready:
        answer.status = 200;
        answer.body = files.config;
        answer.contentType = patternOf(name.module)->contentType;
        break;
    case FilesStatus::Refused:
    case FilesStatus::MergeFailed:
    case FilesStatus::ModuleFailed:
        answer.status = 500;
        answer.notes = files.errors;
        if (answer.notes.isEmpty())
            answer.notes.append(
                QStringLiteral("Telephone %1/%2: the generation makes no file for it").arg(phone.company, phone.code));
        break;
    case FilesStatus::Empty:
    case FilesStatus::NoFile:
    case FilesStatus::NotFound:
        break;
    }
    return answer;
}

} // namespace vocaset
