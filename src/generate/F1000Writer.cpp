#include "F1000Writer.h"

namespace vocaset {
namespace {

QByteArray lines(const QList<ParamRow>& rows, Cp1252Sink& sink, bool comments)
{
    QByteArray out;
    for (const ParamRow& r : rows) {
        QByteArray line;
        if (comments) {
            line = "<!-- ";
            sink.append(line, r.desc, r.code);
            line += " -->";
            appendLine(out, line);
            line.clear();
        }
        sink.append(line, r.code, r.code);
        line += '=';
        sink.append(line, r.value, r.code);
        appendLine(out, line);
    }
    return out;
}

} // namespace

FileNames F1000Writer::names(const PhoneInfo& phone, const LevelChoice& levels) const
{
    if (levels.phone)
        return {QStringLiteral("ut") + phone.mac + QStringLiteral(".ini"),
                phone.code + QStringLiteral(" - ") + phone.mac + QStringLiteral(".TXT")};
    if (levels.equipment)
        return {phone.company + phone.model + QStringLiteral(".ini"),
                phone.company + QStringLiteral(" - ") + phone.model + QStringLiteral(".txt")};
    return {phone.model + QStringLiteral(".ini"), phone.model + QStringLiteral(".txt")};
}

std::optional<QByteArray> F1000Writer::config(const PhoneInfo&, const QList<ParamRow>& rows, Cp1252Sink& sink,
                                              QString*) const
{
    return lines(rows, sink, false);
}

QByteArray F1000Writer::source(const QList<ParamRow>& rows, Cp1252Sink& sink) const
{
    return lines(rows, sink, true);
}

} // namespace vocaset
