#include "Explain.h"

#include <algorithm>
#include <array>

#include "ConfigWriter.h"
#include "Messages.h"
#include "Sql.h"
#include "TextFile.h"

namespace vocaset {
namespace {

// "%1" to "%9" replaced in one pass, so text put in is never read again as a place for another.
QString substitute(const QString& pattern, const QStringList& args)
{
    QString out;
    out.reserve(pattern.size() + 16 * args.size());
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'%' && i + 1 < pattern.size() && pattern[i + 1] >= u'1' && pattern[i + 1] <= u'9') {
            const qsizetype n = pattern[i + 1].unicode() - u'1';
            if (n < args.size()) {
                out += args[n];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// The levels in the order the run merges them, an earlier one winning a code.
constexpr std::array<char16_t, 3> kMergeOrder = {u'E', u'C', u'P'};

bool chosen(const LevelChoice& levels, QChar level)
{
    return level == u'E' ? levels.equipment : level == u'C' ? levels.company : levels.phone;
}

LevelChoice only(QChar level)
{
    return {level == u'P', level == u'C', level == u'E'};
}

// "PCE" for the levels of a choice.
QString levelLetters(const LevelChoice& levels)
{
    QString out;
    for (const char16_t level : {u'P', u'C', u'E'}) {
        if (chosen(levels, level))
            out += QChar(level);
    }
    return out;
}

} // namespace

QString InsightTexts::text(const char* code, const char* english, const QStringList& args)
{
    const QString key = QLatin1String(code);
    auto it = m_cache.constFind(key);
    if (it == m_cache.constEnd())
        it = m_cache.insert(key, textOr(m_s, key, QString::fromUtf8(english)));
    return substitute(*it, args);
}

QString shownValue(const QString& value, bool secret, bool showSecrets)
{
    if (secret && !showSecrets)
        return SecretParameters::kMask;
    return u'"' + escapeControls(value) + u'"';
}

bool TelephoneExplanation::refused() const
{
    if (files.status == FilesStatus::Refused || files.status == FilesStatus::MergeFailed ||
        files.status == FilesStatus::ModuleFailed)
        return true;
    return std::any_of(params.begin(), params.end(), [](const ParamExplanation& p) { return !p.problems.isEmpty(); });
}

int TelephoneExplanation::withValue() const
{
    return int(
        std::count_if(params.begin(), params.end(), [](const ParamExplanation& p) { return p.value.has_value(); }));
}

TelephoneExplanation explainTelephone(Session& s, const QString& company, const QString& phone,
                                      const LevelChoice& levels)
{
    const ReadSnapshot snapshot(s.db);
    TelephoneExplanation e;
    e.levels = levels;
    InsightTexts t(s);
    TelephoneFileMaker maker(s.db, s.language);
    e.files = maker.make(company, phone, levels);
    if (!e.found())
        return e;
    const PhoneInfo& ph = e.files.phone;
    const Recordset module =
        s.db.executeBound(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = ?"), {ph.model});
    e.module = module.count() == 1 ? module.text(0) : QString();
    // A turn that stopped before its files were named still names them here.
    const ConfigWriter* writer = maker.writerFor(ph);
    if (writer && e.files.names.config.isEmpty())
        e.files.names = writer->names(ph, levels);
    const SecretParameters secrets(s.db, ph.model);

    // Each level alone, chosen or not: the run stops merging after the first level that fails, but
    // the operator wants every stored value and every problem at once. A level's rows come expanded
    // for this telephone, each with the place-holder failure the run would report.
    std::array<QHash<QString, ParamRow>, 3> stored;
    for (size_t k = 0; k < kMergeOrder.size(); ++k) {
        const TelephoneFiles alone = maker.make(ph, only(kMergeOrder[k]));
        for (const ParamRow& row : alone.params)
            stored[k].insert(row.code, row);
    }

    QHash<QString, ParamExplanation> byCode;
    const Recordset catalogue = s.db.executeBound(
        QStringLiteral("SELECT PA_CODE, PA_DESC, LE_CODE FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = ?"), {ph.model});
    for (const QVariantList& row : catalogue.rows()) {
        ParamExplanation& p = byCode[row.at(0).toString()];
        p.code = row.at(0).toString();
        p.description = row.at(1).toString();
        p.catalogueLevel = row.at(2).toString();
    }
    for (const auto& level : stored) {
        for (const ParamRow& row : level) {
            if (byCode.contains(row.code))
                continue;
            ParamExplanation& p = byCode[row.code];
            p.code = row.code;
            p.description = row.desc;
            p.note = t.text("M405", "not in the model's catalogue");
        }
    }

    const QString who = ph.company + u'/' + ph.code;
    const auto addNote = [](ParamExplanation& p, const QString& note) {
        p.note = p.note.isEmpty() ? note : p.note + QStringLiteral("; ") + note;
    };
    const auto addProblem = [](ParamExplanation& p, const QString& problem) {
        if (!problem.isEmpty() && !p.problems.contains(problem))
            p.problems.append(problem);
    };
    for (ParamExplanation& p : byCode) {
        p.secret = secrets.contains(p.code);
        const ParamRow* first = nullptr;
        QChar unchosen;
        for (size_t k = 0; k < kMergeOrder.size(); ++k) {
            const auto it = stored[k].constFind(p.code);
            if (it == stored[k].constEnd())
                continue;
            if (!chosen(levels, kMergeOrder[k])) {
                unchosen = unchosen.isNull() ? QChar(kMergeOrder[k]) : unchosen;
                continue;
            }
            addProblem(p, it->problem);
            if (first) {
                addProblem(p, QStringLiteral("Telephone %1: parameter %2 comes from level %3 and from level %4")
                                  .arg(who, p.code, QString(first->level), QString(it->level)));
                continue;
            }
            first = &*it;
        }
        if (!first) {
            addNote(p, unchosen.isNull()
                           ? t.text("M403", "no value at the levels chosen")
                           : t.text("M404", "its value is at level %1, which is not chosen", {QString(unchosen)}));
            continue;
        }
        p.value = first->value;
        p.level = first->level;
        if (first->rawValue.contains(QLatin1String("$$")))
            p.rawValue = first->rawValue;
        // The run checks the format only once the merge went through: the same message, whatever stopped it.
        const std::pair<const char*, const QString*> texts[] = {{"code", &p.code}, {"value", &first->value}};
        for (const auto& [what, text] : texts) {
            if (const auto why = formatRefusal(e.module, *text))
                addProblem(p, QStringLiteral("Telephone %1, parameter %2: the %3 %4; no file written")
                                  .arg(who, p.code, QLatin1String(what), *why));
        }
        bool lossy = false;
        if (!writer || writer->windows1252())
            toCp1252(p.code + p.value.value(), &lossy);
        if (lossy)
            addNote(p, t.text("M406", "characters without a Windows-1252 code are written as '?'"));
    }

    e.params = byCode.values();
    // The order of the database's "ORDER BY PA_CODE": code points, as UTF-8 bytes compare.
    std::sort(e.params.begin(), e.params.end(),
              [](const ParamExplanation& a, const ParamExplanation& b) { return a.code.toUcs4() < b.code.toUcs4(); });
    if (e.module == u"GRANDSTREAM")
        std::reverse(e.params.begin(), e.params.end());

    QSet<QString> onParams;
    for (const ParamExplanation& p : std::as_const(e.params)) {
        for (const QString& problem : p.problems)
            onParams.insert(problem);
    }
    for (const QString& error : std::as_const(e.files.errors)) {
        if (!onParams.contains(error))
            e.problems.append(error);
    }
    return e;
}

QString explanationNote(const ParamExplanation& p)
{
    QStringList parts = p.problems;
    if (!p.note.isEmpty())
        parts.prepend(p.note);
    return parts.join(QStringLiteral("; "));
}

QString explanationLine(InsightTexts& t, const ParamExplanation& p, bool showSecrets)
{
    const QString level = p.catalogueLevel.isEmpty() ? QStringLiteral("-") : p.catalogueLevel;
    const QString desc = escapeControls(p.description);
    QString line;
    if (!p.value)
        line = t.text("M402", "%1 %2 [%3]: no value, %4", {p.code, desc, level, p.note});
    else if (p.rawValue.isEmpty())
        line = t.text("M400", "%1 %2 [%3]: %4 from %5",
                      {p.code, desc, level, shownValue(*p.value, p.secret, showSecrets), QString(p.level)});
    else
        line = t.text("M401", "%1 %2 [%3]: %4 from %5, raw %6",
                      {p.code, desc, level, shownValue(*p.value, p.secret, showSecrets), QString(p.level),
                       shownValue(p.rawValue, p.secret, showSecrets)});
    if (p.value && !p.note.isEmpty())
        line += QStringLiteral(" -- ") + p.note;
    for (const QString& problem : p.problems)
        line += QStringLiteral(" -- ") + problem;
    return line;
}

QString explanationHeading(InsightTexts& t, const TelephoneExplanation& e)
{
    const PhoneInfo& p = e.files.phone;
    return t.text("M429", "Telephone %1/%2 %3, MAC %4, model %5, levels %6, file %7",
                  {p.company, p.code, p.description, p.mac, p.model, levelLetters(e.levels), e.files.names.config});
}

QString explanationSummary(InsightTexts& t, const TelephoneExplanation& e)
{
    QString verdict;
    if (e.refused())
        verdict = e.files.status == FilesStatus::MergeFailed || e.files.status == FilesStatus::ModuleFailed
                      ? t.text("M410", "the run stops at this telephone")
                      : t.text("M409", "the run refuses this telephone");
    else if (e.files.status == FilesStatus::Empty)
        verdict = t.text("M411", "the run writes no file: no parameter at the levels chosen");
    else if (e.files.status == FilesStatus::NoFile)
        verdict = t.text("M412", "the model writes no file");
    else
        verdict = t.text("M408", "the run writes %1", {e.files.names.config});
    return t.text("M407", "%1 parameter(s), %2 with a value: %3",
                  {QString::number(e.params.size()), QString::number(e.withValue()), verdict});
}

} // namespace vocaset
