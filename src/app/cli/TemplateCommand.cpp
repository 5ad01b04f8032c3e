#include "TemplateCommand.h"

#include <QCommandLineParser>

#include "CodeRename.h"
#include "Messages.h"
#include "ModelTemplates.h"
#include "TemplateCheck.h"
#include "TextFile.h"

namespace vocaset::cli {
namespace {

constexpr const char* kNames[] = {"template show", "template set", "template check", "template delete"};

const QString kOptions = QStringLiteral("  --model EQ            the model, whose writer module is TEMPLATE\n"
                                        "  --kind KIND           config (a telephone's file, the default) or phonebook "
                                        "(a company's address book)\n");
const QString kFileOptions =
    QStringLiteral("  --file-name PATTERN   the file's name: {{mac}}, {{mac_lower}} or {{mac_dashes}} once, with text "
                   "around it;\n"
                   "                        for an address book a plain name, served in its company's folder\n"
                   "  --escape xml|none     xml escapes every value for XML text and attributes (none by default)\n"
                   "  --encoding utf-8|windows-1252   windows-1252 by default\n"
                   "  --eol crlf|lf         the file's line ends, crlf by default\n"
                   "  --content-type TYPE   what the server sends with the file; from the escaping and encoding by "
                   "default\n");

const QString kUsages[] = {
    QStringLiteral("--model EQ [--kind config|phonebook] [--text]\n") + kOptions +
        QStringLiteral("  --text                the template's text alone, as set reads it back\n"
                       "Shows the template's file name, options and text."),
    QStringLiteral("FILE --model EQ [--kind config|phonebook] [options]\n") + kOptions + kFileOptions +
        QStringLiteral(
            "Options not given keep their stored values. The template (Mustache, UTF-8 or Windows-1252 text) is "
            "checked\n"
            "first, and refused with the line and column of each problem: syntax, names no telephone has, characters\n"
            "the encoding lacks, a file that is not well-formed XML for an xml template, a file name that another\n"
            "model's files or the built-in writers' take. Needs the second password of the settings table (see\n"
            "vocaset-cli --help for how a password is given)."),
    QStringLiteral("[FILE] --model EQ [--kind config|phonebook] [--company CO [--phone PH]] [options]\n") + kOptions +
        QStringLiteral("  --company CO, --phone PH   one telephone (one company for an address book); every one of the "
                       "model otherwise\n") +
        kFileOptions +
        QStringLiteral("Makes the files without writing any and lists every problem: of the template itself, and of\n"
                       "each telephone (a refused value, an unknown name). With FILE and the options, checks that\n"
                       "template instead of the stored one. Exit 1 when there is a problem."),
    QStringLiteral("--model EQ [--kind config|phonebook]\n") + kOptions +
        QStringLiteral("Deletes the template after a question that --yes answers. Needs the second password of the\n"
                       "settings table."),
};

struct Parsed
{
    QString model;
    QString kind;
    std::optional<QString> file;
};

QString counted(Session& s, qsizetype n)
{
    static constexpr CountedText kProblems{"M808", "$$ problems", "M809", "$$ problem"};
    return textOr(s, kProblems, n, QString::number(n));
}

// The options of set and check over the stored template (or the defaults of a new one); a usage error
// names what is wrong.
std::optional<QString> applyOptions(const QCommandLineParser& parser, ModelTemplate& t, bool isNew)
{
    const std::pair<const char*, std::pair<const QStringList*, QString*>> choices[] = {
        {"escape", {&ModelTemplates::kEscapes, &t.escape}},
        {"encoding", {&ModelTemplates::kEncodings, &t.encoding}},
        {"eol", {&ModelTemplates::kLineEnds, &t.eol}}};
    for (const auto& [option, target] : choices) {
        if (!parser.isSet(QLatin1String(option)))
            continue;
        const QString given = parser.value(QLatin1String(option));
        const QString stored = ModelTemplates::spelling(*target.first, given);
        if (stored.isEmpty())
            return QStringLiteral("--%1 %2 is none of %3")
                .arg(QLatin1String(option), given, target.first->join(QStringLiteral(", ")).toLower());
        *target.second = stored;
    }
    if (parser.isSet(QStringLiteral("file-name")))
        t.fileName = parser.value(QStringLiteral("file-name"));
    else if (isNew)
        return QStringLiteral("a new template needs --file-name");
    if (parser.isSet(QStringLiteral("content-type")))
        t.contentType = parser.value(QStringLiteral("content-type"));
    else if (isNew)
        t.contentType = ModelTemplates::defaultContentType(t);
    return std::nullopt;
}

} // namespace

QString TemplateCommand::name() const
{
    return QLatin1String(kNames[m_verb]);
}

QString TemplateCommand::summary() const
{
    static const char* const summaries[] = {
        "show a template model's template", "check and save a template model's template from a file",
        "make a template's files without writing them and list every problem", "delete a template model's template"};
    return QLatin1String(summaries[m_verb]);
}

int TemplateCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption model(QStringLiteral("model"), {}, QStringLiteral("EQ"));
    const QCommandLineOption kind(QStringLiteral("kind"), {}, QStringLiteral("KIND"), QStringLiteral("config"));
    parser.addOptions({model, kind});
    if (m_verb == Show)
        parser.addOption(QCommandLineOption(QStringLiteral("text")));
    if (m_verb == Set || m_verb == Check) {
        for (const char* option : {"file-name", "escape", "encoding", "eol", "content-type"})
            parser.addOption(QCommandLineOption(QLatin1String(option), {}, QStringLiteral("VALUE")));
    }
    if (m_verb == Check) {
        parser.addOption(QCommandLineOption(QStringLiteral("company"), {}, QStringLiteral("CO")));
        parser.addOption(QCommandLineOption(QStringLiteral("phone"), {}, QStringLiteral("PH")));
    }
    const QString& usage = kUsages[m_verb];
    // check takes its file, when it has one, first.
    const bool withFile =
        m_verb == Set || (m_verb == Check && !arguments.isEmpty() && !arguments.first().startsWith(u'-'));
    if (const auto done = parseCommandLine(ctx, *this, parser, arguments, usage, withFile ? 1 : 0))
        return *done;
    const QStringList files = parser.positionalArguments();
    const QString kindValue = ModelTemplates::spelling(ModelTemplates::kKinds, parser.value(kind));
    if (!parser.isSet(model) || kindValue.isEmpty()) {
        ctx.err << (parser.isSet(model) ? QStringLiteral("--kind is config or phonebook")
                                        : QStringLiteral("--model names the model"))
                << Qt::endl;
        return commandUsage(ctx, *this, usage, false);
    }
    if (m_verb == Check &&
        parser.isSet(QStringLiteral("phone")) != (kindValue == u"config" && parser.isSet(QStringLiteral("company")))) {
        ctx.err << QStringLiteral("--phone goes with --company, for a config template") << Qt::endl;
        return commandUsage(ctx, *this, usage, false);
    }

    if (const auto failed = ctx.start())
        return *failed;
    if (!ctx.allowed(QStringLiteral("Templates")))
        return RunFailed;
    Session& s = *ctx.session;
    const QString modelCode = parser.value(model);
    const QString what = modelCode + QStringLiteral(" (") + kindValue + u')';
    const std::optional<ModelTemplate> stored = ModelTemplates::read(s.db, modelCode, kindValue);

    if (m_verb == Show || m_verb == Delete) {
        if (!stored) {
            ctx.err << textOr(s, QStringLiteral("M806"), QStringLiteral("No template for $$."), what) << Qt::endl;
            return RunFailed;
        }
        if (m_verb == Show) {
            if (parser.isSet(QStringLiteral("text"))) {
                ctx.out << stored->text;
                ctx.out.flush();
                return Ok;
            }
            const std::pair<const char*, QString> lines[] = {{"Model", stored->model},
                                                             {"Kind", stored->kind},
                                                             {"File name", stored->fileName},
                                                             {"Escape", stored->escape},
                                                             {"Encoding", stored->encoding},
                                                             {"Line ends", stored->eol},
                                                             {"Content type", stored->contentType}};
            for (const auto& [label, value] : lines)
                ctx.out << QString(QLatin1String(label) + u':').leftJustified(14) << escapeControls(value) << u'\n';
            ctx.out << u'\n' << stored->text;
            ctx.out.flush();
            return Ok;
        }
        if (!renameAllowed(s, [&] { return ctx.password(); })) {
            ctx.err << textOr(s, QStringLiteral("M805"),
                              QStringLiteral("Saving or deleting a template needs the second password of the settings "
                                             "table."))
                    << Qt::endl;
            return RunFailed;
        }
        if (!ctx.op->askYesNo(textOr(s, QStringLiteral("M812"), QStringLiteral("Delete the template of $$?"), what))) {
            ctx.err << QStringLiteral("Nothing deleted.") << Qt::endl;
            return RunFailed;
        }
        deleteTemplate(s, modelCode, kindValue);
        ctx.out << textOr(s, QStringLiteral("M811"), QStringLiteral("Template deleted: $$"), what) << Qt::endl;
        return Ok;
    }

    // The template to check or save: the stored one, or the file's text with the options given.
    ModelTemplate t = stored.value_or(ModelTemplate{modelCode, kindValue});
    if (!files.isEmpty()) {
        QString error;
        const std::optional<QByteArray> bytes = readInputFile(files.first(), ModelTemplates::kMaxTextBytes, &error);
        if (!bytes) {
            ctx.err << error << Qt::endl;
            return RunFailed;
        }
        t.text = decodeText(*bytes);
        if (const std::optional<QString> wrong = applyOptions(parser, t, !stored)) {
            ctx.err << *wrong << Qt::endl;
            return commandUsage(ctx, *this, usage, false);
        }
    } else if (!stored) {
        ctx.err << textOr(s, QStringLiteral("M806"), QStringLiteral("No template for $$."), what) << Qt::endl;
        return RunFailed;
    }

    if (m_verb == Set) {
        if (!renameAllowed(s, [&] { return ctx.password(); })) {
            ctx.err << textOr(s, QStringLiteral("M805"),
                              QStringLiteral("Saving or deleting a template needs the second password of the settings "
                                             "table."))
                    << Qt::endl;
            return RunFailed;
        }
        const TemplateSave saved = saveTemplate(s, t);
        if (saved.refusal) {
            ctx.err << *saved.refusal << Qt::endl;
            return RunFailed;
        }
        for (const TemplateProblem& p : saved.problems)
            ctx.log->append(problemLine({}, p));
        if (!saved.problems.isEmpty()) {
            ctx.err << textOr(s, QStringLiteral("M810"), QStringLiteral("The template was not saved: $$."),
                              counted(s, saved.problems.size()))
                    << Qt::endl;
            return RunFailed;
        }
        ctx.out << (saved.changed
                        ? textOr(s, QStringLiteral("M804"), QStringLiteral("Template saved: $$"), what)
                        : textOr(s, QStringLiteral("M807"), QStringLiteral("The template is unchanged: $$"), what))
                << Qt::endl;
        return Ok;
    }

    TemplateCheck check(s, t);
    if (const std::optional<QString> refusal = check.modelRefusal()) {
        ctx.err << *refusal << Qt::endl;
        return RunFailed;
    }
    qsizetype problems = 0;
    QStringList ofTheTemplate;
    for (const TemplateProblem& p : check.templateProblems()) {
        ofTheTemplate.append(p.located());
        ctx.log->append(problemLine({}, p));
        ++problems;
    }
    QList<TemplatePreview> previews;
    if (!check.parses())
        ; // every file would fail alike
    else if (parser.isSet(QStringLiteral("company")))
        previews.append(check.preview(parser.value(QStringLiteral("company")), parser.value(QStringLiteral("phone"))));
    else
        previews = check.previewAll();
    for (const TemplatePreview& p : previews) {
        for (const TemplateProblem& problem : p.problems) {
            // The template's own problems are listed once; the run's lines name their telephone.
            if (ofTheTemplate.contains(problem.located()))
                continue;
            ctx.log->append(problemLine(problem.at.line > 0 ? p.subject : QString(), problem));
            ++problems;
        }
        for (const QString& note : p.notes)
            ctx.log->append(p.subject + QStringLiteral(": ") + note);
    }
    static constexpr CountedText kPhones{"M814", "$$ telephones checked", "M817", "$$ telephone checked"};
    static constexpr CountedText kBooks{"M818", "$$ address books checked", "M819", "$$ address book checked"};
    ctx.log->append(
        textOr(s, kindValue == u"phonebook" ? kBooks : kPhones, previews.size(), QString::number(previews.size())) +
        QStringLiteral(", ") + counted(s, problems));
    return problems == 0 ? Ok : RunFailed;
}

} // namespace vocaset::cli
