#include "FleetSurvey.h"

#include <map>

#include <QHash>
#include <QRegularExpression>

#include "ConfigWriter.h"
#include "FetchRecorder.h"
#include "MacIndex.h"
#include "Messages.h"
#include "PhoneFileSource.h"
#include "ProvisioningServer.h"
#include "Recordings.h"
#include "Sql.h"
#include "TelephoneFiles.h"

namespace vocaset {

namespace {

constexpr const char* kNames[] = {"current", "stale", "never"};
constexpr const char* kFirmwareKey = "$$UAFIRMWARE";

// The expression that takes the firmware version from the user agents of each model: its $$UAFIRMWARE
// setting. The settings are read in one statement; each is compiled when the first telephone of its
// model is listed, and one that is no expression with one capture group is named once in the notes.
class FirmwarePatterns final
{
public:
    FirmwarePatterns(Database& db, const QString& language, const QString& model, QStringList& notes)
        : m_db(db), m_language(language), m_notes(notes)
    {
        QString sql = QStringLiteral("SELECT SY_CODE, SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '") +
                      sqlText(QLatin1String(kFirmwareKey)) + u'\'';
        if (!model.isEmpty())
            sql += QStringLiteral(" AND SY_CODE = '") + sqlText(QStringLiteral("$$") + model) + u'\'';
        const Recordset rows = m_db.execute(sql);
        for (const QVariantList& row : rows.rows()) {
            const QString code = row.at(0).toString();
            if (code.startsWith(QLatin1String("$$")))
                m_texts.insert(code.mid(2), row.at(1).toString());
        }
    }

    // The model's expression, none when it has no usable setting. Asked for every telephone listed,
    // fetched or not, so a wrong setting is named before its telephones fetch.
    const std::optional<QRegularExpression>& of(const QString& model)
    {
        auto it = m_patterns.find(model);
        if (it == m_patterns.end())
            it = m_patterns.insert(model, compile(model));
        return *it;
    }

private:
    std::optional<QRegularExpression> compile(const QString& model)
    {
        const auto text = m_texts.constFind(model);
        if (text == m_texts.cend())
            return std::nullopt;
        const QRegularExpression pattern(*text);
        if (pattern.isValid() && pattern.captureCount() == 1)
            return pattern;
        const QString code = QStringLiteral("FLEET_UAFIRMWARE_BAD");
        const QString line =
            findDescription(m_db, code, m_language)
                .value_or(findDescription(m_db, code, QStringLiteral("EN"))
                              .value_or(QStringLiteral("The %1 setting of model %2 is not a regular expression with "
                                                       "one capture group (%3): its telephones show no firmware.")));
        m_notes.append(line.arg(QLatin1String(kFirmwareKey), model, *text));
        return std::nullopt;
    }

    Database& m_db;
    const QString& m_language;
    QStringList& m_notes;
    QHash<QString, QString> m_texts;                              // model -> its stored expression
    QHash<QString, std::optional<QRegularExpression>> m_patterns; // model -> compiled, none when unusable
};

} // namespace

QString stateName(FleetState state)
{
    return QLatin1String(kNames[int(state)]);
}

std::optional<FleetState> stateFromName(const QString& name)
{
    for (int i = 0; i < 3; ++i) {
        if (name == QLatin1String(kNames[i]))
            return FleetState(i);
    }
    return std::nullopt;
}

bool firmwareBefore(const QString& a, const QString& b)
{
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    // The run of digits from i, its leading zeros left out.
    const auto number = [&](const QString& s, qsizetype& i) {
        while (i + 1 < s.size() && s[i] == u'0' && digit(s[i + 1]))
            ++i;
        const qsizetype from = i;
        while (i < s.size() && digit(s[i]))
            ++i;
        return QStringView(s).mid(from, i - from);
    };
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            const QStringView x = number(a, i);
            const QStringView y = number(b, j);
            if (x.size() != y.size())
                return x.size() < y.size();
            if (x != y)
                return x < y;
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

FleetCounts countStates(const QList<FleetPhone>& phones)
{
    FleetCounts counts;
    for (const FleetPhone& p : phones)
        ++(p.state == FleetState::Current ? counts.current
           : p.state == FleetState::Stale ? counts.stale
                                          : counts.never);
    return counts;
}

QString summaryLine(const FleetCounts& counts)
{
    return QStringLiteral("%1 current, %2 stale, %3 never").arg(counts.current).arg(counts.stale).arg(counts.never);
}

QString refusalText(const QString& reason)
{
    static const QHash<QString, QString> texts = {
        {QLatin1String(Refusal::kDigest), QStringLiteral("wrong Digest answer")},
        {QLatin1String(Refusal::kLocked), QStringLiteral("address locked out")},
        {QLatin1String(Refusal::kNetwork), QStringLiteral("outside the company's networks")},
        {QLatin1String(Refusal::kValue), QStringLiteral("a value the file cannot carry")},
        {QLatin1String(Refusal::kFile), QStringLiteral("the file could not be made")},
        {QLatin1String(Refusal::kDatabase), QStringLiteral("database time-out")}};
    return texts.value(reason, reason);
}

FleetSurvey::FleetSurvey(Database& db, QString language) : m_db(db), m_language(std::move(language)) {}

QList<FleetPhone> FleetSurvey::survey(const FleetFilter& filter, const std::function<void(int, int)>& progress)
{
    const bool recorded = FetchTable::exists(m_db);
    const bool refusals = recorded && FetchTable::refusalsExist(m_db);
    // The files are built on the survey's own connection, so they come from its snapshot. The source
    // reads what it needs to know of the database before the snapshot: a statement refused inside it
    // would end it.
    std::unique_ptr<PhoneFileSource> source;
    if (recorded) {
        source = std::make_unique<PhoneFileSource>(m_db, m_language);
        source->health();
    }
    const ReadSnapshot snapshot(m_db);
    m_notes = MacIndex::sharedMacs(m_db);
    const bool macsUnique = m_notes.isEmpty();
    FirmwarePatterns firmware(m_db, m_language, filter.model, m_notes);
    QString sql = QStringLiteral("SELECT P.CO_CODE, P.PH_CODE, P.EQ_CODE, P.PH_DESC, P.PH_MAC, E.EQ_MODULE");
    QString from = QStringLiteral(" FROM PHONES P LEFT JOIN EQUIPMENT E ON E.EQ_CODE = P.EQ_CODE");
    if (recorded) {
        sql += QStringLiteral(", F.PF_TIME, F.PF_CLIENT, F.PF_AGENT, F.PF_ETAG");
        from += QStringLiteral(" LEFT JOIN PHONE_FETCHES F ON F.CO_CODE = P.CO_CODE AND F.PH_CODE = P.PH_CODE");
    }
    if (refusals) {
        sql += QStringLiteral(", R.PR_TIME, R.PR_REASON");
        from += QStringLiteral(" LEFT JOIN PHONE_REFUSALS R ON R.CO_CODE = P.CO_CODE AND R.PH_CODE = P.PH_CODE");
    }
    sql += from;
    QStringList where;
    if (!filter.company.isEmpty())
        where << QStringLiteral("P.CO_CODE = '") + sqlText(filter.company) + u'\'';
    if (!filter.model.isEmpty())
        where << QStringLiteral("P.EQ_CODE = '") + sqlText(filter.model) + u'\'';
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY P.CO_CODE, P.PH_CODE");
    // The rows are read as the files are built, one at a time; the texts many telephones share
    // (company, model, address, user agent, firmware, reason) are held once.
    QString count = QStringLiteral("SELECT COUNT(*) FROM PHONES P");
    if (!where.isEmpty())
        count += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    const int total = m_db.execute(count).text(0).toInt();
    QHash<QString, QString> shared;
    const auto once = [&shared](const QVariant& value) {
        const QString text = value.toString();
        return *shared.insert(text, text);
    };
    if (source)
        source->keepAnswers(false);
    QList<FleetPhone> phones;
    phones.reserve(total);
    // A fetched telephone's writer module and the tag of the file it was sent last, until its file is
    // built.
    struct Fetched
    {
        qsizetype at;
        QString module;
        QByteArray tag;
    };
    std::vector<Fetched> fetched;
    m_db.forEachRow(sql, [&](const QVariantList& row) {
        FleetPhone p;
        p.company = once(row.at(0));
        p.code = row.at(1).toString();
        p.model = once(row.at(2));
        p.description = row.at(3).toString();
        p.mac = row.at(4).toString();
        if (refusals && !row.at(10).isNull()) {
            p.refusedAt = row.at(10).toString();
            p.refusal = once(row.at(11));
        }
        const std::optional<QRegularExpression>& firmwareIn = firmware.of(p.model);
        if (recorded && !row.at(9).isNull()) {
            p.fetchedAt = row.at(6).toString();
            p.client = once(row.at(7));
            p.userAgent = once(row.at(8));
            if (firmwareIn)
                p.firmware = once(firmwareIn->match(p.userAgent).captured(1));
            p.state = FleetState::Stale;
            fetched.push_back({phones.size(), once(row.at(5)), row.at(9).toString().toLatin1()});
        }
        phones.append(std::move(p));
        // No file is built yet, but the caller gets its turns (and may stop) while the rows come.
        if (progress && phones.size() % 512 == 0)
            progress(0, total);
    });

    // The fetched telephones' own values come a block of telephones of one company and model at a
    // time, and each file is made from them as the server would make it: no statement per telephone.
    // While some MAC is on two telephones, each file is asked of the server's source by its name.
    std::map<std::pair<QString, QString>, QStringList> codes;
    for (const Fetched& f : fetched)
        codes[{phones.at(f.at).company, phones.at(f.at).model}].append(phones.at(f.at).code);
    std::map<std::pair<QString, QString>, std::unique_ptr<OwnValueBlocks>> values;
    for (auto& [key, list] : codes)
        values.emplace(key, std::make_unique<OwnValueBlocks>(m_db, key.first, key.second, std::move(list)));
    KnownCaller trusted;
    auto next = fetched.cbegin();
    for (qsizetype i = 0; i < phones.size(); ++i) {
        FleetPhone& p = phones[i];
        if (next != fetched.cend() && next->at == i) {
            const Fetched& f = *next++;
            if (const std::optional<QString> name = source->fileNameOf(p.model, f.module, p.mac)) {
                const PhoneInfo phone{p.company, p.code, p.model, p.description, p.mac};
                std::optional<FileAnswer> now;
                if (macsUnique)
                    now = source->knownFile(phone, f.module, *name, values.at({p.company, p.model})->of(p.code));
                if (!now)
                    now = source->answer(*name, trusted);
                if (now->status == 200 && now->phone == p.code && now->company == p.company &&
                    entityTag(now->body) == f.tag)
                    p.state = FleetState::Current;
            }
        }
        m_db.reached(u"telephone.done");
        if (progress)
            progress(int(i + 1), std::max(total, int(phones.size())));
    }
    return phones;
}

} // namespace vocaset
