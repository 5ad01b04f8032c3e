#include "TemplateCheck.h"

#include "ColumnWidths.h"
#include "FileNamePattern.h"
#include "GenerationChoices.h"
#include "Messages.h"
#include "PhoneBookChoices.h"
#include "PhoneBookGeneration.h"
#include "TelephoneFiles.h"
#include "TextFile.h"

namespace vocaset {
namespace {

const QString kPhone =
    QStringLiteral("SELECT CO_CODE, PH_CODE, EQ_CODE, PH_DESC, PH_MAC FROM PHONES WHERE CO_CODE = ? AND PH_CODE = ?");

TemplateProblem problem(TemplateProblem::In in, const QString& text, TemplatePlace at = {})
{
    return {in, at, text};
}

// The place of a character of the template's text, lines counted as the library counts them.
TemplatePlace placeIn(const QString& text, qsizetype at)
{
    QString before = text.left(at);
    before.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    before.replace(u'\r', u'\n');
    const qsizetype lineStart = before.lastIndexOf(u'\n') + 1;
    return {int(before.count(u'\n')) + 1, int(before.size() - lineStart) + 1};
}

// The levels the server serves at: the model's default levels for the company, with the telephone's.
LevelChoice servedLevels(Database& db, const QString& company, const QString& model)
{
    LevelBoxes boxes;
    const Recordset stored = db.executeBound(
        QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = ? AND SY_SUBCODE = '$$DEFGEN'"),
        {QString(company + model)});
    if (!stored.isEmpty())
        boxes.applyDefault(stored.text(0));
    boxes.set(0, true);
    return boxes.choice();
}

QString decoded(const ModelTemplate& t, const QByteArray& bytes)
{
    QString text = t.encoding == u"UTF-8" ? QString::fromUtf8(bytes) : fromCp1252(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

} // namespace

TemplateCheck::TemplateCheck(Session& s, ModelTemplate t) : m_s(s), m_t(std::move(t)), m_compiled(m_t) {}

TemplateCheck::~TemplateCheck() = default;

const QStringList& TemplateCheck::catalogue()
{
    if (!m_catalogue) {
        const Recordset rs = m_s.db.executeBound(
            QStringLiteral("SELECT PA_CODE FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = ? ORDER BY PA_CODE"), {m_t.model});
        QStringList codes;
        for (const QVariantList& row : rs.rows())
            codes.append(row.value(0).toString());
        m_catalogue = codes;
    }
    return *m_catalogue;
}

std::optional<QString> TemplateCheck::modelRefusal()
{
    const Recordset model =
        m_s.db.executeBound(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = ?"), {m_t.model});
    if (model.isEmpty())
        return textOr(m_s, QStringLiteral("M801"), QStringLiteral("There is no model $$."), m_t.model);
    if (model.text(0) != QLatin1String(kTemplateModule))
        return textOr(m_s, QStringLiteral("M802"),
                      QStringLiteral("The model $$ does not take its files from a template: its writer module is not "
                                     "TEMPLATE."),
                      m_t.model);
    const std::pair<const QStringList*, const QString*> options[] = {{&ModelTemplates::kKinds, &m_t.kind},
                                                                     {&ModelTemplates::kEscapes, &m_t.escape},
                                                                     {&ModelTemplates::kEncodings, &m_t.encoding},
                                                                     {&ModelTemplates::kLineEnds, &m_t.eol}};
    for (const auto& [values, given] : options) {
        if (!values->contains(*given))
            return textOr(m_s, QStringLiteral("M803"), QStringLiteral("\"$$\" is none of the values allowed."), *given);
    }
    return std::nullopt;
}

QList<TemplateProblem> TemplateCheck::templateProblems()
{
    using In = TemplateProblem::In;
    QList<TemplateProblem> out;
    const bool book = m_t.kind == u"phonebook";
    if (m_t.text.toUtf8().size() > ModelTemplates::kMaxTextBytes)
        out.append(problem(In::Template,
                           QStringLiteral("the template is larger than %1 bytes").arg(ModelTemplates::kMaxTextBytes)));
    if (const qsizetype nul = m_t.text.indexOf(QChar(0)); nul >= 0)
        out.append(problem(In::Template, QStringLiteral("the template holds a NUL character"), placeIn(m_t.text, nul)));
    bool lossy = false;
    if (m_t.encoding != u"UTF-8")
        toCp1252(m_t.text, &lossy);
    for (qsizetype i = 0; lossy && i < m_t.text.size(); ++i) {
        const QChar c = m_t.text.at(i);
        if (c.unicode() < 0x80 || (c.unicode() >= 0xA0 && c.unicode() <= 0xFF))
            continue;
        const bool pair = c.isHighSurrogate() && i + 1 < m_t.text.size();
        bool lost = false;
        toCp1252(m_t.text.mid(i, pair ? 2 : 1), &lost);
        if (lost) {
            const uint code = pair ? QChar::surrogateToUcs4(c, m_t.text.at(i + 1)) : c.unicode();
            out.append(problem(In::Template,
                               QStringLiteral("U+%1 has no Windows-1252 code: the file would get '?'")
                                   .arg(QString::number(code, 16).toUpper().rightJustified(4, u'0')),
                               placeIn(m_t.text, i)));
            break;
        }
    }
    if (const auto& syntax = m_compiled.syntaxError()) {
        out.append(*syntax);
    } else {
        out.append(m_compiled.nameProblems(book ? QStringList() : catalogue()));
        if (m_t.escape == u"xml") {
            // Values are escaped, so sample values find what the template's own text gets wrong.
            const QString x = QStringLiteral("x");
            QList<ParamRow> params;
            for (const QString& code : catalogue())
                params.append(ParamRow{code, x, x, u'E'});
            const QList<BookEntry> entries = {BookEntry{0, QStringLiteral("1"), x}};
            const TemplateSubject sample{QStringLiteral("000000000000"), x, x, x, x, x, x, &params, nullptr, &entries};
            const RenderedFile file = m_compiled.render(sample);
            if (file.problem && file.problem->in == In::File) {
                TemplateProblem p = *file.problem;
                p.text += QStringLiteral(" (in the file made with sample values)");
                out.append(p);
            }
        }
    }

    QString why;
    const std::optional<FileNamePattern> pattern = FileNamePattern::parse(m_t.fileName, !book, &why);
    if (!pattern) {
        out.append(problem(In::FileName, why));
        return out;
    }
    for (const FileNamePattern::Named& builtIn : FileNamePattern::builtIn()) {
        if (pattern->overlaps(builtIn.pattern))
            out.append(problem(In::FileName, QStringLiteral("\"%1\" can name the same files as %2, which the server "
                                                            "sends their writers' telephones")
                                                 .arg(m_t.fileName, builtIn.what)));
    }
    for (const ModelTemplate& other : ModelTemplates::readNames(m_s.db)) {
        if (other.model == m_t.model && other.kind == m_t.kind)
            continue;
        const std::optional<FileNamePattern> theirs =
            FileNamePattern::parse(other.fileName, other.kind != u"phonebook");
        if (theirs && pattern->overlaps(*theirs))
            out.append(problem(In::FileName, QStringLiteral("\"%1\" can name the same file as the %2 template of %3 "
                                                            "(\"%4\")")
                                                 .arg(m_t.fileName, other.kind, other.model, other.fileName)));
    }
    return out;
}

TemplatePreview TemplateCheck::preview(const QString& company, const QString& phone)
{
    TemplatePreview p;
    using In = TemplateProblem::In;
    if (m_t.kind == u"phonebook") {
        p.subject = company;
        const TemplateBook book =
            templateAddressBook(m_s.db, m_compiled, company, m_t.model, [&](const QString& entry, EntryFate fate) {
                if (fate == EntryFate::LeftOut)
                    p.notes.append(entryLeftOutText(m_s, entry));
                else if (fate == EntryFate::Lossy)
                    p.notes.append(entryLossyText(m_s, entry));
                return true;
            });
        p.text = book.text;
        p.made = book.bytes.has_value();
        if (p.made)
            p.bytes = *book.bytes;
        else
            p.problems.append(book.problem ? *book.problem : problem(In::File, book.refusal));
        return p;
    }

    p.subject = company + u'/' + phone;
    const Recordset row = m_s.db.executeBound(kPhone, {company, phone});
    if (row.isEmpty()) {
        p.problems.append(problem(In::File, QStringLiteral("there is no telephone %1").arg(p.subject)));
        return p;
    }
    const PhoneInfo info = PhoneInfo::fromCurrent(row);
    if (info.model != m_t.model) {
        p.problems.append(
            problem(In::File, QStringLiteral("the telephone is a %1, not a %2").arg(info.model, m_t.model)));
        return p;
    }
    TelephoneFileMaker maker(m_s.db, m_s.language);
    maker.useTemplate(m_t);
    const TelephoneFiles files = maker.make(info, servedLevels(m_s.db, company, m_t.model));
    switch (files.status) {
    case FilesStatus::Ready:
        p.made = true;
        p.bytes = files.config;
        p.text = decoded(m_t, files.config);
        // What follows the write, but the closing line.
        for (qsizetype i = 0; i + 1 < files.afterWrite.size(); ++i)
            p.notes.append(files.afterWrite[i].text);
        return p;
    case FilesStatus::Empty:
        p.notes.append(QStringLiteral("no parameter at the levels chosen: no file"));
        return p;
    case FilesStatus::NoFile:
    case FilesStatus::NotFound:
        return p;
    case FilesStatus::Refused:
    case FilesStatus::MergeFailed:
    case FilesStatus::ModuleFailed:
        break;
    }
    // The writer's own refusal again, with its place and the file as far as it was made.
    const auto* writer = dynamic_cast<const TemplateWriter*>(maker.writerFor(info));
    std::optional<RenderedFile> rendered;
    if (files.status == FilesStatus::Refused && writer && writer->compiled())
        rendered = writer->compiled()->render(writer->subject(info, files.params));
    if (rendered)
        p.text = rendered->text;
    for (const QString& error : files.errors) {
        if (rendered && rendered->problem && error.contains(rendered->refusal))
            p.problems.append(*rendered->problem);
        else
            p.problems.append(problem(In::File, error));
    }
    return p;
}

QList<TemplatePreview> TemplateCheck::previewAll(const std::function<bool(int, int)>& progress)
{
    const bool book = m_t.kind == u"phonebook";
    const Recordset subjects = m_s.db.executeBound(
        book ? QStringLiteral("SELECT DISTINCT CO_CODE FROM PHONES WHERE EQ_CODE = ? ORDER BY CO_CODE")
             : QStringLiteral("SELECT CO_CODE, PH_CODE FROM PHONES WHERE EQ_CODE = ? ORDER BY CO_CODE, PH_CODE"),
        {m_t.model});
    QList<TemplatePreview> out;
    for (const QVariantList& row : subjects.rows()) {
        out.append(preview(row.value(0).toString(), book ? QString() : row.value(1).toString()));
        if (progress && !progress(int(out.size()), subjects.count()))
            break;
    }
    return out;
}

TemplateSave saveTemplate(Session& s, const ModelTemplate& t)
{
    TemplateSave result;
    Transaction transaction(s.db);
    TemplateCheck check(s, t);
    result.refusal = check.modelRefusal();
    if (result.refusal)
        return result;
    ModelTemplates::ensureTable(s.db);
    const ColumnWidths widths(s.db, QLatin1String(kTemplatesTable));
    const std::pair<const char*, const QString*> sized[] = {{"MT_FILE_NAME", &t.fileName},
                                                            {"MT_CONTENT_TYPE", &t.contentType}};
    for (const auto& [column, value] : sized) {
        if (const std::optional<QString> why = widths.refusal(s, QLatin1String(column), *value))
            result.problems.append({TemplateProblem::In::FileName, {}, *why});
    }
    result.problems += check.templateProblems();
    if (!result.problems.isEmpty())
        return result;
    result.changed = ModelTemplates::store(s, t);
    transaction.commit();
    return result;
}

bool deleteTemplate(Session& s, const QString& model, const QString& kind)
{
    Transaction transaction(s.db);
    const bool removed = ModelTemplates::remove(s, model, kind);
    transaction.commit();
    return removed;
}

QList<QPair<QString, QString>> templateModels(Database& db)
{
    const Recordset rs = db.execute(QStringLiteral("SELECT EQ_CODE, EQ_DESC FROM EQUIPMENT WHERE EQ_MODULE = '") +
                                    QLatin1String(kTemplateModule) + QStringLiteral("' ORDER BY EQ_CODE"));
    QList<QPair<QString, QString>> out;
    for (const QVariantList& row : rs.rows())
        out.append({row.value(0).toString(), row.value(1).toString()});
    return out;
}

QString problemLine(const QString& subject, const TemplateProblem& p)
{
    return subject.isEmpty() ? p.located() : subject + QStringLiteral(": ") + p.located();
}

} // namespace vocaset
