#include "DatabaseCreation.h"

#include <algorithm>

#include "BlockWriter.h"
#include "ModelTemplates.h"
#include "Schema.h"
#include "Sql.h"
#include "UiYield.h"

namespace vocaset {

namespace {

// INSERT INTO T VALUES('a', 'b', ''): every value quoted, a null as an empty text, except where
// nullKept says the column keeps its null.
QString insertStatement(const QString& table, const Recordset& rs, const QList<bool>& nullKept)
{
    QString statement = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" VALUES(");
    for (int i = 0; i < rs.fieldCount(); ++i) {
        if (i > 0)
            statement += QStringLiteral(", ");
        if (rs.isNull(i) && nullKept.value(i))
            statement += QStringLiteral("NULL");
        else
            statement += u'\'' + sqlText(rs.text(i)) + u'\'';
    }
    return statement + u')';
}

} // namespace

int CopyTable(Database& source, Database& target, const QString& table, RunLog& log)
{
    Recordset rs = source.execute(QStringLiteral("SELECT * FROM ") + table);
    const QStringList keyColumns = target.foreignKeyColumns(table);
    QList<bool> inForeignKey;
    for (int i = 0; i < rs.fieldCount(); ++i)
        inForeignKey.append(keyColumns.contains(rs.fieldName(i).toUpper()));
    const int total = rs.count();
    int done = 0;
    // The rows go in blocks; a block the target refuses is sent again row by row, as quoted texts.
    BlockWriter blocks(target);
    const BlockWriter::Kind kind = blocks.kind(BlockShape::insert(table, BlockShape::placeHolders(rs.fieldCount())));
    for (; !rs.eof(); rs.moveNext()) {
        QVariantList values;
        bool nullKey = false;
        for (int i = 0; i < rs.fieldCount(); ++i) {
            values.append(rs.isNull(i) ? QStringLiteral("") : rs.text(i));
            nullKey = nullKey || (inForeignKey[i] && rs.isNull(i));
        }
        // A null in a foreign-key column (a telephone without a model) stays null when the empty
        // text names no row there: the copy would otherwise break the key and stop.
        const QString keptNull = nullKey ? insertStatement(table, rs, inForeignKey) : QString();
        blocks.add(kind, values, {insertStatement(table, rs, {}), {}},
                   [&target, keptNull, &log, &done, total](const DbError* refusal) {
                       if (refusal && keptNull.isEmpty())
                           throw *refusal;
                       if (refusal)
                           target.execute(keptNull);
                       log.progress(++done, total);
                   });
        giveUiTurn();
    }
    blocks.flush();
    return done;
}

bool holdsSchemaTables(Database& db)
{
    const QStringList& tables = Schema::copyOrder();
    return std::any_of(tables.begin(), tables.end(), [&](const QString& t) { return db.columns(t).count() > 0; });
}

CreationOutcome createDatabase(Session& s, const QString& sourceConnection, RunLog& log)
{
    if (sourceConnection.isEmpty()) {
        s.op.showMessage(QStringLiteral("DATABASE CREATION\r\nOriginal Database Not Specified : see Manual (ParamDB.txt )"));
        return CreationOutcome::SourceNotSpecified;
    }
    // The source first: a source that cannot be opened or has another version leaves the working
    // database untouched. It is only read, so a mistyped file name is not created.
    Database source;
    try {
        source.open(sourceConnection, Database::Access::ReadOnly);
    } catch (const DbError&) {
        s.op.showMessage(QStringLiteral("Open Original Database Failed : ") + ConnectionString::masked(sourceConnection));
        return CreationOutcome::SourceOpenFailed;
    }
    QString version;
    try {
        const Recordset rs =
            source.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$BASEVER'"));
        version = rs.eof() ? QString() : rs.text(0);
    } catch (const DbError&) {
        // No settings table: no version record either.
    }
    if (version != s.programVersion) {
        s.op.showMessage(QStringLiteral("The Original Database MUST be Version : ") + s.programVersion +
                         QStringLiteral("\r\nRun this program version on the old database to convert"));
        return CreationOutcome::WrongSourceVersion;
    }
    if (holdsSchemaTables(s.db)) {
        s.op.showMessage(kIncompleteDatabase);
        return CreationOutcome::WorkingIncomplete;
    }
    // Tables and rows in one transaction: a creation that does not finish (a refused row, the
    // process killed) leaves the working database empty, to be created at the next start.
    Transaction tx(s.db);
    for (const QString& statement : Schema::createStatements())
        s.db.execute(statement);
    for (const QString& table : Schema::copyOrder()) {
        const int rows = CopyTable(source, s.db, table, log);
        log.append(table + QStringLiteral(": ") + QString::number(rows));
    }
    // The template models' templates, outside the schema, come along when the source has them.
    if (ModelTemplates::exists(source)) {
        ModelTemplates::ensureTable(s.db);
        const QString table = QLatin1String(kTemplatesTable);
        log.append(table + QStringLiteral(": ") + QString::number(CopyTable(source, s.db, table, log)));
    }
    for (const QString& statement : Schema::indexStatements())
        s.db.execute(statement);
    tx.commit();
    s.op.showMessage(QStringLiteral("DATABASE CREATED --> RUN PROGRAM AGAIN"));
    return CreationOutcome::Created;
}

} // namespace vocaset
