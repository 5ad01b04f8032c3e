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

// UTF-16 units in code-point order: a surrogate stands for a code point above every other unit.
inline char16_t codePointKey(char16_t u)
{
    if (u >= 0xD800 && u <= 0xDFFF)
        return char16_t(u + 0x2000);
    if (u >= 0xE000)
        return char16_t(u - 0x800);
    return u;
}

// The order of "ORDER BY PA_CODE" on both engines: byte order of the UTF-8 text, which is code-point order.
bool codeBefore(const ParamRow& a, const ParamRow& b)
{
    const qsizetype n = std::min(a.code.size(), b.code.size());
    const QChar* x = a.code.constData();
    const QChar* y = b.code.constData();
    for (qsizetype i = 0; i < n; ++i) {
        if (x[i] != y[i])
            return codePointKey(x[i].unicode()) < codePointKey(y[i].unicode());
    }
    return a.code.size() < b.code.size();
}

// A row of a level as stored, prepared for the merge: its description taken, and whether it holds
// place-holders to expand for each telephone.
struct StoredRow
{
    ParamRow row;
    bool described = true; // false: the catalogue has no row for the code (description null)
    bool marked = false;

    StoredRow(const QString& code, const QVariant& desc, const QString& value, QChar level)
        : row{code, desc.toString(), value, level, value}, described(!desc.isNull()),
          marked(code.contains(kMark) || value.contains(kMark) || row.desc.contains(kMark))
    {
    }
};

} // namespace

struct TelephoneFileMaker::Impl
{
    Impl(Database& database, const QString& lang) : db(database), language(lang) {}

    // What one telephone's turn produces as it goes.
    struct Turn
    {
        TelephoneFiles& f;
        QString who; // "company/code", for the lines that name the telephone
    };

    void load(const QString& company, const QString& model);
    std::optional<QString> messageTemplate(const QString& code);
    QString messageText(const QString& code, const QString& detail, bool& missing);
    void show(Turn& t, const QString& code, const QString& detail = {});
    QString log(Turn& t, const QString& code, const QString& detail = {}, bool afterWrite = false);
    static void line(QList<TurnLine>& lines, TurnLine::Kind kind, const QString& text)
    {
        lines.append({kind, text});
    }
    bool mergeLevel(Turn& t, const QList<StoredRow>& rows, QHash<QString, QChar>& merged);
    // A company or telephone value takes its description from the model's catalogue.
    StoredRow valueRow(const QString& code, const QString& value, QChar level) const
    {
        const auto it = current->descriptions.constFind(code);
        return StoredRow(code, it == current->descriptions.constEnd() ? QVariant() : QVariant(*it), value, level);
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
    QHash<QString, std::optional<QString>> templates;

    // Read once per model, and once per company and model.
    struct ModelRows
    {
        std::optional<QString> module; // nothing unless the model has exactly one row
        QHash<QString, QString> descriptions;
        QList<StoredRow> equipmentRows;
        std::unique_ptr<TemplateWriter> templateWriter; // a TEMPLATE model's, compiled once
    };
    std::map<QString, ModelTemplate> givenTemplates; // used instead of the stored ones
    std::map<QString, ModelRows> models;
    std::map<std::pair<QString, QString>, QList<StoredRow>> companies;
    // Those of the telephone being made.
    QString model;
    const ModelRows* current = nullptr;
    const QList<StoredRow>* companyRows = nullptr;
};

void TelephoneFileMaker::Impl::load(const QString& co, const QString& eq)
{
    model = eq;
    auto m = models.find(eq);
    if (m == models.end()) {
        ModelRows rows;
        const Recordset catalogue = db.executeBound(
            QStringLiteral("SELECT PA_CODE, PA_DESC FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = ?"), {eq});
        for (const QVariantList& row : catalogue.rows())
            rows.descriptions.insert(row.at(0).toString(), row.at(1).toString());
        const Recordset e =
            db.executeBound(QStringLiteral("SELECT PA_CODE, PA_DESC, PA_DEFAULT FROM EQUIPMENT_PARAMETERS "
                                           "WHERE EQ_CODE = ? AND LE_CODE = 'E' ORDER BY PA_CODE"),
                            {eq});
        // Equipment rows carry their own description.
        for (const QVariantList& row : e.rows())
            rows.equipmentRows.append(StoredRow(row.at(0).toString(), row.at(1), row.at(2).toString(), u'E'));
        const Recordset module =
            db.executeBound(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = ?"), {eq});
        rows.module = module.count() == 1 ? std::optional<QString>(module.text(0)) : std::nullopt;
        if (rows.module == QLatin1String(kTemplateModule)) {
            const auto given = givenTemplates.find(eq);
            const QList<QString> codes = rows.descriptions.keys();
            rows.templateWriter = std::make_unique<TemplateWriter>(
                db,
                given != givenTemplates.end() ? given->second : ModelTemplates::read(db, eq, QStringLiteral("config")),
                eq, QSet<QString>(codes.begin(), codes.end()));
        }
        m = models.emplace(eq, std::move(rows)).first;
    }
    current = &m->second;
    auto c = companies.find({co, eq});
    if (c == companies.end()) {
        const Recordset values = db.executeBound(
            QStringLiteral("SELECT PA_CODE, PA_VALUE FROM COMPANY_PARAMETERS WHERE CO_CODE = ? AND EQ_CODE = ? "
                           "ORDER BY PA_CODE"),
            {co, eq});
        QList<StoredRow> rows;
        for (const QVariantList& row : values.rows())
            rows.append(valueRow(row.at(0).toString(), row.at(1).toString(), u'C'));
        c = companies.emplace(std::pair{co, eq}, std::move(rows)).first;
    }
    companyRows = &c->second;
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
            line(t.f.lines, TurnLine::Kind::Log,
                 QStringLiteral("Telephone %1: parameter %2 is not in the catalogue of %3").arg(t.who, row.code, model));
        if (stored.marked) {
            // Code, description and value in that order; after a failure the rest stay as typed.
            for (QString* text : {&row.code, &row.desc, &row.value}) {
                if (text == &row.desc && !stored.described)
                    continue;
                const Expansion e = expandPlaceHolders(*text, t.f.phone.code, t.f.phone.description);
                *text = e.text;
                if (e.badToken) {
                    show(t, QStringLiteral("M6"), *e.badToken);
                    // The log keeps which telephone, parameter and level, which the box does not say.
                    bool missing = false;
                    const QString reason = messageText(QStringLiteral("M6"), *e.badToken, missing);
                    row.problem = messageTemplate(QStringLiteral("M786"))
                                      .value_or(QStringLiteral("Telephone %1: parameter %2 at level %3: %4"))
                                      .arg(t.who, stored.row.code, QString(row.level), reason);
                    line(t.f.lines, TurnLine::Kind::Log, row.problem);
                    t.f.errors.append(row.problem);
                    ok = false;
                    break;
                }
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

TelephoneFiles TelephoneFileMaker::Impl::make(const PhoneInfo& phone, const LevelChoice& levels, bool withSource,
                                              const OwnValues* own)
{
    TelephoneFiles f;
    f.phone = phone;
    Turn t{f, phone.company + u'/' + phone.code};
    load(phone.company, phone.model);

    QHash<QString, QChar> merged;
    merged.reserve(current->equipmentRows.size() + companyRows->size() + 32);
    bool ok = true;
    if (levels.equipment)
        ok = mergeLevel(t, current->equipmentRows, merged);
    if (ok && levels.company)
        ok = mergeLevel(t, *companyRows, merged);
    if (ok && levels.phone) {
        OwnValues read;
        if (!own) {
            const Recordset p = db.executeBound(
                QStringLiteral("SELECT PA_CODE, PA_VALUE FROM PHONES_PARAMETERS WHERE CO_CODE = ? AND EQ_CODE = ? "
                               "AND PH_CODE = ? ORDER BY PA_CODE"),
                {phone.company, phone.model, phone.code});
            read.reserve(p.count());
            for (const QVariantList& row : p.rows())
                read.append(OwnValue{row.at(0).toString(), row.at(1).toString()});
            own = &read;
        }
        QList<StoredRow> rows;
        rows.reserve(own->size());
        for (const OwnValue& v : *own)
            rows.append(valueRow(v.code, v.value, u'P'));
        ok = mergeLevel(t, rows, merged);
    }
    if (!ok) {
        f.status = FilesStatus::MergeFailed;
        f.errors.append(log(t, QStringLiteral("M12")));
        return f;
    }
    std::sort(f.params.begin(), f.params.end(), codeBefore);

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
    for (ParamRow& row : f.params) {
        const std::pair<const char*, const QString*> texts[] = {
            {"code", &row.code}, {"value", &row.value}, {"description", sourceWanted ? &row.desc : nullptr}};
        for (const auto& [what, text] : texts) {
            // Descriptions only go into source files, which nothing splits on "&".
            const auto why = text ? formatRefusal(text == &row.desc ? QString() : *module, *text) : std::nullopt;
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

TelephoneFileMaker::TelephoneFileMaker(Database& db, const QString& language) : d(std::make_unique<Impl>(db, language))
{
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
    d->load(phone.company, phone.model);
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
    m_index.reserve(m_phones.size());
    for (qsizetype i = 0; i < m_phones.size(); ++i)
        m_index.insert(m_phones.at(i), i);
}

const OwnValues& OwnValueBlocks::of(const QString& phone)
{
    if (const auto it = m_block.constFind(phone); it != m_block.constEnd())
        return *it;
    m_block.clear();
    // A code not given is read by itself.
    const qsizetype first = m_index.value(phone, -1);
    const QStringList codes = first < 0 ? QStringList{phone} : m_phones.mid(first, m_nextSize);
    m_nextSize = qMin(m_nextSize * 2, m_blockSize);
    for (const QString& code : codes)
        m_block.insert(code, {});
    const Recordset values = m_db.executeBound(
        QStringLiteral("SELECT PH_CODE, PA_CODE, PA_VALUE FROM PHONES_PARAMETERS WHERE CO_CODE = ? AND EQ_CODE = ? "
                       "AND PH_CODE BETWEEN ? AND ? ORDER BY PH_CODE, PA_CODE"),
        {m_company, m_model, codes.first(), codes.last()});
    for (const QVariantList& row : values.rows()) {
        if (const auto it = m_block.find(row.at(0).toString()); it != m_block.end())
            it->append(OwnValue{row.at(1).toString(), row.at(2).toString()});
    }
    return *m_block.constFind(phone);
}

TelephoneFiles makeTelephoneFiles(Database& db, const QString& language, const QString& company, const QString& phone,
                                  const LevelChoice& levels, bool withSource)
{
    return TelephoneFileMaker(db, language).make(company, phone, levels, withSource);
}

} // namespace vocaset
