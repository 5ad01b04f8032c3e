#include "PhoneLobby.h"

#include <QFile>
#include <QRegularExpression>

#include "ChangeHistory.h"
#include "Database.h"
#include "DbError.h"
#include "Dialect.h"
#include "OperatorConflicts.h"
#include "PhoneFileSource.h"
#include "ProvisioningNetworks.h"
#include "Recordings.h"

namespace vocaset {

namespace {

const QString kCreate = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS PHONE_LOBBY (LB_MAC nvarchar(12) NOT NULL, LB_FILE nvarchar(255) NOT NULL, "
    "LB_FIRST nvarchar(24) NOT NULL, LB_LAST nvarchar(24) NOT NULL, LB_COUNT integer NOT NULL, "
    "LB_CLIENT nvarchar(64), LB_AGENT nvarchar(255), LB_MAKER nvarchar(255), LB_MODEL nvarchar(10), "
    "PRIMARY KEY (LB_MAC))");

const QString kUpsert = QStringLiteral(
    "INSERT INTO PHONE_LOBBY (LB_MAC, LB_FILE, LB_FIRST, LB_LAST, LB_COUNT, LB_CLIENT, LB_AGENT, LB_MAKER, LB_MODEL) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (LB_MAC) DO UPDATE SET LB_FILE = excluded.LB_FILE, "
    "LB_LAST = excluded.LB_LAST, LB_COUNT = PHONE_LOBBY.LB_COUNT + excluded.LB_COUNT, "
    "LB_CLIENT = excluded.LB_CLIENT, LB_AGENT = excluded.LB_AGENT, LB_MODEL = excluded.LB_MODEL");

// The model a request's name and user agent point to: the template model whose pattern it is, the
// one model of the name's writer module, or of several the first whose $$UAMODEL expression matches.
class ModelGuess final
{
public:
    explicit ModelGuess(Database& db)
    {
        const Recordset models = db.execute(QStringLiteral("SELECT EQ_CODE, EQ_MODULE FROM EQUIPMENT ORDER BY EQ_CODE"));
        for (const QVariantList& row : models.rows())
            m_byModule[row.at(1).toString()].append(row.at(0).toString());
        const Recordset agents =
            db.execute(QStringLiteral("SELECT SY_CODE, SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '$$UAMODEL'"));
        for (const QVariantList& row : agents.rows()) {
            const QRegularExpression agent(row.at(1).toString());
            if (agent.isValid())
                m_agents.insert(row.at(0).toString().mid(2), agent);
        }
    }
    QString of(const Arrival& a) const
    {
        if (!a.model.isEmpty())
            return a.model;
        const QStringList models = m_byModule.value(a.module);
        if (models.size() == 1)
            return models.first();
        for (const QString& model : models) {
            const auto agent = m_agents.constFind(model);
            if (agent != m_agents.cend() && agent->match(a.userAgent).hasMatch())
                return model;
        }
        return {};
    }

private:
    QHash<QString, QStringList> m_byModule;
    QHash<QString, QRegularExpression> m_agents;
};

} // namespace

MakerRegistry::MakerRegistry(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // "00-0B-82   (hex)\t\tGrandstream Networks, Inc."
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        const qsizetype hex = line.indexOf("(hex)");
        if (hex < 8 || line.at(2) != '-' || line.at(5) != '-')
            continue;
        const QString prefix = QString::fromLatin1(line.left(8)).remove(u'-').toUpper();
        m_makers.insert(prefix, QString::fromUtf8(line.mid(hex + 5)).trimmed());
    }
}

QString MakerRegistry::makerOf(const QString& mac) const
{
    return m_makers.value(mac.left(6).toUpper());
}

bool ArrivalGate::admit(const Arrival& a, const std::map<QString, Arrival>& waiting, const QHash<QString, bool>& known)
{
    if (waiting.count(a.mac) || known.contains(a.mac))
        return true;
    if (waiting.size() >= size_t(kCap))
        return false;
    // One new MAC per client address and second: the entries of earlier seconds go.
    const QString second = a.at.left(19);
    if (second != m_second) {
        m_second = second;
        m_newFrom.clear();
    }
    if (m_newFrom.contains(a.client))
        return false;
    m_newFrom.insert(a.client, true);
    return true;
}

namespace LobbyTable {

QString prepare(Database& db)
{
    return prepareRecordingTable(db, kName, kCreate, QStringLiteral("; new telephones are not recorded"));
}

bool exists(Database& db)
{
    return !db.columns(QLatin1String(kName)).isEmpty();
}

QHash<QString, bool> macs(Database& db)
{
    QHash<QString, bool> out;
    if (!exists(db))
        return out;
    const Recordset rs = db.execute(QStringLiteral("SELECT LB_MAC FROM PHONE_LOBBY"));
    for (const QVariantList& row : rs.rows())
        out.insert(row.at(0).toString(), true);
    return out;
}

void write(Database& db, const std::map<QString, Arrival>& arrivals, const MakerRegistry& makers)
{
    if (arrivals.empty())
        return;
    Transaction transaction(db);
    const ModelGuess guess(db);
    for (const auto& [mac, a] : arrivals)
        db.executeBound(kUpsert, {mac, storable(a.file, 255), a.at, a.at, a.count, storable(a.client, 64),
                                  storable(a.userAgent, 255), storable(makers.makerOf(mac), 255), guess.of(a)});
    // The newest rows stay; a flood of MACs pushes out the oldest seen.
    db.execute(QStringLiteral("DELETE FROM PHONE_LOBBY WHERE LB_MAC NOT IN (SELECT LB_MAC FROM PHONE_LOBBY "
                              "ORDER BY LB_LAST DESC, LB_MAC DESC LIMIT %1)")
                   .arg(ArrivalGate::kCap));
    transaction.commit();
}

QList<Row> rows(Database& db)
{
    QList<Row> out;
    if (!exists(db))
        return out;
    const Recordset rs = db.execute(
        QStringLiteral("SELECT LB_MAC, LB_FILE, LB_FIRST, LB_LAST, LB_COUNT, LB_CLIENT, LB_AGENT, LB_MAKER, LB_MODEL "
                       "FROM PHONE_LOBBY ORDER BY LB_LAST DESC, LB_MAC"));
    for (const QVariantList& r : rs.rows())
        out.append({r.at(0).toString(), r.at(1).toString(), r.at(2).toString(), r.at(3).toString(), r.at(4).toInt(),
                    r.at(5).toString(), r.at(6).toString(), r.at(7).toString(), r.at(8).toString()});
    return out;
}

} // namespace LobbyTable

ClaimOutcome claimArrivals(Session& s, const ClaimRequest& r)
{
    Database& db = s.db;
    ClaimOutcome outcome;
    if (!LobbyTable::exists(db)) {
        outcome.refused.append(QStringLiteral("No telephone has asked for a file yet: the lobby is empty"));
        return outcome;
    }
    Transaction transaction(db);
    if (db.executeBound(QStringLiteral("SELECT CO_CODE FROM COMPANY WHERE CO_CODE = ?"), {r.company}).eof()) {
        outcome.refused.append(QStringLiteral("No company %1").arg(r.company));
        return outcome;
    }
    // The company's free codes, lowest first (shorter codes before longer ones, as numbers go).
    QStringList free;
    const Recordset codes =
        db.executeBound(QStringLiteral("SELECT PH_CODE FROM RANGES WHERE CO_CODE = ? AND PH_CODE NOT IN "
                                       "(SELECT PH_CODE FROM PHONES WHERE CO_CODE = ?) ORDER BY LENGTH(PH_CODE), PH_CODE"),
                        {r.company, r.company});
    for (const QVariantList& row : codes.rows())
        free.append(row.at(0).toString());
    // A code given is the first one: the telephones take the free codes from it on.
    if (!r.code.isEmpty()) {
        const qsizetype first = free.indexOf(r.code);
        free = first >= 0 ? free.mid(first) : QStringList();
        if (free.isEmpty())
            outcome.refused.append(
                QStringLiteral("Code %1 is not a free code of the ranges of company %2").arg(r.code, r.company));
    }
    PhoneFileSource files(db, s.language);
    struct Planned
    {
        QString mac, code, model, description;
    };
    QList<Planned> planned;
    for (const QString& given : r.macs) {
        const QString mac = given.toUpper();
        const Recordset row = db.executeBound(
            QStringLiteral("SELECT LB_FILE, LB_MAKER, LB_MODEL FROM PHONE_LOBBY WHERE LB_MAC = ?"), {mac});
        if (row.eof()) {
            outcome.refused.append(QStringLiteral("%1: not in the lobby").arg(mac));
            continue;
        }
        const Recordset owner =
            db.executeBound(QStringLiteral("SELECT CO_CODE, PH_CODE FROM PHONES WHERE UPPER(PH_MAC) = ?"), {mac});
        if (!owner.eof()) {
            outcome.refused.append(
                QStringLiteral("%1: already the telephone %2/%3").arg(mac, owner.text(0), owner.text(1)));
            continue;
        }
        const QString model = r.model.isEmpty() ? row.text(2) : r.model;
        if (model.isEmpty()) {
            outcome.refused.append(QStringLiteral("%1: no model could be guessed; give one with --model").arg(mac));
            continue;
        }
        const Recordset module =
            db.executeBound(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = ?"), {model});
        if (module.eof()) {
            outcome.refused.append(QStringLiteral("%1: no model %2").arg(mac, model));
            continue;
        }
        // The telephone asked by a name; the model must be one that fetches its file by that name.
        const std::optional<QString> name = files.fileNameOf(model, module.text(0), mac);
        const QString asked = row.text(0).section(u'/', -1);
        if (!name || name->compare(asked, Qt::CaseInsensitive) != 0) {
            outcome.refused.append(
                QStringLiteral("%1: model %2 fetches %3, not %4").arg(mac, model, name.value_or(QStringLiteral("no file")), asked));
            continue;
        }
        if (free.isEmpty()) {
            if (r.code.isEmpty())
                outcome.refused.append(
                    QStringLiteral("%1: company %2 has no free code left in its ranges").arg(mac, r.company));
            continue;
        }
        const QString description =
            r.description.isEmpty() ? QString(row.text(1).section(u',', 0, 0) + u' ' + mac).trimmed().left(50)
                                    : r.description;
        planned.append({mac, free.takeFirst(), model, description});
    }
    if (!outcome.refused.isEmpty())
        return outcome;
    db.reached(u"claim.planned");
    ChangeRecorder history(s, r.source);
    const QStringList columns = {QStringLiteral("CO_CODE"), QStringLiteral("PH_CODE"), QStringLiteral("EQ_CODE"),
                                 QStringLiteral("PH_DESC"), QStringLiteral("PH_MAC")};
    for (const Planned& p : std::as_const(planned)) {
        // The code was free and the MAC nobody's when planned: a refusal now is another operator's
        // commit since.
        try {
            db.executeBound(QStringLiteral("INSERT INTO PHONES (CO_CODE, PH_CODE, EQ_CODE, PH_DESC, PH_MAC) VALUES "
                                           "(?, ?, ?, ?, ?)"),
                            {r.company, p.code, p.model, p.description, p.mac});
        } catch (const DbError& e) {
            throwIfConflict(s, e, QStringLiteral("the telephone %1/%2").arg(r.company, p.code));
            throw;
        }
        history.added(QStringLiteral("PHONES"), columns, {r.company, p.code, p.model, p.description, p.mac}, 2);
        db.executeBound(QStringLiteral("DELETE FROM PHONE_LOBBY WHERE LB_MAC = ?"), {p.mac});
        outcome.created.append(QStringLiteral("%1/%2 %3 %4 %5").arg(r.company, p.code, p.model, p.mac, p.description));
    }
    if (!r.dryRun)
        transaction.commit();
    return outcome;
}

int forgetArrivals(Database& db, const QStringList& macs)
{
    if (!LobbyTable::exists(db))
        return 0;
    Transaction transaction(db);
    int removed = 0;
    for (const QString& mac : macs) {
        db.executeBound(QStringLiteral("DELETE FROM PHONE_LOBBY WHERE LB_MAC = ?"), {mac.toUpper()});
        removed += db.changedRows();
    }
    transaction.commit();
    return removed;
}

namespace {

// The server has nobody to ask: a claim on arrival asks nothing and shows nothing.
class NobodyToAsk final : public Operator
{
public:
    void showMessage(const QString&, const QString&) override {}
    bool askYesNo(const QString&, const QString&) override { return false; }
    std::optional<QString> askText(const QString&, const QString&) override { return std::nullopt; }
};

// A company that claims on arrival: the models it lists, its networks, its daily count.
struct ClaimRule
{
    QStringList models;
    QList<QPair<QHostAddress, int>> networks;
    int max = kAutoClaimDefaultMax;
};

} // namespace

QStringList AutoClaimer::claim(Database& db, const std::map<QString, Arrival>& arrivals)
{
    QStringList notes;
    const Recordset settings = db.executeBound(
        QStringLiteral("SELECT SY_CODE, SY_SUBCODE, SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE IN (?, ?, ?)"),
        {QLatin1String(kAutoClaim), QLatin1String(kProvNets), QLatin1String(kAutoClaimMax)});
    QHash<QString, ClaimRule> rules;
    for (const QVariantList& row : settings.rows()) {
        if (row.at(1).toString() == QLatin1String(kAutoClaim)) {
            for (const QString& model : row.at(2).toString().split(u';', Qt::SkipEmptyParts))
                rules[row.at(0).toString()].models.append(model.trimmed());
        }
    }
    if (rules.isEmpty())
        return notes;
    for (const QVariantList& row : settings.rows()) {
        const auto rule = rules.find(row.at(0).toString());
        if (rule == rules.end())
            continue;
        if (row.at(1).toString() == QLatin1String(kProvNets)) {
            // A malformed row lets nobody in, as the server ignores it.
            rule->networks = parseNetworks(row.at(2).toString()).value_or(QList<QPair<QHostAddress, int>>());
        } else if (row.at(1).toString() == QLatin1String(kAutoClaimMax)) {
            bool number = false;
            const int max = row.at(2).toString().trimmed().toInt(&number);
            rule->max = number && max >= 0 ? max : 0;
        }
    }

    // Each arrival's guessed model as the lobby holds it now; claimed only when one company fits.
    QHash<QString, QStringList> byCompany;
    for (const auto& [mac, arrival] : arrivals) {
        const Recordset row =
            db.executeBound(QStringLiteral("SELECT LB_MODEL FROM PHONE_LOBBY WHERE LB_MAC = ?"), {mac});
        const QString model = row.text(0);
        if (model.isEmpty())
            continue;
        QStringList fits;
        for (auto rule = rules.cbegin(); rule != rules.cend(); ++rule) {
            if (rule->models.contains(model) && insideNetworks(arrival.client, rule->networks))
                fits.append(rule.key());
        }
        fits.sort();
        if (fits.size() == 1)
            byCompany[fits.first()].append(mac);
        else if (fits.size() > 1)
            notes.append(QStringLiteral("New telephone %1 (%2) from %3 fits the networks of companies %4: it waits "
                                        "in the lobby")
                             .arg(mac, model, arrival.client, fits.join(QStringLiteral(", "))));
    }
    if (byCompany.isEmpty())
        return notes;

    NobodyToAsk nobody;
    Session s(db, nobody);
    s.userName = QLatin1String(kUser);
    const QString today = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd"));
    const bool history = !db.columns(QLatin1String(kHistoryTable)).isEmpty();
    for (auto company = byCompany.cbegin(); company != byCompany.cend(); ++company) {
        // The day's count is the history's: shared by every server, kept across restarts.
        const int done = history ? db.executeBound(QStringLiteral("SELECT COUNT(*) FROM CHANGE_HISTORY WHERE "
                                                                  "HI_SOURCE = ? AND HI_TABLE = 'PHONES' AND "
                                                                  "HI_OPERATION = 'new' AND HI_COMPANY = ? AND "
                                                                  "HI_TIME >= ?"),
                                                   {QLatin1String(kSource), company.key(), today})
                                         .text(0)
                                         .toInt()
                                 : 0;
        const int room = std::max(0, rules.value(company.key()).max - done);
        if (company->size() > room && !m_capNoted.contains(company.key() + today)) {
            m_capNoted.insert(company.key() + today, true);
            notes.append(QStringLiteral("Company %1 has claimed %2 new telephones on arrival today, as many as it "
                                        "allows: the others wait in the lobby")
                             .arg(company.key())
                             .arg(done + std::min<int>(room, int(company->size()))));
        }
        // One claim each: a refusal (no free code left) keeps back only its own telephone.
        for (const QString& mac : company->mid(0, room)) {
            ClaimRequest request;
            request.macs = {mac};
            request.company = company.key();
            request.source = QLatin1String(kSource);
            try {
                const ClaimOutcome outcome = claimArrivals(s, request);
                for (const QString& created : outcome.created)
                    notes.append(QStringLiteral("Claimed on arrival: ") + created);
                for (const QString& refused : outcome.refused)
                    notes.append(QStringLiteral("Not claimed on arrival: ") + refused);
            } catch (const OperatorConflict& e) {
                notes.append(QStringLiteral("Not claimed on arrival: ") + e.text());
            }
        }
    }
    return notes;
}

} // namespace vocaset
