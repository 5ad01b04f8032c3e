#include "Pap2Writer.h"

namespace vocaset {
namespace {

// The device's parser reads entities; an unescaped "&" would make the profile malformed, and a
// description holding "-->" would end its comment early.
QString escaped(const QString& value)
{
    if (!value.contains(u'&') && !value.contains(u'<') && !value.contains(u'>'))
        return value;
    QString out;
    out.reserve(value.size() + 8);
    for (QChar c : value) {
        if (c == u'&')
            out += QStringLiteral("&amp;");
        else if (c == u'<')
            out += QStringLiteral("&lt;");
        else if (c == u'>')
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}

QByteArray profile(const QList<ParamRow>& rows, Cp1252Sink& sink, bool comments)
{
    QByteArray out;
    out.reserve(textSize(rows, comments) + textSize(rows, false) + (comments ? 16 : 7) * rows.size() + 40);
    out += QByteArray("<flat-profile>") + kLineEnd;
    for (const ParamRow& r : rows) {
        if (comments) {
            out += "<!-- ";
            sink.append(out, escaped(r.desc), r.code);
            out += QByteArray(" -->") + kLineEnd;
        }
        QByteArray code;
        sink.append(code, r.code, r.code);
        out += '<' + code + '>';
        sink.append(out, escaped(r.value), r.code);
        out += "</" + code + '>' + kLineEnd;
    }
    out += "</flat-profile>";
    out += kLineEnd;
    return out;
}

} // namespace

FileNames Pap2Writer::names(const PhoneInfo& phone, const LevelChoice& levels) const
{
    if (levels.phone)
        return {phone.mac + QStringLiteral(".txt"),
                phone.code + QStringLiteral(" - ") + phone.mac + QStringLiteral(".TXT")};
    if (levels.equipment)
        return {phone.company + phone.model + QStringLiteral(".txt"),
                phone.company + QStringLiteral(" - ") + phone.model + QStringLiteral(".txt")};
    return {phone.model + QStringLiteral(".txt"), phone.model + QStringLiteral(".txt")};
}

std::optional<QByteArray> Pap2Writer::config(const PhoneInfo&, const QList<ParamRow>& rows, Cp1252Sink& sink,
                                             QString*) const
{
    return profile(rows, sink, false);
}

QByteArray Pap2Writer::source(const QList<ParamRow>& rows, Cp1252Sink& sink) const
{
    return profile(rows, sink, true);
}

} // namespace vocaset
