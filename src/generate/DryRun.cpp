#include "DryRun.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "FolderSetting.h"
#include "Gxp2000Writer.h"
#include "Messages.h"
#include "ModelTemplates.h"
#include "ParamResolution.h"
#include "TelephoneFiles.h"
#include "TextFile.h"

namespace vocaset {
namespace {

// The flat profile's writer escapes these three; a file written before it did keeps a bare "&".
QString unescaped(QString value)
{
    if (!value.contains(u'&'))
        return value;
    QString out;
    out.reserve(value.size());
    static const std::pair<QLatin1String, QChar> entities[] = {
        {QLatin1String("&amp;"), u'&'}, {QLatin1String("&lt;"), u'<'}, {QLatin1String("&gt;"), u'>'}};
    for (qsizetype i = 0; i < value.size(); ++i) {
        bool replaced = false;
        for (const auto& [entity, c] : entities) {
            if (QStringView(value).mid(i).startsWith(entity)) {
                out += c;
                i += entity.size() - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += value[i];
    }
    return out;
}

FileParameters readFlatProfile(const QString& text)
{
    FileParameters f;
    static const QRegularExpression element(QStringLiteral("^<([^<>/!][^<>]*)>(.*)</\\1>$"));
    const QStringList lines = splitLines(text);
    qsizetype last = lines.size();
    while (last > 0 && lines[last - 1].isEmpty())
        --last;
    if (lines.isEmpty() || lines.first() != u"<flat-profile>" || lines[last - 1] != u"</flat-profile>") {
        f.problem = QStringLiteral("it does not lie between <flat-profile> and </flat-profile>");
        return f;
    }
    for (qsizetype i = 1; i + 1 < last; ++i) {
        if (lines[i].startsWith(QLatin1String("<!--")))
            continue;
        const QRegularExpressionMatch m = element.match(lines[i]);
        if (m.hasMatch())
            f.params.append({m.captured(1), unescaped(m.captured(2))});
        else if (f.problem.isEmpty())
            f.problem = QStringLiteral("line %1 is not one parameter's element").arg(i + 1);
    }
    return f;
}

FileParameters readKeyValues(const QString& text)
{
    FileParameters f;
    const QStringList lines = splitLines(text);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.isEmpty() || line.startsWith(QLatin1String("<!--")))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0)
            f.params.append({line.left(eq), line.mid(eq + 1)});
        else if (f.problem.isEmpty())
            f.problem = QStringLiteral("line %1 is not code=value").arg(i + 1);
    }
    return f;
}

QString formatName(const QString& module)
{
    return module == u"GRANDSTREAM" ? QStringLiteral("GXP2000") : module;
}

// A value a place-holder puts into the output folder must stay one folder name, as in the run.
bool plainFolderName(const QString& value)
{
    return !value.contains(u'/') && !value.contains(u'\\') && !value.contains(QChar(0)) && value != u"." &&
           value != u"..";
}

} // namespace

namespace {

// A template's file has a layout of its own: it is compared line by line, and its lines are not
// shown, since nothing tells which of them hold secrets.
FileComparison compareLines(const std::optional<QByteArray>& before, const QByteArray& after, int parameters)
{
    FileComparison c;
    c.parameters = parameters;
    if (!before)
        return c;
    if (*before == after) {
        c.verdict = FileComparison::Verdict::Unchanged;
        return c;
    }
    c.verdict = FileComparison::Verdict::Changed;
    const QList<QByteArray> old = before->split('\n');
    const QList<QByteArray> now = after.split('\n');
    for (qsizetype i = 0; i < std::max(old.size(), now.size()); ++i) {
        if (old.value(i) != now.value(i))
            c.lines.append(i + 1);
    }
    return c;
}

} // namespace

FileParameters readFileParameters(const QString& module, const QByteArray& bytes)
{
    if (module == u"GRANDSTREAM") {
        const Gxp2000Contents c = decodeGxp2000(bytes);
        return {c.params, c.mac, c.wellFormed ? QString() : c.problem};
    }
    if (module == u"PAP2")
        return readFlatProfile(fromCp1252(bytes));
    if (module == u"F1000")
        return readKeyValues(fromCp1252(bytes));
    return {{}, {}, QStringLiteral("no reader for the module ") + module};
}

FileComparison compareFiles(const QString& module, const std::optional<QByteArray>& before, const QByteArray& after)
{
    FileComparison c;
    if (before && *before == after) {
        c.verdict = FileComparison::Verdict::Unchanged;
        return c;
    }
    const FileParameters now = readFileParameters(module, after);
    c.parameters = int(now.params.size());
    if (!before)
        return c;
    c.verdict = FileComparison::Verdict::Changed;
    const FileParameters old = readFileParameters(module, *before);
    c.invalid = old.problem;
    // Nothing could be read from it: every parameter would be listed as added.
    if (old.params.isEmpty() && !old.problem.isEmpty())
        return c;
    if (module == u"GRANDSTREAM" && old.mac != now.mac && !old.mac.isEmpty()) {
        c.macBefore = old.mac;
        c.macAfter = now.mac;
    }
    QHash<QString, QString> oldValues;
    for (const auto& [code, value] : old.params)
        oldValues.insert(code, value);
    QSet<QString> seen;
    for (const auto& [code, value] : now.params) {
        seen.insert(code);
        const auto it = oldValues.constFind(code);
        if (it == oldValues.constEnd())
            c.changes.append({code, std::nullopt, value});
        else if (*it != value)
            c.changes.append({code, *it, value});
    }
    for (const auto& [code, value] : old.params) {
        if (!seen.contains(code)) {
            seen.insert(code);
            c.changes.append({code, value, std::nullopt});
        }
    }
    return c;
}

// One run's turns: each telephone's folder and files as the generation run finds them, compared
// with the folder instead of written.
class DryRun::Turns
{
public:
    Turns(DryRun& run, const GenerationRequest& request, DryRunSummary& summary)
        : m_run(run), m_s(run.m_s), m_t(run.m_texts), m_request(request), m_summary(summary),
          m_maker(m_s.db, m_s.language), m_secrets(m_s.db, request.model),
          m_folder(resolveFolderSetting(request.folder, m_s.appDir))
    {
        const Recordset module =
            m_s.db.executeBound(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = ?"), {request.model});
        m_module = module.isEmpty() ? QString() : module.text(0);
    }

    RunOutcome all()
    {
        for (; !m_s.currentPhone.eof(); m_s.currentPhone.moveNext()) {
            if (const std::optional<RunOutcome> end = telephone())
                return *end;
            m_s.db.reached(u"telephone.done");
            m_run.m_log.progress(++m_summary.done, m_summary.selected);
            if (m_run.m_stopRequested)
                return RunOutcome::Cancelled;
        }
        return RunOutcome::Completed;
    }

private:
    std::optional<RunOutcome> telephone()
    {
        const PhoneInfo phone = PhoneInfo::fromCurrent(m_s.currentPhone);
        const QString who = phone.description.isEmpty() ? phone.code : phone.code + u' ' + phone.description;
        QString folder = m_folder;
        if (folder.contains(QLatin1String("$$"))) {
            const Expansion e = expandPlaceHolders(folder, phone.code, phone.description);
            if (e.badToken) {
                ShowMessage(m_s, QStringLiteral("M6"), *e.badToken);
                refuse(who,
                       {MessageText(m_s, QStringLiteral("M6"), *e.badToken), MessageText(m_s, QStringLiteral("M12"))});
                return RunOutcome::MergeFailed;
            }
            for (const QString& value : e.inserted) {
                if (!plainFolderName(value)) {
                    refuse(who, {QStringLiteral("Telephone %1/%2: a place-holder puts \"%3\" into the output folder, "
                                                "which must stay one folder name; no file written")
                                     .arg(phone.company, phone.code, value)});
                    return std::nullopt;
                }
            }
            folder = e.text;
        }
        const QFileInfo dir(folder);
        if (!dir.isDir()) {
            ShowMessage(m_s, QStringLiteral("M7"));
            return RunOutcome::FolderMissing;
        }

        const TelephoneFiles files = m_maker.make(phone, m_request.levels);
        switch (files.status) {
        case FilesStatus::MergeFailed:
        case FilesStatus::ModuleFailed:
            refuse(who, files.errors);
            return files.status == FilesStatus::MergeFailed ? RunOutcome::MergeFailed : RunOutcome::Stopped;
        case FilesStatus::Refused:
            refuse(who, files.errors);
            return std::nullopt;
        case FilesStatus::Empty:
            ++m_summary.unchanged;
            m_run.m_log.append(m_t.text("M425", "%1: no parameter at the levels chosen; no file written", {who}));
            return std::nullopt;
        case FilesStatus::NoFile:
        case FilesStatus::NotFound:
            ++m_summary.unchanged;
            return std::nullopt;
        case FilesStatus::Ready:
            break;
        }
        if (!dir.isWritable()) {
            refuse(who, {m_t.text("M428", "the run cannot write %1: %2",
                                  {folder, QStringLiteral("the folder is not writable")})});
            return std::nullopt;
        }
        compare(who, folder + u'/' + files.names.config, files);
        return std::nullopt;
    }

    void compare(const QString& who, const QString& path, const TelephoneFiles& files)
    {
        std::optional<QByteArray> before;
        QString note;
        if (const auto pending = m_written.constFind(path); pending != m_written.constEnd()) {
            before = *pending;
        } else {
            const QFileInfo target(path);
            // A link is replaced, never followed: what it points to is neither read nor shown.
            if (target.isSymLink()) {
                note = m_t.text("M423", "a link is there now; the run puts the file in its place");
            } else if (target.exists() && !target.isFile()) {
                refuse(who, {m_t.text("M428", "the run cannot write %1: %2",
                                      {path, QStringLiteral("it is not a plain file")})});
                return;
            } else if (target.exists()) {
                QFile file(path);
                if (!file.open(QIODevice::ReadOnly))
                    note = m_t.text("M424", "the file there cannot be compared: %1", {file.errorString()});
                else if (file.size() > kMaxCompareBytes)
                    note = m_t.text("M424", "the file there cannot be compared: %1",
                                    {QStringLiteral("larger than %1 bytes").arg(kMaxCompareBytes)});
                else
                    before = file.read(kMaxCompareBytes + 1);
            }
        }
        // Telephones without the telephone level all write one file: each compares with the last.
        if (!m_request.levels.phone)
            m_written.insert(path, files.config);

        FileComparison c = m_module == QLatin1String(kTemplateModule)
                               ? compareLines(before, files.config, int(files.params.size()))
                               : compareFiles(m_module, before, files.config);
        if (!note.isEmpty() && c.verdict == FileComparison::Verdict::New)
            c.verdict = FileComparison::Verdict::Changed;
        const QString name = files.names.config;
        switch (c.verdict) {
        case FileComparison::Verdict::Unchanged:
            ++m_summary.unchanged;
            m_run.m_log.append(m_t.text("M413", "%1: %2 unchanged", {who, name}));
            return;
        case FileComparison::Verdict::New:
            ++m_summary.added;
            m_run.m_log.append(
                m_t.text("M414", "%1: %2 new, %3 parameter(s)", {who, name, QString::number(c.parameters)}));
            return;
        case FileComparison::Verdict::Changed:
            break;
        }
        ++m_summary.changed;
        QStringList what;
        if (!note.isEmpty())
            what.append(note);
        if (!c.invalid.isEmpty())
            what.append(
                m_t.text("M420", "the file there is not a valid %1 file (%2)", {formatName(m_module), c.invalid}));
        if (!c.macBefore.isEmpty())
            what.append(m_t.text("M421", "the MAC in the header changes from %1 to %2", {c.macBefore, c.macAfter}));
        if (!c.lines.isEmpty()) {
            QStringList numbers;
            for (const qsizetype line : std::as_const(c.lines).first(std::min<qsizetype>(c.lines.size(), 10)))
                numbers.append(QString::number(line));
            if (c.lines.size() > 10)
                numbers.append(QStringLiteral("\u2026"));
            what.append(m_t.text("M800", "lines %1 of the file change", {numbers.join(QStringLiteral(", "))}));
        }
        for (const ParamChange& change : std::as_const(c.changes)) {
            const bool secret = m_secrets.contains(change.code);
            const auto shown = [&](const QString& v) { return shownValue(v, secret, m_run.m_showSecrets); };
            const QString code = escapeControls(change.code);
            if (!change.before)
                what.append(m_t.text("M418", "added %1 %2", {code, shown(*change.after)}));
            else if (!change.after)
                what.append(m_t.text("M419", "removed %1 %2", {code, shown(*change.before)}));
            else
                what.append(m_t.text("M417", "%1 %2 \u2192 %3", {code, shown(*change.before), shown(*change.after)}));
        }
        if (what.isEmpty())
            what.append(m_t.text("M422", "the parameters stay the same; the layout of the file changes"));
        m_run.m_log.append(m_t.text("M415", "%1: %2 changed: %3", {who, name, what.join(QStringLiteral("; "))}));
    }

    void refuse(const QString& who, const QStringList& reasons)
    {
        ++m_summary.refused;
        m_summary.refusedPhones.append(m_s.currentPhone.text(QStringLiteral("PH_CODE")));
        m_run.m_log.append(m_t.text("M416", "%1: refused: %2", {who, reasons.join(QStringLiteral("; "))}));
    }

    DryRun& m_run;
    Session& m_s;
    InsightTexts& m_t;
    const GenerationRequest& m_request;
    DryRunSummary& m_summary;
    TelephoneFileMaker m_maker;
    SecretParameters m_secrets;
    const QString m_folder;
    QString m_module;
    QHash<QString, QByteArray> m_written;
};

DryRunSummary DryRun::run(const GenerationRequest& r)
{
    m_stopRequested = false;
    DryRunSummary summary;
    // The state the run would write from, as one: see GenerationRun::run.
    const ReadSnapshot snapshot(m_s.db);
    summary.selected = GenerationRun::selectTelephones(m_s, r);
    if (summary.selected == 0) {
        summary.outcome = RunOutcome::NoTelephones;
    } else {
        m_log.progress(0, summary.selected);
        Turns turns(*this, r, summary);
        summary.outcome = turns.all();
    }

    const QString refusedNames = summary.refusedPhones.isEmpty()
                                     ? QString()
                                     : QStringLiteral(" (") + summary.refusedPhones.join(QStringLiteral(", ")) + u')';
    summary.line = m_texts.text("M426",
                                "%1 telephone(s) selected: %2 unchanged, %3 new, %4 changed, %5 refused%6; "
                                "nothing written",
                                {QString::number(summary.selected), QString::number(summary.unchanged),
                                 QString::number(summary.added), QString::number(summary.changed),
                                 QString::number(summary.refused), refusedNames});
    if (summary.outcome == RunOutcome::Cancelled || summary.done < summary.selected)
        summary.line = m_texts.text("M427", "stopped after %1 of %2: %3",
                                    {QString::number(summary.done), QString::number(summary.selected), summary.line});
    return summary;
}

} // namespace vocaset
