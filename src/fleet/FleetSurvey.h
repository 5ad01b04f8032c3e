#pragma once

#include <functional>
#include <optional>

#include <QList>
#include <QString>

#include "Database.h"

namespace vocaset {

// Whether a telephone holds the file the server would send it now.
enum class FleetState {
    Current, // the last file served to it carries the tag of the file as it would be built now
    Stale,   // it was served a file, and the values changed since (or it would be served none now)
    Never    // no fetch of it is recorded
};
QString stateName(FleetState state); // "current", "stale", "never"
std::optional<FleetState> stateFromName(const QString& name);

struct FleetPhone
{
    QString company;
    QString code;
    QString model;
    QString description;
    QString mac;
    FleetState state = FleetState::Never;
    QString fetchedAt; // the last fetch (UTC), the client it came from and its User-Agent; empty when never
    QString client;
    QString userAgent;
    // Taken from the User-Agent by the model's $$UAFIRMWARE setting (a regular expression, its one
    // capture group the version); empty without a fetch, a setting or a match.
    QString firmware;
    // The last refused request of it (UTC) and why (a reason name of the server's record); empty when
    // none is recorded.
    QString refusedAt;
    QString refusal;
    // Its last request was refused: the refusal came after the last fetch.
    bool lastRefused() const { return !refusedAt.isEmpty() && refusedAt > fetchedAt; }
};

// A refusal's reason as the listing says it ("wrong Digest answer"); the reason name itself when
// unknown.
QString refusalText(const QString& reason);

// Version order: runs of digits compare as numbers (1.9 before 1.10), the rest as text; an unknown
// (empty) firmware comes first.
bool firmwareBefore(const QString& a, const QString& b);

struct FleetFilter
{
    QString company; // empty: every company
    QString model;   // empty: every model
};

struct FleetCounts
{
    int current = 0;
    int stale = 0;
    int never = 0;
};
FleetCounts countStates(const QList<FleetPhone>& phones);
// "N current, N stale, N never"
QString summaryLine(const FleetCounts& counts);

// Lists the telephones with their state. The file each fetched telephone would be served now is
// built by the server's own file source and its tag by the server's own function: the list cannot
// disagree with what the server sends. The whole survey reads one state of the database, files
// included, so a change committed meanwhile (a rename) is in every line or in none.
class FleetSurvey final
{
public:
    // db: the connection that reads the telephones, their fetches and their files.
    FleetSurvey(Database& db, QString language);
    Q_DISABLE_COPY_MOVE(FleetSurvey)

    // Telephones in company and code order. progress(done, total) is called as the files are
    // built, and with done 0 now and then while the telephones are read before; an exception it
    // throws ends the survey. Refused statements throw DbError.
    QList<FleetPhone> survey(const FleetFilter& filter, const std::function<void(int, int)>& progress = {});
    // After a survey: the telephones that share a MAC (the server serves neither), one line each, and
    // each listed model whose $$UAFIRMWARE setting is no regular expression with one capture group.
    const QStringList& notes() const { return m_notes; }

private:
    Database& m_db;
    QString m_language;
    QStringList m_notes;
};

} // namespace vocaset
