#include "F1000Writer.h"

namespace vocaset {
namespace {

QByteArray lines(const QList<ParamRow>& rows, Cp1252Sink& sink, bool comments)
{
    QByteArray out;
    out.reserve(textSize(rows, comments) + (comments ? 14 : 3) * rows.size());
    for (const ParamRow& r : rows) {
        if (comments) {
            out += "<!-- ";
            sink.append(out, r.desc, r.code);
            out += QByteArray(" -->") + kLineEnd;
        }
        sink.append(out, r.code, r.code);
        out += '=';
        sink.append(out, r.value, r.code);
        out += kLineEnd;
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
