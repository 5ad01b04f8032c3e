#pragma once

#include <optional>

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "GenerationChoices.h"
#include "SecretParameters.h"
#include "Session.h"
#include "TelephoneFiles.h"

namespace vocaset {

// The texts of the explanation and the dry run (messages M400 to M429) in the session's language,
// each looked up once: a run of many telephones pays for one lookup per text, not per line.
class InsightTexts
{
public:
    explicit InsightTexts(Session& s) : m_s(s) {}
    // The stored text of the code, else the English given; "%1", "%2"... take the arguments in one
    // pass, so an argument holding "%2" stays as it is.
    QString text(const char* code, const char* english, const QStringList& args = {});

private:
    Session& m_s;
    QHash<QString, QString> m_cache;
};

// A value as the explanation and the dry run print it: quoted, control characters escaped, or the
// mask for a secret.
QString shownValue(const QString& value, bool secret, bool showSecrets);

// One parameter of a telephone's explanation.
struct ParamExplanation
{
    QString code;
    QString description;
    QString catalogueLevel;       // LE_CODE of the model's catalogue; empty when the code is not in it
    std::optional<QString> value; // what the file gets; nothing when no value is written
    QChar level{};                // the level that gave the value
    QString rawValue;             // the value as stored, when it held place-holders
    QString note;                 // why there is no value, or what the writer does to it
    QStringList problems;         // the run's messages over this parameter: it refuses the telephone
    bool secret = false;
};

// Where each value of a telephone's file comes from, and what would keep the run from writing it.
struct TelephoneExplanation
{
    TelephoneFiles files; // the telephone's turn at the levels chosen, as the run makes it
    QString module;       // the model's writer module
    LevelChoice levels;
    // Every parameter of the model's catalogue and every value stored for the telephone, in the
    // order of the configuration file (descending codes for GXP2000, ascending otherwise).
    QList<ParamExplanation> params;
    // The run's messages that concern the whole telephone (its MAC, its file, its model).
    QStringList problems;

    bool found() const { return files.status != FilesStatus::NotFound; }
    // True when the run would write no file for the telephone because of an error.
    bool refused() const;
    int withValue() const;
};

// The explanation of one telephone at the levels chosen. Reads as the run reads; writes nothing.
TelephoneExplanation explainTelephone(Session& s, const QString& company, const QString& phone,
                                      const LevelChoice& levels);

// The line naming the telephone, its model, the levels and its file; one parameter as a line of
// text; and the closing line of an explanation.
QString explanationHeading(InsightTexts& t, const TelephoneExplanation& e);
QString explanationLine(InsightTexts& t, const ParamExplanation& p, bool showSecrets);
QString explanationSummary(InsightTexts& t, const TelephoneExplanation& e);
// The parameter's note and problems in one text.
QString explanationNote(const ParamExplanation& p);

} // namespace vocaset
