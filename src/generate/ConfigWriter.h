#pragma once

#include <optional>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "GenerationChoices.h"
#include "Interaction.h"
#include "Session.h"

namespace vocaset {

// One row of the merged parameter set: what the writers put in the files, and where it came from.
struct ParamRow
{
    QString code;
    QString desc;
    QString value;
    QChar level{};      // 'E', 'C' or 'P': the level whose row gave the value
    QString rawValue{}; // the value as stored, before its place-holders were expanded
    QString problem{};  // why a run refuses the telephone over this row; empty when nothing is wrong
};

// The telephone a file is written for: the current row of the session's telephones.
struct PhoneInfo
{
    QString company;
    QString code;
    QString model;
    QString description;
    QString mac;

    static PhoneInfo fromCurrent(const Recordset& phones);
};

struct FileNames
{
    QString config;
    QString source;
};

// Collects Windows-1252 bytes and the parameters whose text had characters without a code there.
class Cp1252Sink
{
public:
    void append(QByteArray& out, const QString& text, const QString& param);
    // For a writer that encodes a text itself: the parameter had characters written as '?'.
    void markLossy(const QString& param);
    const QStringList& lossy() const { return m_lossy; }

private:
    QStringList m_lossy;
    QSet<QString> m_seen;
};

// The characters of the rows' codes and values (and descriptions): what a file of them needs
// besides its fixed parts, for reserving its buffer at once.
qsizetype textSize(const QList<ParamRow>& rows, bool withDescriptions);

// Text files end their lines in CR LF.
inline constexpr char kLineEnd[] = "\r\n";

// The file layout of one writer module. Rows always come in ascending code order.
class ConfigWriter
{
public:
    virtual ~ConfigWriter() = default;
    virtual FileNames names(const PhoneInfo& phone, const LevelChoice& levels) const = 0;
    // Whether the telephone's MAC address goes into the file or its name.
    virtual bool needsMac(const LevelChoice& levels) const { return levels.phone; }
    // The configuration file, or nothing with a reason when the device could not load it.
    virtual std::optional<QByteArray> config(const PhoneInfo& phone, const QList<ParamRow>& rows, Cp1252Sink& sink,
                                             QString* refusal) const = 0;
    virtual QByteArray source(const QList<ParamRow>& rows, Cp1252Sink& sink) const = 0;
    // Whether the file is Windows-1252 text, where a character without a code there becomes '?'.
    virtual bool windows1252() const { return true; }
};

// The writer of an EQ_MODULE value; nullptr for "NONE", for unknown modules and for "TEMPLATE", whose
// writer is each model's own (TelephoneFileMaker makes it).
const ConfigWriter* writerForModule(const QString& module);

// Why a file of the writer module (an EQ_MODULE value) cannot carry a text, or nothing when it can:
// CR, LF and NUL would start a new line or end the text in every format, and "&" would start a new
// parameter in a GXP2000 body. The reason reads after a subject: "holds a line feed (LF), ...".
// Codes and values are checked alike.
std::optional<QString> formatRefusal(const QString& module, const QString& value);
// False for a text formatRefusal refuses under no module, as most texts are: a quick look first.
bool formatMayRefuse(const QString& value);

// True for exactly twelve hexadecimal digits, the only MAC a telephone fetches a file for.
bool isMacAddress(const QString& mac);

} // namespace vocaset
