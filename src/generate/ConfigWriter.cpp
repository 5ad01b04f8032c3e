#include "ConfigWriter.h"

#include <algorithm>

#include "F1000Writer.h"
#include "Gxp2000Writer.h"
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
    // Characters below 0x80 and from 0xA0 to 0xFF are their own code: most texts are copied as they are.
    const bool own = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x80 || (c.unicode() >= 0xA0 && c.unicode() <= 0xFF);
    });
    if (own) {
        const qsizetype at = out.size();
        out.resize(at + text.size());
        std::transform(text.begin(), text.end(), out.begin() + at, [](QChar c) { return char(c.unicode()); });
        return;
    }
    bool lossy = false;
    out += toCp1252(text, &lossy);
    if (lossy)
        markLossy(param);
}

void Cp1252Sink::markLossy(const QString& param)
{
    if (!m_seen.contains(param)) {
        m_seen.insert(param);
        m_lossy.append(param);
    }
}

qsizetype textSize(const QList<ParamRow>& rows, bool withDescriptions)
{
    qsizetype n = 0;
    for (const ParamRow& r : rows)
        n += r.code.size() + r.value.size() + (withDescriptions ? r.desc.size() : 0);
    return n;
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

bool formatMayRefuse(const QString& value)
{
    return std::any_of(value.begin(), value.end(),
                       [](QChar c) { return c == u'&' || c == u'\r' || c == u'\n' || c.isNull(); });
}

bool isMacAddress(const QString& mac)
{
    if (mac.size() != 12)
        return false;
    return std::all_of(mac.begin(), mac.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    });
}

} // namespace vocaset
