#pragma once

#include <functional>

#include <QString>
#include <QStringList>

struct sqlite3;

namespace vocaset {

enum class Engine { SQLite, PostgreSQL };

// Rewrites a statement text into what the engine accepts with the same effect. Only what an engine
// refuses or reads differently is touched; any other text passes through byte for byte.
namespace Dialect {

// Reads the CREATE TABLE text of a table as the engine stores it (SQLite's table rebuild needs it).
using TableSqlReader = std::function<QString(const QString& table)>;
// Reads the CREATE INDEX texts of a table's own indexes, which a rebuild makes again.
using IndexSqlReader = std::function<QStringList(const QString& table)>;

// The statements to send, in order, for one statement of the program.
QStringList translate(const QString& sql, Engine engine, const TableSqlReader& tableSql = {},
                      const IndexSqlReader& indexSql = {});
// The statement with each '?' place-holder outside literals numbered $1, $2, ... as the server's
// client library takes its parameters.
QString numberedParameters(const QString& sql);

// The single rewrites, exposed for their tests.
QString concatenation(const QString& sql);        // '+' touching a text literal becomes '||'
QString digitAliases(const QString& sql);         // an alias such as 0FLD is put in double quotes
QStringList splitMultiColumnAdd(const QString& sql);
QString postgresTypes(const QString& sql);        // nvarchar(n) -> varchar(n) COLLATE "C"
QString postgresLike(const QString& sql);         // a LIKE pattern holding a backslash gets ESCAPE ''
// SQLite cannot drop or add a constraint: the table is rebuilt from its stored CREATE text, and its
// indexes, dropped with it, are made again.
QStringList sqliteConstraintRebuild(const QString& sql, const TableSqlReader& tableSql,
                                    const IndexSqlReader& indexSql = {});

// Pieces for statements built from a column's type, so that they give the same rows on both
// engines. The server neither sums text nor applies LIKE to a number, averages integers as exact
// decimals, formats dates with its own function and sorts NULL last; SQLite needs none of it.
QString asNumber(const QString& expr, Engine engine); // CAST(expr AS double precision) on the server
QString asText(const QString& expr, Engine engine);   // CAST(expr AS varchar) on the server
QString dayText(const QString& expr, Engine engine);  // the date as its yyyy/mm/dd text
QString nullsFirst(Engine engine);                    // follows an ORDER BY item

// Several operators at once. What a writer appends to the SELECT that reads the rows it is about to
// change, before it compares or records anything: " FOR UPDATE" on the server, so another writer of
// those rows waits for this one to end; nothing on SQLite, whose write transaction, begun as a
// writer, keeps every other writer out already.
QString forUpdate(Engine engine);
// The statement, early in a write transaction, that holds off every other writer of the same name
// (its bound '?') until this transaction ends: for what no row lock can take, such as the records a
// bulk run of a company will add. Nothing on SQLite, for the same reason.
QString writerLock(Engine engine);
// How a run that only reads begins: it then reads one state of the database from its first
// statement to its last, whatever others commit meanwhile. A read-only transaction that keeps its
// first snapshot on the server; on SQLite a transaction, whose first read fixes the state it reads.
QString snapshotBegin(Engine engine);
// A SELECT giving a row when the database has an index of that name (a plain identifier).
QString indexLookup(const QString& name, Engine engine);

// Pieces of the change history's statements, which build a text per record of a bulk change. On
// SQLite they call functions of the connection (addSqliteFunctions) that do in one call what the
// engine's own functions do in several, each copying the text.
// A record's key: its values' texts, each '\' and '/' in them preceded by '\', joined by '/'; a null as empty.
QString recordKey(const QStringList& exprs, Engine engine);
// "NAME=value; NAME=value" of the names and their values' expressions, leaving out the names whose
// value is empty or null.
QString namedValues(const QStringList& names, const QStringList& exprs, Engine engine);
// The MD5 of a text's UTF-8 bytes in lower-case hexadecimal, a null as null.
QString md5Text(const QString& expr, Engine engine);
// Whether the server has the database check a Digest answer in the statement that finds the
// telephone, so that its values come in the same round trip: on a database server only; SQLite,
// read in the process, costs less reading them after the check than hashing in the statement.
bool checksDigestInStatement(Engine engine);
// Adds those functions to an open SQLite connection; false when the engine refuses them.
bool addSqliteFunctions(sqlite3* db);

// The statement that brings the planner's row counts of a table up to date after a bulk change, or
// nothing where the engine needs none: the server plans with the counts its background worker last
// took, so a table just filled or emptied is otherwise planned as it was (a scan per deleted row).
QString refreshStatistics(const QString& table, Engine engine);
// The statement that reads the row count of a table the planner last took (-1 when it never took
// one), where refreshStatistics gives a statement.
QString countedRows(const QString& table, Engine engine);
// The statement, for the start of a bulk write inside its transaction, that has the server run the
// queries of its foreign-key checks with the plan it keeps for them, until the transaction ends; or
// nothing. Left to choose, the server plans such a query afresh for each row whenever its kept plan
// looks dearer than one made for the values at hand, which is most of the time of deleting many
// codes (two key checks per code).
QString bulkWriteSetting(Engine engine);
// A scalar expression that takes a new value whenever another connection has committed a change to
// the counted tables, for a reader that keeps their rows between statements. SQLite's data_version
// counts every commit of another connection; the server counts with the row changeCounting keeps.
QString changeCount(Engine engine);
// The statements, for one transaction, that have the server count each statement that changes one
// of these tables, whoever sends it; none on SQLite. Sent again, they leave the count as it is.
QStringList changeCounting(const QStringList& tables, Engine engine);
// A SELECT whose one value is true when what changeCounting sets up for these tables is all there,
// so that a server's start sends none of it; nothing on SQLite.
QString changeCountingInPlace(const QStringList& tables, Engine engine);
// A SELECT whose one value is true when the connection's account may add and change rows of the
// table; nothing on SQLite, which has no rights of its own.
QString mayWrite(const QString& table, Engine engine);
// How many workers a server runs when not told: one per core on the file the process reads itself;
// four per core (at least eight) on a database server, where a worker spends most of a request
// waiting for its two round trips to come back.
int defaultServerWorkers(Engine engine, int cores);

// What a refused write met, read from the engine's code and text: a key another row already has, a
// reference to a row that is not there or from a row that still is; nothing for any other refusal.
// A bulk run that checked its rows under its lock meets either only through another operator.
enum class Conflict { None, KeyTaken, Reference };
Conflict conflictOf(const QString& code, const QString& text, Engine engine);

} // namespace Dialect
} // namespace vocaset
