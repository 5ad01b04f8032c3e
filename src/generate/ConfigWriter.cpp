#include "ConfigWriter.h"

#include <algorithm>

#include "F1000Writer.h"
#include "Gxp2000Writer.h"
#include "Messages.h"
#include "Pap2Writer.h"
#include "TextFile.h"

namespace vocaset {

PhoneInfo PhoneInfo::fromCurrent(const Recordset& phones)
{
    return {phones.text(QStringLiteral("CO_CODE")), phones.text(QStringLiteral("PH_CODE")),
            phones.text(QStringLiteral("EQ_CODE")), phones.text(QStringLiteral("PH_DESC")),
            phones.text(QStringLiteral("PH_MAC"))};
}

void Cp1252Sink::append(QByteArray& out, const QString& text, const QString& param)
{
    bool lossy = false;
    out += toCp1252(text, &lossy);
    if (lossy && !m_seen.contains(param)) {
        m_seen.insert(param);
        m_lossy.append(param);
    }
}

const ConfigWriter* writerForModule(const QString& module)
{
    static const Gxp2000Writer gxp;
    static const Pap2Writer pap;
    static const F1000Writer f1000;
    if (module == u"GRANDSTREAM")
        return &gxp;
    if (module == u"PAP2")
        return &pap;
    if (module == u"F1000")
        return &f1000;
    return nullptr;
}

std::optional<QString> formatRefusal(const QString& module, const QString& value)
{
    for (QChar c : value) {
        if (c == u'\r')
            return QStringLiteral("holds a carriage return (CR), which no configuration file can carry");
        if (c == u'\n')
            return QStringLiteral("holds a line feed (LF), which no configuration file can carry");
        if (c.isNull())
            return QStringLiteral("holds a NUL character, which no configuration file can carry");
        if (c == u'&' && module == u"GRANDSTREAM")
            return QStringLiteral("holds \"&\", which starts a new parameter in a GXP2000 file");
    }
    return std::nullopt;
}

bool isMacAddress(const QString& mac)
{
    if (mac.size() != 12)
        return false;
    return std::all_of(mac.begin(), mac.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    });
}

QList<ParamRow> readMergedSet(Database& db, bool withDescriptions)
{
    // Only the columns the files use: reading is a good part of the cost of a telephone's turn.
    const Recordset rs =
        db.execute(withDescriptions ? QStringLiteral("SELECT PA_CODE, PA_VALUE, PA_DESC FROM EQ_TEMP ORDER BY PA_CODE")
                                    : QStringLiteral("SELECT PA_CODE, PA_VALUE FROM EQ_TEMP ORDER BY PA_CODE"));
    QList<ParamRow> rows;
    rows.reserve(rs.count());
    for (const QVariantList& r : rs.rows())
        rows.append({r.at(0).toString(), withDescriptions ? r.at(2).toString() : QString(), r.at(1).toString()});
    return rows;
}

QString ProgressTexts::text(const QString& code, const QString& detail)
{
    auto it = m_templates.constFind(code);
    if (it == m_templates.constEnd()) {
        const QString stored = GetDescription(m_s, code);
        // A missing message is shown each time, as any missing message is.
        if (stored.isEmpty())
            return MessageText(m_s, code, detail);
        it = m_templates.insert(code, stored);
    }
    QString line = *it;
    return line.replace(QLatin1String("$$"), detail);
}

WriteOutcome writeTelephoneFiles(Session& s, RunLog& log, ProgressTexts& texts, const ConfigWriter& writer,
                                 const WriteJob& job)
{
    const PhoneInfo phone = PhoneInfo::fromCurrent(s.currentPhone);
    const FileNames names = writer.names(phone, job.levels);
    const QString who = phone.company + u'/' + phone.code;
    log.append(texts.text(QStringLiteral("M13"),
                          job.levels.phone ? phone.code + u' ' + phone.description + u' ' + phone.mac : names.config));

    // A file named after a wrong MAC is never fetched by the right telephone, and a name holding a
    // path would land outside the chosen folder.
    if (writer.needsMac(job.levels) && !isMacAddress(phone.mac)) {
        ShowMessage(s, QStringLiteral("M11"));
        log.append(QStringLiteral("Telephone %1: MAC address \"%2\" is not 12 hexadecimal digits; no file written")
                       .arg(who, phone.mac));
        return WriteOutcome::Skipped;
    }
    for (const QString& name : {names.config, names.source}) {
        if (!isSafeFileName(name)) {
            const QString line =
                QStringLiteral("Telephone %1: file name \"%2\" refused; no file written").arg(who, name);
            s.op.showMessage(line);
            log.append(line);
            return WriteOutcome::Skipped;
        }
    }

    const QList<ParamRow> rows = readMergedSet(s.db, job.source);
    if (rows.isEmpty()) {
        log.append(texts.text(QStringLiteral("M14")));
        return WriteOutcome::Empty;
    }

    Cp1252Sink sink;
    QString refusal;
    const std::optional<QByteArray> config = writer.config(phone, rows, sink, &refusal);
    if (!config) {
        log.append(QStringLiteral("Telephone %1: %2; no file written").arg(who, refusal));
        return WriteOutcome::Skipped;
    }
    const QString base = job.folder + u'/';
    QString error;
    if (job.source) {
        // Where both names coincide the configuration file wins: it is what the telephone loads.
        if (names.source == names.config) {
            log.append(QStringLiteral("Source file not written: it would replace %1").arg(names.config));
        } else if (!writeFileAtomically(base + names.source, writer.source(rows, sink), &error)) {
            s.op.showMessage(error);
            s.runError = true;
            return WriteOutcome::Failed;
        }
    }
    if (!writeFileAtomically(base + names.config, *config, &error)) {
        s.op.showMessage(error);
        s.runError = true;
        return WriteOutcome::Failed;
    }
    for (const QString& param : sink.lossy())
        log.append(QStringLiteral("Telephone %1, parameter %2: characters without a Windows-1252 code written as '?'")
                       .arg(who, param));
    log.append(texts.text(QStringLiteral("M15")));
    return WriteOutcome::Written;
}

} // namespace vocaset
