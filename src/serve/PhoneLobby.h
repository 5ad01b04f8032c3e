#pragma once

#include <map>
#include <optional>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "Session.h"

namespace vocaset {

class Database;

// A request for a telephone-shaped file name whose MAC no telephone has: one step of a new
// telephone's way in.
struct Arrival
{
    QString mac;   // upper case
    QString file;  // the name asked for
    QString module; // the writer module the name is of
    QString model{}; // the template model whose pattern the name is, when it is one
    QString at;    // UTC, yyyy-MM-ddTHH:mm:ss.zzzZ
    QString client;
    QString userAgent;
    int count = 1; // requests of it since the last write
};

// The makers of network devices by the first three bytes of their MAC, read from the IEEE
// registry's text form (Debian's ieee-data). A missing or unreadable file leaves every maker empty.
class MakerRegistry final
{
public:
    static QString defaultPath() { return QStringLiteral("/usr/share/ieee-data/oui.txt"); }
    explicit MakerRegistry(const QString& path = defaultPath());
    QString makerOf(const QString& mac) const;
    qsizetype size() const { return m_makers.size(); }

private:
    QHash<QString, QString> m_makers; // "000B82" -> "Grandstream Networks, Inc."
};

// Keeps a flood of random MACs from growing the lobby without end: at most one new MAC per client
// address per second, and no more waiting than the lobby holds. Not thread-safe: the recorder calls
// it under its lock.
class ArrivalGate final
{
public:
    static constexpr int kCap = 10000;
    // Whether the arrival is kept; known: the MACs the lobby holds already (updates always pass).
    bool admit(const Arrival& a, const std::map<QString, Arrival>& waiting, const QHash<QString, bool>& known);

private:
    QString m_second;               // the second the entries below are of
    QHash<QString, bool> m_newFrom; // clients that brought a new MAC in that second
};

// The table of telephones that asked for a file before any telephone had their MAC. It lies outside
// the schema, like the fetches: the server creates it when missing.
namespace LobbyTable {
inline constexpr char kName[] = "PHONE_LOBBY";
// Creates the table when missing; a line for the log when it could not.
QString prepare(Database& db);
bool exists(Database& db);
// The MACs it holds, for the gate.
QHash<QString, bool> macs(Database& db);
// Adds or updates the arrivals, with their maker and their guessed model, then keeps the newest
// kCap rows; one transaction. Throws DbError.
void write(Database& db, const std::map<QString, Arrival>& arrivals, const MakerRegistry& makers);

struct Row
{
    QString mac, file, first, last;
    int count = 0;
    QString client, agent, maker, model;
};
// Newest first.
QList<Row> rows(Database& db);
} // namespace LobbyTable

// Turns lobby rows into telephones: all of them in one transaction, recorded in the change history,
// or none when any MAC is refused. A code or MAC another operator took since the plan throws
// OperatorConflict, with nothing kept.
struct ClaimRequest
{
    QStringList macs;
    QString company;
    QString model;       // empty: each row's guessed model
    QString code;        // the first code, the others the free ones after it; empty: the lowest free codes
    QString description; // empty: the maker and the MAC
    bool dryRun = false;
    QString source = QStringLiteral("lobby claim"); // as the change history names what made them
};
struct ClaimOutcome
{
    QStringList created; // "ALPIN/5012 GXP2000 000B82123456" per telephone
    QStringList refused; // one line per refused MAC, naming it and why
};
ClaimOutcome claimArrivals(Session& s, const ClaimRequest& request);
// Removes the rows of these MACs; the number removed.
int forgetArrivals(Database& db, const QStringList& macs);

// Claims new telephones as they arrive, for the companies whose $$AUTOCLAIM row lists their guessed
// model and whose $$PROVNETS holds the address they asked from (see ProvisioningNetworks.h). Runs on
// the recorder's thread after the arrivals are in the lobby: a claimed telephone is served from its
// next request on, and its answer now stays the unknown MAC's. The history names the server as the
// user, "auto claim" as the source.
class AutoClaimer final
{
public:
    static constexpr char kUser[] = "SERVER";
    static constexpr char kSource[] = "auto claim";
    // Returns lines for the log: each telephone claimed; an arrival that fits several companies, or
    // whose claim is refused; a company's daily count reached (once a day). Throws DbError.
    QStringList claim(Database& db, const std::map<QString, Arrival>& arrivals);

private:
    QHash<QString, bool> m_capNoted; // company + day
};

} // namespace vocaset
