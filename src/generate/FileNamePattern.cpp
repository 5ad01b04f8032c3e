#include "FileNamePattern.h"

#include <QRegularExpression>

#include "ConfigWriter.h"

namespace vocaset {
namespace {

// Characters no file name of the pattern may hold: a path, a device name, a wildcard on some
// system the files are copied to, or control characters.
bool fitsName(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("/\\:*?\"<>|{}").contains(c))
            return false;
    }
    return true;
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// What one position of a pattern's names may hold: one character, or any hexadecimal digit.
struct Position
{
    QChar c;
    bool hex = false;
    bool meets(const Position& o) const
    {
        if (hex && o.hex)
            return true;
        if (hex || o.hex)
            return isHexDigit(hex ? o.c : c);
        return c == o.c;
    }
};

} // namespace

std::optional<FileNamePattern> FileNamePattern::parse(const QString& pattern, bool withMac, QString* problem)
{
    const auto refuse = [problem](const QString& why) -> std::optional<FileNamePattern> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    static const QRegularExpression tag(QStringLiteral("\\{\\{\\s*([^{}]*?)\\s*\\}\\}"));
    FileNamePattern p;
    QRegularExpressionMatchIterator it = tag.globalMatch(pattern);
    int macs = 0;
    qsizetype at = -1;
    qsizetype length = 0;
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString name = m.captured(1);
        if (!withMac)
            return refuse(QStringLiteral("an address book's file name is a plain name, without {{%1}}").arg(name));
        if (name == u"mac")
            p.m_mac = Mac::Upper;
        else if (name == u"mac_lower")
            p.m_mac = Mac::Lower;
        else if (name == u"mac_dashes")
            p.m_mac = Mac::Dashes;
        else if (name == u"mac_colons")
            return refuse(QStringLiteral("{{mac_colons}} would put a colon into the file name; use {{mac}}, "
                                         "{{mac_lower}} or {{mac_dashes}}"));
        else
            return refuse(QStringLiteral("a file name can hold only the MAC ({{mac}}, {{mac_lower}} or "
                                         "{{mac_dashes}}), not {{%1}}")
                              .arg(name));
        ++macs;
        at = m.capturedStart();
        length = m.capturedLength();
    }
    if (withMac && macs != 1)
        return refuse(macs == 0 ? QStringLiteral("the file name must hold the telephone's MAC, as {{mac}}, "
                                                 "{{mac_lower}} or {{mac_dashes}}")
                                : QStringLiteral("the file name must hold the MAC once, not %1 times").arg(macs));
    p.m_prefix = withMac ? pattern.left(at) : pattern;
    p.m_suffix = withMac ? pattern.mid(at + length) : QString();
    if (!fitsName(p.m_prefix) || !fitsName(p.m_suffix))
        return refuse(QStringLiteral("a file name cannot hold a control character nor any of / \\ : * ? \" < > | "
                                     "{ }"));
    if (!withMac && (pattern.isEmpty() || pattern == u"." || pattern == u".."))
        return refuse(QStringLiteral("the address book needs a file name"));
    return p;
}

const QList<FileNamePattern::Named>& FileNamePattern::builtIn()
{
    static const QList<Named> names = [] {
        QList<Named> out;
        const auto add = [&out](const char* what, const char* prefix, const char* suffix, Mac mac) {
            FileNamePattern p;
            p.m_prefix = QLatin1String(prefix);
            p.m_suffix = QLatin1String(suffix);
            p.m_mac = mac;
            out.append({QLatin1String(what), p});
        };
        add("the GXP2000 files cfg<MAC>", "cfg", "", Mac::Upper);
        add("the PAP2 files <MAC>.txt", "", ".txt", Mac::Upper);
        add("the F1000 files ut<MAC>.ini", "ut", ".ini", Mac::Upper);
        add("the address books gs_phonebook.xml", "gs_phonebook.xml", "", Mac::None);
        return out;
    }();
    return names;
}

QString FileNamePattern::nameFor(const QString& mac) const
{
    switch (m_mac) {
    case Mac::None:
        return m_prefix;
    case Mac::Upper:
        return m_prefix + mac.toUpper() + m_suffix;
    case Mac::Lower:
        return m_prefix + mac.toLower() + m_suffix;
    case Mac::Dashes:
        break;
    }
    QStringList pairs;
    for (qsizetype i = 0; i < mac.size(); i += 2)
        pairs.append(mac.mid(i, 2).toUpper());
    return m_prefix + pairs.join(u'-') + m_suffix;
}

std::optional<QString> FileNamePattern::macOf(const QString& fileName) const
{
    if (m_mac == Mac::None)
        return std::nullopt;
    const qsizetype digits = m_mac == Mac::Dashes ? 17 : 12;
    if (fileName.size() != m_prefix.size() + digits + m_suffix.size() || !fileName.startsWith(m_prefix) ||
        !fileName.endsWith(m_suffix))
        return std::nullopt;
    QString mac = fileName.mid(m_prefix.size(), digits);
    if (m_mac == Mac::Dashes) {
        for (qsizetype i = 2; i < mac.size(); i += 3) {
            if (mac[i] != u'-')
                return std::nullopt;
        }
        mac.remove(u'-');
    }
    if (!isMacAddress(mac))
        return std::nullopt;
    return mac.toUpper();
}

bool FileNamePattern::overlaps(const FileNamePattern& other) const
{
    // Every name of a pattern has the same length, and each of its positions holds one character
    // or any hexadecimal digit: two patterns share a name when every position can agree.
    const auto positions = [](const FileNamePattern& p) {
        QList<Position> out;
        for (const QChar c : p.m_prefix)
            out.append(Position{c});
        for (int i = 0; p.m_mac != Mac::None && i < 12; ++i) {
            if (p.m_mac == Mac::Dashes && i > 0 && i % 2 == 0)
                out.append(Position{u'-'});
            out.append(Position{QChar(), true});
        }
        for (const QChar c : p.m_suffix)
            out.append(Position{c});
        return out;
    };
    const QList<Position> a = positions(*this);
    const QList<Position> b = positions(other);
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!a[i].meets(b[i]))
            return false;
    }
    return true;
}

} // namespace vocaset
