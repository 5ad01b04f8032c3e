#include "PhoneFileSource.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QFile>
#include <QHash>

#include "ConfigWriter.h"
#include "GenerationChoices.h"
#include "LivePhoneBook.h"
#include "MacIndex.h"
#include "ModelTemplates.h"
#include "Recordings.h"
#include "Schema.h"
#include "TelephoneFiles.h"
#include "TemplateWriter.h"

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

// The tables whose rows a source keeps between requests: the catalogue, the models, the companies'
// values and the settings (default levels, passwords, messages).
const QStringList kKeptTables = {QStringLiteral("EQUIPMENT"), QStringLiteral("EQUIPMENT_PARAMETERS"),
                                 QStringLiteral("COMPANY_PARAMETERS"), QStringLiteral("SYSTEM_PARAMETERS")};

// A name no template has is looked for again, among templates saved since, at most this often.
constexpr qint64 kTemplateNamesMs = 1000;

// The telephones with a MAC, whatever the case of its stored digits, with their writer module and
// their company's password for its files, then one row with the database's change count alone (null
// where none is kept), so that the count comes whether a telephone has the MAC or not. A telephone
// comes with its own values, one row each, so that a request is answered in one round trip, when its
// company has no password or when the Digest answer bound before the MAC proves the password: the
// database checks it where the password is. A wrong answer brings no values, so the time a refusal
// takes tells nothing about the MAC. Otherwise the join's key is null, and neither engine even
// searches the values' index. The values are read in their index's order; the count's row comes
// first or last, as the engine places nulls.
QString findByMac(const QString& changeCount, Engine engine)
{
    const QString proven =
        Dialect::md5Text(Dialect::md5Text(QStringLiteral("? || A.SY_VALUE"), engine) + QStringLiteral(" || ?"),
                         engine) +
        QStringLiteral(" = ?");
    return QStringLiteral("SELECT NULL AS CHANGES, P.CO_CODE, P.PH_CODE, P.EQ_CODE, P.PH_DESC, P.PH_MAC, E.EQ_MODULE, "
                          "A.SY_VALUE, V.PA_CODE, V.PA_VALUE FROM PHONES P "
                          "LEFT JOIN EQUIPMENT E ON E.EQ_CODE = P.EQ_CODE LEFT JOIN SYSTEM_PARAMETERS A "
                          "ON A.SY_CODE = P.CO_CODE AND A.SY_SUBCODE = '") +
           QLatin1String(kProvAuth) +
           QStringLiteral("' LEFT JOIN PHONES_PARAMETERS V ON V.CO_CODE = CASE WHEN A.SY_VALUE IS NULL OR ") + proven +
           QStringLiteral(" THEN P.CO_CODE END AND V.EQ_CODE = P.EQ_CODE AND V.PH_CODE = P.PH_CODE "
                          "WHERE UPPER(P.PH_MAC) = ? AND P.PH_MAC <> '' UNION ALL SELECT CAST(") +
           changeCount +
           QStringLiteral(" AS VARCHAR(20)), NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL ORDER BY 2, 3, 9");
}

// The values findByMac binds for a MAC and the Digest answer's proof, if any.
QStringList findByMacValues(const QString& mac, const std::optional<DigestProof>& proof)
{
    if (!proof)
        return {QString(), QString(), QString(), mac};
    return {QString::fromUtf8(proof->head), QString::fromUtf8(proof->tail), QString::fromUtf8(proof->response), mac};
}

// A telephone found by its MAC: its first row of findByMac and, where they came, its own values.
struct FoundPhone
{
    const TextRows* rows;
    int row;
    OwnValues own;

    const QString& at(int column) const { return rows->at(row, column); }
};

// The telephones of findByMac's rows, each once, in code order; the change count goes to *changes.
QList<FoundPhone> foundPhones(const TextRows& rows, QString* changes)
{
    QList<FoundPhone> phones;
    for (int r = 0; r < rows.count(); ++r) {
        if (rows.at(r, 1).isNull()) {
            *changes = rows.at(r, 0);
            continue;
        }
        if (phones.isEmpty() || rows.at(r, 1) != phones.last().at(1) || rows.at(r, 2) != phones.last().at(2))
            phones.append(FoundPhone{&rows, r, {}});
        if (!rows.at(r, 8).isNull())
            phones.last().own.append(OwnValue{rows.at(r, 8), rows.at(r, 9)});
    }
    return phones;
}

const QString kNetworks = QStringLiteral("SELECT SY_CODE, SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '") +
                          QLatin1String(kProvNets) + u'\'';


const QString kAnyAuth =
    QStringLiteral("SELECT COUNT(*) FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '") + QLatin1String(kProvAuth) + u'\'';
const QString kDefaultLevels =
    QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = ? AND SY_SUBCODE = '$$DEFGEN'");

// The file's device and inode, or nothing when it cannot be read.
std::optional<std::pair<quint64, quint64>> identityOf(const QString& file)
{
    struct stat st = {};
    if (file.isEmpty() || ::stat(QFile::encodeName(file).constData(), &st) != 0)
        return std::nullopt;
    return std::pair{quint64(st.st_dev), quint64(st.st_ino)};
}

// A Digest check asked again for the same names and passwords (a request tried again on a new
// connection) gets the first answer: the nonce count it used is spent.
class CheckOnce final : public Credentials
{
public:
    explicit CheckOnce(Credentials& inner) : m_inner(inner) {}
    Check check(const QString& user, const QStringList& passwords) override
    {
        if (!m_done || user != m_user || passwords != m_passwords) {
            m_result = m_inner.check(user, passwords);
            m_user = user;
            m_passwords = passwords;
            m_done = true;
        }
        return m_result;
    }
    QString user() const override { return m_inner.user(); }
    QString client() const override { return m_inner.client(); }
    std::optional<DigestProof> proof(const QString& user) const override { return m_inner.proof(user); }

private:
    Credentials& m_inner;
    bool m_done = false;
    QString m_user;
    QStringList m_passwords;
    Check m_result = Check::Refused;
};

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

std::optional<QString> provisioningFileName(const QString& module, const QString& mac)
{
    const NamePattern* p = patternOf(module);
    if (!p)
        return std::nullopt;
    return QLatin1String(p->prefix) + mac + QLatin1String(p->suffix);
}

QStringList PhoneFileSource::prepareDatabase(Database& db)
{
    QStringList notes;
    // Each making under a lock, so that a second server starting at once waits for the first, then
    // finds it made: neither fails on the other's new index, table or trigger. What is there is left
    // alone: a server whose account may only read starts without writing, and without a false line.
    const bool macIndexed = Schema::hasIndex(db, QStringLiteral("IX_PHONES_MAC"));
    if (!macIndexed || !Schema::indexesInPlace(db)) {
        try {
            Transaction transaction(db);
            db.lockName(QStringLiteral("create IX_PHONES_MAC"));
            if (!macIndexed)
                db.execute(QStringLiteral("CREATE INDEX IF NOT EXISTS IX_PHONES_MAC ON PHONES (UPPER(PH_MAC))"));
            if (const QString note = Schema::addMissingIndexes(db); !note.isEmpty())
                notes.append(note);
            transaction.commit();
        } catch (const DbError& e) {
            notes.append(QStringLiteral("No index on the MAC of PHONES (") + e.text() +
                         QStringLiteral("); each request reads every telephone"));
        }
    }
    if (const std::optional<QString> note = MacIndex::ensure(db))
        notes.append(*note);
    // The templates are kept too, so their table is counted with the others: it is made here when
    // missing, which an account that may not create it only notices once it saves a template.
    QStringList kept = kKeptTables;
    try {
        ModelTemplates::ensureTable(db);
    } catch (const DbError& e) {
        notes.append(QStringLiteral("No table of templates (") + e.text() + u')');
    }
    if (ModelTemplates::exists(db))
        kept.append(QLatin1String(kTemplatesTable));
    // All or nothing: a count that misses one table's changes would keep its old rows for good.
    const QStringList counting = Dialect::changeCounting(kept, db.engine());
    if (!counting.isEmpty() &&
        !db.execute(Dialect::changeCountingInPlace(kept, db.engine())).value(0).toBool()) {
        try {
            Transaction transaction(db);
            db.lockName(QStringLiteral("create VOCASET_CHANGES"));
            for (const QString& statement : counting)
                db.execute(statement);
            db.reached(u"counting.created");
            transaction.commit();
        } catch (const DbError& e) {
            notes.append(QStringLiteral("Changes to the catalogue and settings are not counted (") + e.text() +
                         QStringLiteral("); each request reads them again"));
        }
    }
    return notes;
}

PhoneFileSource::PhoneFileSource(QString connectionString, QString language, int boundMs)
    : m_connection(std::move(connectionString)), m_language(std::move(language)), m_boundMs(boundMs)
{
    const ConnectionString cs(m_connection);
    if (cs.value(QStringLiteral("Provider")).compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0) {
        m_file = cs.value(QStringLiteral("Data Source"));
        if (m_file.isEmpty())
            m_file = cs.value(QStringLiteral("Database"));
    }
}

// A template model's name for its telephones' files or for its address book.
struct PhoneFileSource::TemplateName
{
    QString model;
    bool book = false;
    FileNamePattern pattern;
    QByteArray contentType;
};

PhoneFileSource::PhoneFileSource(Database& db, QString language)
    : m_language(std::move(language)), m_boundMs(Database::kStatementTimeoutSeconds * 1000), m_shared(&db)
{
}

// What the rows of kKeptTables give, as they were at one change count.
struct PhoneFileSource::Kept
{
    Kept(Database& db, const QString& language) : maker(db, language) {}
    std::optional<bool> anyAuth;                   // some company has a $$PROVAUTH row
    // Each company's $$PROVNETS networks, the well-formed rows only; read when first needed.
    std::optional<QHash<QString, QList<QPair<QHostAddress, int>>>> networks;
    QHash<QString, std::optional<QString>> levels; // company + model: its $$DEFGEN value
    TelephoneFileMaker maker;                      // catalogue, levels, writer modules, messages
    std::optional<QList<TemplateName>> names;      // read when a name asks for them
    std::map<QString, std::unique_ptr<CompiledTemplate>> books; // the address-book templates, compiled once
    // Files of built-in models already made, by everything they are made of besides the kept rows:
    // the telephone's row and its own values. Emptied when full.
    QHash<QString, QByteArray> answers;
    qsizetype answerBytes = 0;
};

namespace {

// Bytes of files one source keeps for answering again.
constexpr qsizetype kAnswerBytes = 32 << 20;

// What a built-in model's file is made of besides the kept rows.
QString answerKey(const PhoneInfo& phone, const QString& module, const OwnValues& own)
{
    QString key = phone.company + u'\x1f' + phone.code + u'\x1f' + phone.model + u'\x1f' + phone.description +
                  u'\x1f' + phone.mac + u'\x1f' + module;
    for (const OwnValue& v : own)
        key += u'\x1e' + v.code + u'\x1f' + v.value;
    return key;
}

} // namespace

PhoneFileSource::~PhoneFileSource() = default;

bool PhoneFileSource::replaced() const
{
    const auto now = identityOf(m_file);
    return now && (now->first != m_device || now->second != m_inode);
}

void PhoneFileSource::prepareStatements(Database& db)
{
    // Without the change count (a server where it could not be set up) nothing is kept.
    QString count = Dialect::changeCount(db.engine());
    try {
        db.execute(QStringLiteral("SELECT ") + count);
    } catch (const DbError&) {
        if (!db.isOpen())
            throw;
        count = QStringLiteral("NULL");
    }
    m_count = count;
    m_findByMac = findByMac(count, db.engine());
}

Database& PhoneFileSource::database()
{
    if (m_shared) {
        if (m_findByMac.isEmpty())
            prepareStatements(*m_shared);
        return *m_shared;
    }
    if (m_db && m_db->isOpen() && replaced()) {
        // Another file was moved over the database. What the old file still holds in its
        // write-ahead log goes into it, and the log, which keeps its name, is emptied, so the new
        // file is read as it is.
        try {
            m_db->execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        } catch (const DbError&) {
        }
        m_db.reset();
    }
    if (!m_db || !m_db->isOpen()) {
        m_db = std::make_unique<Database>();
        try {
            const auto identity = identityOf(m_file);
            m_db->setTimeBound(m_boundMs);
            // Never a new, empty database where the working one should be.
            m_db->open(m_connection, Database::Access::Existing);
            m_device = identity ? identity->first : 0;
            m_inode = identity ? identity->second : 0;
            m_kept.reset();
            prepareStatements(*m_db);
        } catch (const DbError&) {
            m_db.reset();
            throw;
        }
    }
    return *m_db;
}

QString PhoneFileSource::changeCount(Database& db) const
{
    return db.execute(QStringLiteral("SELECT CAST(") + m_count + QStringLiteral(" AS VARCHAR(20))"))
        .rows()
        .value(0)
        .value(0)
        .toString();
}

void PhoneFileSource::keep(Database& db, const QString& changes)
{
    if (!m_kept || changes.isNull() || changes != m_changes) {
        m_kept = std::make_unique<Kept>(db, m_language);
        m_changes = changes;
    }
}

const QList<PhoneFileSource::TemplateName>& PhoneFileSource::templateNames(Database& db, bool fresh)
{
    if (!m_kept || fresh)
        keep(db, changeCount(db));
    if (!m_kept->names) {
        QList<TemplateName> names;
        for (const ModelTemplate& t : ModelTemplates::readNames(db)) {
            const bool book = t.kind == u"phonebook";
            if (const auto pattern = FileNamePattern::parse(t.fileName, !book))
                names.append(
                    {t.model, book, *pattern,
                     (t.contentType.isEmpty() ? ModelTemplates::defaultContentType(t) : t.contentType).toLatin1()});
        }
        m_kept->names = std::move(names);
    }
    return *m_kept->names;
}

std::optional<ProvisioningName> PhoneFileSource::templateFile(const QString& fileName)
{
    for (const TemplateName& n : *m_kept->names) {
        if (!n.book) {
            if (const std::optional<QString> mac = n.pattern.macOf(fileName))
                return ProvisioningName{QLatin1String(kTemplateModule), *mac, n.model};
        }
    }
    return std::nullopt;
}

std::optional<QString> PhoneFileSource::fileNameOf(const QString& model, const QString& module, const QString& mac)
{
    if (module != QLatin1String(kTemplateModule))
        return provisioningFileName(module, mac);
    for (const TemplateName& n : templateNames(database(), false)) {
        if (n.model == model && !n.book)
            return n.pattern.nameFor(mac);
    }
    return std::nullopt;
}

std::optional<FileAnswer> PhoneFileSource::knownFile(const PhoneInfo& phone, const QString& module,
                                                    const QString& fileName, const OwnValues& own)
{
    Database& db = database();
    if (!m_kept)
        keep(db, changeCount(db));
    std::optional<ProvisioningName> name;
    if (module == QLatin1String(kTemplateModule)) {
        templateNames(db, false);
        name = templateFile(fileName);
    } else {
        name = parseProvisioningName(fileName);
    }
    if (!name || name->module != module || (!name->model.isEmpty() && name->model != phone.model) ||
        name->mac.compare(phone.mac, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    FileAnswer answer;
    answer.company = phone.company;
    answer.phone = phone.code;
    answer.mac = phone.mac.toUpper();
    return madeFile(std::move(answer), phone, *name, own, false);
}

FileAnswer PhoneFileSource::answerTemplateName(const QString& folder, const QString& fileName, Credentials& credentials)
{
    Database& db = database();
    const auto find = [&](bool fresh) -> std::optional<TemplateName> {
        for (const TemplateName& n : templateNames(db, fresh)) {
            if (n.book ? !folder.isEmpty() && n.pattern.nameFor({}) == fileName : n.pattern.macOf(fileName).has_value())
                return n;
        }
        return std::nullopt;
    };
    std::optional<TemplateName> found = find(false);
    if (!found) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (now - m_namesCheckedMs < kTemplateNamesMs)
            return {};
        m_namesCheckedMs = now;
        found = find(true);
        if (!found)
            return {};
    }
    if (!found->book)
        return lookUp(*templateFile(fileName), credentials, fileName);
    auto& compiled = m_kept->books[found->model];
    if (!compiled) {
        const std::optional<ModelTemplate> t = ModelTemplates::read(db, found->model, QStringLiteral("phonebook"));
        if (!t)
            return {};
        compiled = std::make_unique<CompiledTemplate>(*t);
    }
    return answerTemplatePhoneBook(db, folder, credentials, *compiled, found->contentType);
}

FileAnswer PhoneFileSource::answer(const QString& fileName, Credentials& credentials)
{
    const qsizetype slash = fileName.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QString() : fileName.left(slash);
    const QString last = fileName.mid(slash + 1);
    const std::optional<QString> book = phoneBookCompany(fileName);
    const std::optional<ProvisioningName> name = book ? std::nullopt : parseProvisioningName(last);
    CheckOnce once(credentials);
    // A connection the server ended since the last request fails its first statement: the
    // request is tried once more on a new connection before it fails.
    for (int attempt = 0;; ++attempt) {
        const Database* used = m_shared ? m_shared : m_db.get();
        const quint64 sent = used ? used->exchanges() : 0;
        try {
            FileAnswer answer = inOneState(book.has_value(), [&] {
                return book   ? answerPhoneBook(database(), *book, once)
                       : name ? lookUp(*name, once, last)
                              : answerTemplateName(folder, last, once);
            });
            used = m_shared ? m_shared : m_db.get();
            answer.statements = int(used->exchanges() - sent);
            return answer;
        } catch (const DbError&) {
            if (m_shared)
                throw;
            const bool lost = m_db && !m_db->isOpen();
            if (lost)
                m_db.reset();
            if (!lost || attempt > 0)
                throw;
        }
    }
}

// Most requests send one statement, for the telephone's row with its own values, which reads one
// state by itself. One that reads more (rows kept since changed, values behind a password, a
// template's names) must not mix two: whether anything changed since its first statement is told by
// the file's data version on SQLite (no statement), else by the change count read again; if it did,
// the request is answered again inside a snapshot. An address book, and any request where no count
// is kept, always reads several statements: in a snapshot from the start.
FileAnswer PhoneFileSource::inOneState(bool severalStatements, const std::function<FileAnswer()>& answerIt)
{
    Database& db = database();
    if (db.inSnapshot())
        return answerIt();
    if (severalStatements || m_count == u"NULL") {
        const ReadSnapshot snapshot(db);
        return answerIt();
    }
    const quint64 sent = db.exchanges();
    const std::optional<quint32> version = db.fileDataVersion();
    FileAnswer answer = answerIt();
    if (db.exchanges() - sent <= 1)
        return answer;
    if (version) {
        // Moved by a change committed before the first statement too: then answered again, needlessly.
        if (db.fileDataVersion() == version)
            return answer;
    } else if (const QString now = changeCount(db); !now.isNull() && now == m_changes) {
        return answer;
    }
    m_kept.reset();
    const ReadSnapshot snapshot(db);
    return answerIt();
}

QString PhoneFileSource::health()
{
    try {
        Database& db = database();
        db.selectTexts(m_findByMac, findByMacValues(QStringLiteral("-"), std::nullopt));
        return {};
    } catch (const DbError& e) {
        if (m_db && !m_db->isOpen())
            m_db.reset();
        return e.text();
    }
}

FileAnswer PhoneFileSource::lookUp(const ProvisioningName& name, Credentials& credentials, const QString& fileName)
{
    Database& db = database();
    FileAnswer answer;
    // The same statements run for every name, with or without a telephone, and so does the Digest
    // check below: the time taken tells nothing about the MAC. What the rows kept need is read after
    // the check.
    const std::optional<DigestProof> proof =
        Dialect::checksDigestInStatement(db.engine()) ? credentials.proof(name.mac) : std::nullopt;
    const TextRows found = db.selectTexts(m_findByMac, findByMacValues(name.mac, proof));
    db.reached(u"request.found");
    QString changes;
    const QList<FoundPhone> phones = foundPhones(found, &changes);
    keep(db, changes);
    // A template model's name is one of the templates' as they are now: a pattern saved since the
    // name was read may give another model or none.
    if (!name.model.isEmpty() && !m_kept->names) {
        templateNames(db, false);
        const std::optional<ProvisioningName> now = templateFile(fileName);
        if (!now)
            return {};
        if (now->model != name.model || now->mac != name.mac)
            return lookUp(*now, credentials, fileName);
    }
    if (!m_kept->anyAuth)
        m_kept->anyAuth = db.execute(kAnyAuth).text(0).toInt() > 0;
    const bool anyAuth = *m_kept->anyAuth;
    if (!m_kept->networks) {
        QHash<QString, QList<QPair<QHostAddress, int>>> networks;
        const Recordset rows = db.execute(kNetworks);
        for (const QVariantList& row : rows.rows()) {
            if (const auto parsed = parseNetworks(row.at(1).toString()))
                networks.insert(row.at(0).toString(), *parsed);
            else
                answer.notes.append(QStringLiteral("The %1 row of company %2 is not a list of networks (%3): it is "
                                                   "ignored")
                                        .arg(QLatin1String(kProvNets), row.at(0).toString(), row.at(1).toString()));
        }
        m_kept->networks = std::move(networks);
    }
    if (phones.isEmpty())
        answer.unknown = FileAnswer::Unknown{name.mac.toUpper(), name.module, name.model};
    QStringList passwords;
    for (const FoundPhone& p : phones) {
        if (!p.at(7).isNull())
            passwords.append(p.at(7));
    }
    // Telephones of companies without a password are served (or in conflict) as before; any other
    // name needs a right answer first.
    // A template model's name belongs to one model, a built-in one to every model of the module.
    const auto named = [&name](const FoundPhone& p) {
        return p.at(6) == name.module && (name.model.isEmpty() || p.at(3) == name.model);
    };
    bool open = !phones.isEmpty() && passwords.isEmpty() && (phones.size() > 1 || named(phones.first()));
    // A company with networks: from inside them no Digest is asked; from outside a company without
    // a password is refused as a wrong password is.
    if (phones.size() == 1 && named(phones.first())) {
        const auto networks = m_kept->networks->constFind(phones.first().at(1));
        if (networks != m_kept->networks->cend()) {
            if (insideNetworks(credentials.client(), *networks)) {
                open = true;
            } else if (passwords.isEmpty()) {
                // No password proves anything here: only a caller that knows the telephone (the
                // fleet's survey) is served; a request is refused as a wrong password is.
                if (credentials.check(name.mac, {}) != Credentials::Check::Accepted) {
                    answer.status = anyAuth ? 401 : 404;
                    answer.mac = name.mac.toUpper();
                    answer.refusal = QLatin1String(Refusal::kNetwork);
                    return answer;
                }
                open = true;
            }
        }
    }
    if (anyAuth && !open) {
        const Credentials::Check check = credentials.check(name.mac, passwords);
        if (check != Credentials::Check::Accepted) {
            answer.status = 401;
            answer.stale = check == Credentials::Check::Stale;
            // The server tells a wrong answer from none: only a wrong one is a refusal.
            if (phones.size() == 1)
                answer.mac = name.mac.toUpper();
            return answer;
        }
    }
    if (phones.isEmpty())
        return answer;
    if (phones.size() > 1) {
        QStringList owners;
        for (const FoundPhone& p : phones)
            owners.append(p.at(1) + u'/' + p.at(2));
        answer.status = 409;
        answer.notes.append(QStringLiteral("MAC %1 belongs to %2 telephones: %3; none of them is served")
                                .arg(name.mac)
                                .arg(owners.size())
                                .arg(owners.join(QStringLiteral(", "))));
        return answer;
    }
    const FoundPhone& found1 = phones.first();
    const PhoneInfo phone{found1.at(1), found1.at(2), found1.at(3), found1.at(4), found1.at(5)};
    // The telephone's model writes another file than the one asked for.
    if (!named(found1))
        return answer;
    answer.company = phone.company;
    answer.phone = phone.code;
    answer.mac = name.mac.toUpper();

    return madeFile(std::move(answer), phone, name, found1.own, !found1.at(7).isNull());
}

FileAnswer PhoneFileSource::madeFile(FileAnswer answer, const PhoneInfo& phone, const ProvisioningName& name,
                                     const OwnValues& own, bool behindPassword)
{
    Database& db = database();
    const QString pair = phone.company + phone.model;
    auto levels = m_kept->levels.constFind(pair);
    if (levels == m_kept->levels.constEnd()) {
        const Recordset stored = db.executeBound(kDefaultLevels, {pair});
        levels = m_kept->levels.insert(pair, stored.isEmpty() ? std::nullopt : std::optional(stored.text(0)));
    }
    LevelBoxes boxes;
    if (*levels)
        boxes.applyDefault(**levels);
    // A file named after the telephone is what the generation writes with the telephone level.
    boxes.set(0, true);

    // Behind a password without values, the database could not check the answer (one that is no
    // UTF-8 text, say), or the telephone has none: they are read now.
    const bool unread = behindPassword && own.isEmpty();
    // A built-in model's file depends on nothing else while the kept rows stay: made once, sent again.
    const bool keepable = m_keepAnswers && name.model.isEmpty() && !unread;
    const QString key = keepable ? answerKey(phone, name.module, own) : QString();
    if (keepable) {
        if (const auto kept = m_kept->answers.constFind(key); kept != m_kept->answers.cend()) {
            answer.status = 200;
            answer.body = *kept;
            answer.contentType = patternOf(name.module)->contentType;
            return answer;
        }
    }
    const TelephoneFiles files = m_kept->maker.make(phone, boxes.choice(), false, unread ? nullptr : &own);
    switch (files.status) {
    case FilesStatus::Ready:
        answer.status = 200;
        answer.body = files.config;
        if (name.model.isEmpty()) {
            answer.contentType = patternOf(name.module)->contentType;
            if (keepable) {
                if (m_kept->answerBytes + key.size() * 2 + answer.body.size() > kAnswerBytes) {
                    m_kept->answers.clear();
                    m_kept->answerBytes = 0;
                }
                m_kept->answers.insert(key, answer.body);
                m_kept->answerBytes += key.size() * 2 + answer.body.size();
            }
        } else {
            for (const TemplateName& n : templateNames(db, false)) {
                if (n.model == name.model && !n.book)
                    answer.contentType = n.contentType;
            }
        }
        break;
    case FilesStatus::Refused:
    case FilesStatus::MergeFailed:
    case FilesStatus::ModuleFailed:
        answer.status = 500;
        answer.refusal = QLatin1String(files.status == FilesStatus::Refused ? Refusal::kValue : Refusal::kFile);
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
