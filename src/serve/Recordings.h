#pragma once

#include <QDateTime>
#include <QString>

namespace vocaset {

class Database;

// What the server's recordings (fetches, the lobby of new telephones) share: their time form, their
// header values as columns keep them, and their tables, which lie outside the schema.

// A time as the recordings keep it: UTC, yyyy-MM-ddTHH:mm:ss.zzzZ, so that text order is time order.
QString recordedTime(const QDateTime& t = QDateTime::currentDateTimeUtc());

// A header value as a column keeps it: control characters become '?', and it is cut to the width.
QString storable(const QString& text, int width);

// Creates a recording table when missing (create: its CREATE TABLE IF NOT EXISTS statement) and
// checks that the account may write it. Returns a line for the log when it cannot, ending with what
// that costs; empty when the table is ready.
QString prepareRecordingTable(Database& db, const char* name, const QString& create, const QString& cost);

// Why a telephone's request was refused, as PHONE_REFUSALS keeps it. The telephone is never told:
// its answer is what it would be without the record.
namespace Refusal {
inline constexpr char kDigest[] = "digest";     // a wrong Digest answer
inline constexpr char kLocked[] = "locked";     // its address was locked out
inline constexpr char kNetwork[] = "network";   // from outside its company's networks
inline constexpr char kValue[] = "value";       // a value its file cannot carry
inline constexpr char kFile[] = "file";         // its file could not be made otherwise
inline constexpr char kDatabase[] = "database"; // the database did not answer in time
} // namespace Refusal

} // namespace vocaset
