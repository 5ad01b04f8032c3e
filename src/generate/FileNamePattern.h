#pragma once

#include <optional>

#include <QList>
#include <QString>

namespace vocaset {

// The name of a template model's files: literal text around one form of the telephone's MAC
// ("SEP{{mac}}.cnf.xml", "{{mac_lower}}.cfg"), or for an address book a plain name
// ("directory.xml"). The server reads it backwards: a requested name gives the model and the MAC.
class FileNamePattern
{
public:
    enum class Mac { None, Upper, Lower, Dashes };

    // The pattern of a kind of file: with the MAC exactly once for a telephone's file, without any
    // place-holder for an address book. Nothing, with the reason, when the pattern cannot name files.
    static std::optional<FileNamePattern> parse(const QString& pattern, bool withMac, QString* problem = nullptr);
    // The built-in writers' names, which no template may take: what each is called in a message.
    struct Named;
    static const QList<Named>& builtIn();

    Mac mac() const { return m_mac; }
    // The file of a telephone whose MAC is 12 hexadecimal digits; a group file (no MAC) takes key in its place.
    QString nameFor(const QString& mac) const;
    QString groupName(const QString& key) const { return m_prefix + key + m_suffix; }
    // The MAC (upper case) a requested name gives; nothing when the name is not one of the pattern's.
    // The digits may come in either case, as the built-in names take them.
    std::optional<QString> macOf(const QString& fileName) const;
    // True when some file name is one of both patterns'.
    bool overlaps(const FileNamePattern& other) const;

private:
    FileNamePattern() = default;
    QString m_prefix;
    QString m_suffix;
    Mac m_mac = Mac::None;
};

struct FileNamePattern::Named
{
    QString what; // "the GXP2000 files cfg<MAC>"
    FileNamePattern pattern;
};

} // namespace vocaset
