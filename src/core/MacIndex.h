#pragma once

#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

namespace vocaset {
class Database;
}

// A MAC names one telephone, whatever the case of its digits: the database keeps it so, on both
// engines, with a unique index over the upper-case MAC of every telephone that has one (an empty MAC
// is no MAC). A database that already holds two telephones with one MAC cannot take the index: those
// telephones are named instead, for the operator to mend.
namespace vocaset::MacIndex {

inline constexpr char kName[] = "UX_PHONES_MAC";

// Whether the database has the index.
bool exists(Database& db);

// The telephones sharing a MAC, in the server's words: "MAC 000B82E79E4A belongs to 2 telephones:
// ALPIN/201, OHARA/101". Only where the index is missing; none when it is there.
QStringList sharedMacs(Database& db);

// Makes the index when missing, in a transaction of its own and under a lock, so that two programs
// making it at once do not fail. Nothing when it is there; else the reason it could not be made (the
// telephones sharing a MAC, or the engine's refusal), a line for the log: the programs still check a
// MAC against the others before they write it, only another operator's write at the same moment is
// not kept out.
std::optional<QString> ensure(Database& db);

// Whether the engine's refusal of a statement is the index's: a MAC that another telephone has.
bool refusedBy(const QString& engineText);

// The company and code of the telephone other than company/phone that holds the MAC, whatever the
// case of its digits; nothing when there is none.
std::optional<QStringList> owner(Database& db, const QString& mac, const QString& company, const QString& phone);

} // namespace vocaset::MacIndex
