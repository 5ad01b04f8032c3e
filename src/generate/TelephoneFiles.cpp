#include "TelephoneFiles.h"

#include <algorithm>
#include <map>

#include <QHash>

#include "Messages.h"
#include "ParamResolution.h"
#include "TemplateWriter.h"
#include "TextFile.h"

namespace vocaset {
namespace {

const QString kMark = QStringLiteral("$$");

bool rowBefore(const ParamRow& a, const ParamRow& b)
{
    return codeBefore(a.code, b.code);
}


} // namespace

struct TelephoneFileMaker::Impl
{
    Impl(Database& database, const QString& lang, TelephoneFileMaker::Merge way)
        : db(database), language(lang), rowByRow(way == TelephoneFileMaker::Merge::RowByRow)
    {
    }

    // What one telephone's turn produces as it goes.
    struct Turn
    {
        TelephoneFiles& f;
        QString who; // "company/code", for the lines that name the telephone
    };

    void load(const QString& company, const QString& model, const LevelChoice& levels);
    std::optional<QString> messageTemplate(const QString& code);
    QString messageText(const QString& code, const QString& detail, bool& missing);
    void show(Turn& t, const QString& code, const QString& detail = {});
    QString log(Turn& t, const QString& code, const QString& detail = {}, bool afterWrite = false);
    static void line(QList<TurnLine>& lines, TurnLine::Kind kind, const QString& text)
    {
        lines.append({kind, text});
    }
    bool mergeLevel(Turn& t, const QList<StoredRow>& rows, QHash<QString, QChar>& merged);
    bool mergeRowByRow(Turn& t, const LevelChoice& levels, const OwnValues* own);
    void uncatalogued(Turn& t, const QString& code)
    {
        line(t.f.lines, TurnLine::Kind::Log,
             QStringLiteral("Telephone %1: parameter %2 is not in the catalogue of %3").arg(t.who, code, model));
    }
    TelephoneFiles make(const PhoneInfo& phone, const LevelChoice& levels, bool withSource, const OwnValues* own);
    void refuse(Turn& t, const QString& text, bool shown = false);
    // The writer of the model loaded last: the module's, or the model's own template's.
    const ConfigWriter* writer() const
    {
        return *current->module == QLatin1String(kTemplateModule) ? current->templateWriter.get()
                                                                  : writerForModule(*current->module);
    }

    Database& db;
    QString language;
    bool rowByRow;
    QVariant stamp;
    QHash<QString, std::optional<QString>> templates;

    // Read once per model; the rows of the levels once per company, model and level choice.
    struct ModelRows
    {
        std::optional<QString> module; // nothing unless the model has exactly one row
        std::unique_ptr<TemplateWriter> templateWriter; // a TEMPLATE model's, compiled once
    };
    std::map<QString, ModelTemplate> givenTemplates; // used instead of the stored ones
    std::map<QString, ModelRows> models;
    SharedRowsCache shared;
    SharedRows::Hint hint;
    // Those of the telephone being made.
    QString model;
    const ModelRows* current = nullptr;
    const SharedRows* rows = nullptr;
};

void TelephoneFileMaker::Impl::load(const QString& co, const QString& eq, const LevelChoice& levels)
{
    model = eq;
    rows = &shared.of(db, co, eq, levels);
    auto m = models.find(eq);
    if (m == models.end()) {
        ModelRows model;
        const Recordset module =
            db.executeBound(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = ?"), {eq});
        model.module = module.count() == 1 ? std::optional<QString>(module.text(0)) : std::nullopt;
        if (model.module == QLatin1String(kTemplateModule)) {
            const auto given = givenTemplates.find(eq);
            const QList<QString> codes = rows->descriptions().keys();
            model.templateWriter = std::make_unique<TemplateWriter>(
                db,
                given != givenTemplates.end() ? given->second : ModelTemplates::read(db, eq, QStringLiteral("config")),
                eq, QSet<QString>(codes.begin(), codes.end()));
        }
        m = models.emplace(eq, std::move(model)).first;
    }
    current = &m->second;
}

std::optional<QString> TelephoneFileMaker::Impl::messageTemplate(const QString& code)
{
    auto it = templates.constFind(code);
    if (it == templates.constEnd()) {
        const std::optional<QString> stored = findDescription(db, code, language);
        it = templates.insert(code, stored && !stored->isEmpty() ? stored : std::nullopt);
    }
    return *it;
}

// As GetMessage words it: a missing or empty message gives the fallback text, which is always shown.
QString TelephoneFileMaker::Impl::messageText(const QString& code, const QString& detail, bool& missing)
{
    const std::optional<QString> stored = messageTemplate(code);
    missing = !stored;
    if (missing)
        return QStringLiteral("Message Not Found : ") + code + QStringLiteral(" Language : ") + language;
    QString text = *stored;
    return text.replace(kMark, detail);
}

void TelephoneFileMaker::Impl::show(Turn& t, const QString& code, const QString& detail)
{
    bool missing = false;
    line(t.f.lines, TurnLine::Kind::Shown, messageText(code, detail, missing));
}

QString TelephoneFileMaker::Impl::log(Turn& t, const QString& code, const QString& detail, bool afterWrite)
{
    bool missing = false;
    const QString text = messageText(code, detail, missing);
    QList<TurnLine>& lines = afterWrite ? t.f.afterWrite : t.f.lines;
    if (missing)
        line(lines, TurnLine::Kind::Shown, text);
    line(lines, TurnLine::Kind::Log, text);
    return text;
}

void TelephoneFileMaker::Impl::refuse(Turn& t, const QString& text, bool shown)
{
    if (shown)
        line(t.f.lines, TurnLine::Kind::Shown, text);
    line(t.f.lines, TurnLine::Kind::Log, text);
    t.f.errors.append(text);
}

// Adds a level's rows to the set, each expanded for the telephone. A row whose place-holder failed
// is still added as far as it was expanded; a code that an earlier level gave already stays out.
// Returns false when the run must stop after this level.
bool TelephoneFileMaker::Impl::mergeLevel(Turn& t, const QList<StoredRow>& rows, QHash<QString, QChar>& merged)
{
    bool ok = true;
    for (const StoredRow& stored : rows) {
        ParamRow row = stored.row;
        if (!stored.described)
            uncatalogued(t, row.code);
        if (stored.marked) {
            if (const std::optional<QString> bad =
                    expandRow(row, stored.described, t.f.phone.code, t.f.phone.description)) {
                show(t, QStringLiteral("M6"), *bad);
                // The log keeps which telephone, parameter and level, which the box does not say.
                bool missing = false;
                const QString reason = messageText(QStringLiteral("M6"), *bad, missing);
                row.problem = messageTemplate(QStringLiteral("M786"))
                                  .value_or(QStringLiteral("Telephone %1: parameter %2 at level %3: %4"))
                                  .arg(t.who, stored.row.code, QString(row.level), reason);
                line(t.f.lines, TurnLine::Kind::Log, row.problem);
                t.f.errors.append(row.problem);
                ok = false;
            }
        }
        if (const auto it = merged.constFind(row.code); it != merged.constEnd()) {
            row.problem = QStringLiteral("Telephone %1: parameter %2 comes from level %3 and from level %4")
                              .arg(t.who, row.code, QString(*it), QString(row.level));
            refuse(t, row.problem);
            t.f.rejected.append(row);
            ok = false;
            continue;
        }
        merged.insert(row.code, row.level);
        t.f.params.append(std::move(row));
    }
    return ok;
}

// Each level's rows in turn, each expanded for the telephone, then the set sorted: what the shared
// rows give, and the lines and rows a failed merge leaves. False when the run must stop.
bool TelephoneFileMaker::Impl::mergeRowByRow(Turn& t, const LevelChoice& levels, const OwnValues* own)
{
    QHash<QString, QChar> merged;
    merged.reserve(rows->equipmentRows().size() + rows->companyRows().size() + 32);
    bool ok = true;
    if (levels.equipment)
        ok = mergeLevel(t, rows->equipmentRows(), merged);
    if (ok && levels.company)
        ok = mergeLevel(t, rows->companyRows(), merged);
    if (ok && levels.phone) {
        QList<StoredRow> stored;
        stored.reserve(own->size());
        for (const OwnValue& v : *own)
            stored.append(rows->valueRow(v.code, v.value, u'P'));
        ok = mergeLevel(t, stored, merged);
    }
    if (ok)
        std::sort(t.f.params.begin(), t.f.params.end(), rowBefore);
    return ok;
}

TelephoneFiles TelephoneFileMaker::Impl::make(const PhoneInfo& phone, const LevelChoice& levels, bool withSource,
                                              const OwnValues* own)
{
    TelephoneFiles f;
    f.phone = phone;
    Turn t{f, phone.company + u'/' + phone.code};
    load(phone.company, phone.model, levels);

    OwnValues read;
    if (levels.phone && !own) {
        const TextRows p = db.selectTexts(
            QStringLiteral("SELECT PA_CODE, PA_VALUE FROM PHONES_PARAMETERS WHERE CO_CODE = ? AND EQ_CODE = ? "
                           "AND PH_CODE = ? ORDER BY PA_CODE"),
            {phone.company, phone.model, phone.code});
        read.reserve(p.count());
        for (int i = 0; i < p.count(); ++i)
            read.append(OwnValue{p.at(i, 0), p.at(i, 1)});
        own = &read;
    }
    std::optional<SharedRows::Merged> merged;
    if (!rowByRow)
        merged = rows->merge(phone.code, phone.description, levels.phone ? own : nullptr, &hint);
    QList<bool> plain; // rows known to hold nothing a format could refuse
    if (merged) {
        for (const QString& code : std::as_const(merged->uncatalogued))
            uncatalogued(t, code);
        f.params = std::move(merged->rows);
        plain = std::move(merged->plain);
    } else if (!mergeRowByRow(t, levels, own)) {
        f.status = FilesStatus::MergeFailed;
        f.errors.append(log(t, QStringLiteral("M12")));
        return f;
    }

    const std::optional<QString>& module = current->module;
    if (!module) {
        show(t, QStringLiteral("M9"));
        f.status = FilesStatus::ModuleFailed;
        f.errors.append(f.lines.last().text);
        return f;
    }
    if (*module == u"NONE") {
        f.status = FilesStatus::NoFile;
        return f;
    }
    const ConfigWriter* writer = this->writer();
    if (!writer) {
        show(t, QStringLiteral("M10"));
        f.status = FilesStatus::ModuleFailed;
        f.errors.append(f.lines.last().text);
        return f;
    }
    if (current->templateWriter && !current->templateWriter->problem().isEmpty()) {
        refuse(t, QStringLiteral("Telephone %1: %2; no file written").arg(t.who, current->templateWriter->problem()),
               true);
        f.status = FilesStatus::ModuleFailed;
        return f;
    }

    f.names = writer->names(phone, levels);
    log(t, QStringLiteral("M13"),
        levels.phone ? phone.code + u' ' + phone.description + u' ' + phone.mac : f.names.config);
    f.status = FilesStatus::Refused;
    // A file named after a wrong MAC is never fetched by the right telephone, and a name holding a
    // path would land outside the chosen folder. Only the names that will be written count.
    if (writer->needsMac(levels) && !isMacAddress(phone.mac)) {
        show(t, QStringLiteral("M11"));
        refuse(t, QStringLiteral("Telephone %1: MAC address \"%2\" is not 12 hexadecimal digits; no file written")
                      .arg(t.who, phone.mac));
        return f;
    }
    const bool sourceWanted = withSource && f.names.source != f.names.config;
    for (const QString& name : {f.names.config, f.names.source}) {
        if (!isSafeFileName(name) && (name == f.names.config || sourceWanted)) {
            refuse(t, QStringLiteral("Telephone %1: file name \"%2\" refused; no file written").arg(t.who, name),
                   true);
            return f;
        }
    }
    if (f.params.isEmpty()) {
        log(t, QStringLiteral("M14"));
        f.status = FilesStatus::Empty;
        return f;
    }

    // Values are written unescaped (GXP2000, F1000), so a text the format cannot carry would forge
    // lines or parameters of its own: the telephone gets no file rather than a forged one.
    bool carried = true;
    for (qsizetype k = 0; k < f.params.size(); ++k) {
        ParamRow& row = f.params[k];
        if (k < plain.size() && plain.at(k))
            continue;
        const std::pair<const char*, const QString*> texts[] = {
            {"code", &row.code}, {"value", &row.value}, {"description", sourceWanted ? &row.desc : nullptr}};
        for (const auto& [what, text] : texts) {
            // Descriptions only go into source files, which nothing splits on "&".
            const auto why = text && formatMayRefuse(*text)
                                 ? formatRefusal(text == &row.desc ? QString() : *module, *text)
                                 : std::nullopt;
            if (why) {
                row.problem = QStringLiteral("Telephone %1, parameter %2: the %3 %4; no file written")
                                  .arg(t.who, row.code, QLatin1String(what), *why);
                refuse(t, row.problem);
                carried = false;
            }
        }
    }
    if (!carried)
        return f;

    Cp1252Sink sink;
    QString refusal;
    std::optional<QByteArray> config = writer->config(phone, f.params, sink, &refusal);
    if (!config) {
        refuse(t, QStringLiteral("Telephone %1: %2; no file written").arg(t.who, refusal));
        return f;
    }
    f.config = std::move(*config);
    if (sourceWanted)
        f.source = writer->source(f.params, sink);
    else if (withSource)
        line(f.lines, TurnLine::Kind::Log,
             QStringLiteral("Source file not written: it would replace %1").arg(f.names.config));
    for (const QString& param : sink.lossy())
        line(f.afterWrite, TurnLine::Kind::Log,
             QStringLiteral("Telephone %1, parameter %2: characters without a Windows-1252 code written as '?'")
                 .arg(t.who, param));
    log(t, QStringLiteral("M15"), {}, true);
    f.status = FilesStatus::Ready;
    return f;
}

TelephoneFileMaker::TelephoneFileMaker(Database& db, const QString& language, Merge merge)
    : d(std::make_unique<Impl>(db, language, merge))
{
}

void TelephoneFileMaker::keepWhile(const QVariant& stamp)
{
    const bool same = !stamp.isNull() && stamp == d->stamp;
    d->stamp = stamp;
    if (same)
        return;
    d->shared.clear();
    d->models.clear();
    d->templates.clear();
}

TelephoneFileMaker::~TelephoneFileMaker() = default;

TelephoneFiles TelephoneFileMaker::make(const PhoneInfo& phone, const LevelChoice& levels, bool withSource,
                                        const OwnValues* own)
{
    return d->make(phone, levels, withSource, own);
}

void TelephoneFileMaker::useTemplate(const ModelTemplate& t)
{
    d->givenTemplates.insert_or_assign(t.model, t);
    d->models.erase(t.model);
}

const ConfigWriter* TelephoneFileMaker::writerFor(const PhoneInfo& phone)
{
    d->load(phone.company, phone.model, LevelChoice{});
    return d->current->module ? d->writer() : nullptr;
}

TelephoneFiles TelephoneFileMaker::make(const QString& company, const QString& phone, const LevelChoice& levels,
                                        bool withSource)
{
    const Recordset rs = d->db.executeBound(
        QStringLiteral("SELECT CO_CODE, PH_CODE, EQ_CODE, PH_DESC, PH_MAC FROM PHONES WHERE CO_CODE = ? AND PH_CODE = ?"),
        {company, phone});
    if (rs.isEmpty()) {
        TelephoneFiles f;
        f.phone.company = company;
        f.phone.code = phone;
        f.errors.append(QStringLiteral("No telephone %1/%2").arg(company, phone));
        return f;
    }
    return d->make(PhoneInfo::fromCurrent(rs), levels, withSource, nullptr);
}

OwnValueBlocks::OwnValueBlocks(Database& db, QString company, QString model, QStringList phones, int blockSize)
    : m_db(db), m_company(std::move(company)), m_model(std::move(model)), m_phones(std::move(phones)),
      m_blockSize(qMax(1, blockSize))
{
}

const OwnValues& OwnValueBlocks::of(const QString& phone)
{
    // Telephones come in the order given: the next one is where the last one left off.
    qsizetype at = m_next;
    if (at >= m_phones.size() || m_phones.at(at) != phone) {
        // Asked out of order: the codes' places, found once.
        if (m_index.isEmpty()) {
            m_index.reserve(m_phones.size());
            for (qsizetype i = 0; i < m_phones.size(); ++i)
                m_index.insert(m_phones.at(i), i);
        }
        at = m_index.value(phone, -1);
    }
    if (at >= 0 && at >= m_first && at < m_first + m_block.size() && m_first >= 0) {
        m_next = at + 1;
        return m_block.at(at - m_first);
    }
    const QString selectBlock =
        QStringLiteral("SELECT PH_CODE, PA_CODE, PA_VALUE FROM PHONES_PARAMETERS WHERE CO_CODE = ? AND EQ_CODE = ? "
                       "AND PH_CODE BETWEEN ? AND ? ORDER BY PH_CODE, PA_CODE");
    if (at < 0) {
        // A code not given is read by itself.
        if (phone != m_alone || m_alone.isNull()) {
            const TextRows values = m_db.selectTexts(selectBlock, {m_company, m_model, phone, phone});
            m_alone = phone;
            m_aloneValues.clear();
            for (int r = 0; r < values.count(); ++r) {
                if (values.at(r, 0) == phone)
                    m_aloneValues.append(OwnValue{values.at(r, 1), values.at(r, 2)});
            }
        }
        return m_aloneValues;
    }
    const qsizetype n = qMin<qsizetype>(m_nextSize, m_phones.size() - at);
    m_nextSize = qMin(m_nextSize * 2, m_blockSize);
    m_first = -1;
    m_block.clear();
    m_block.resize(n);
    const TextRows values =
        m_db.selectTexts(selectBlock, {m_company, m_model, m_phones.at(at), m_phones.at(at + n - 1)});
    // The rows come in the codes' order; one of a telephone not given (none is, but a caller may
    // leave one out) is passed over. Each telephone's rows are counted first, so its list is made
    // at its size.
    QList<int> owner(values.count(), -1);
    QList<int> counts(n, 0);
    qsizetype k = 0;
    for (int r = 0; r < values.count(); ++r) {
        const QString& code = values.at(r, 0);
        qsizetype found = k;
        while (found < n && m_phones.at(at + found) != code)
            ++found;
        if (found == n)
            continue;
        k = found;
        owner[r] = int(k);
        ++counts[k];
    }
    for (qsizetype i = 0; i < n; ++i)
        m_block[i].reserve(counts.at(i));
    for (int r = 0; r < values.count(); ++r) {
        if (owner.at(r) >= 0)
            m_block[owner.at(r)].append(OwnValue{values.at(r, 1), values.at(r, 2)});
    }
    m_first = at;
    m_next = at + 1;
    return m_block.at(0);
}

TelephoneFiles makeTelephoneFiles(Database& db, const QString& language, const QString& company, const QString& phone,
                                  const LevelChoice& levels, bool withSource)
{
    return TelephoneFileMaker(db, language).make(company, phone, levels, withSource);
}

} // namespace vocaset
