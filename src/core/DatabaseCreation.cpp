#include "DatabaseCreation.h"

#include "Schema.h"
#include "Sql.h"
#include "UiYield.h"

namespace vocaset {

int CopyTable(Database& source, Database& target, const QString& table, RunLog& log)
{
    Recordset rs = source.execute(QStringLiteral("SELECT * FROM ") + table);
    const int total = rs.count();
    int done = 0;
    for (; !rs.eof(); rs.moveNext()) {
        QString statement = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" VALUES('");
        for (int i = 0; i < rs.fieldCount(); ++i) {
            if (!rs.isNull(i))
                statement += sqlText(rs.text(i));
            statement += QStringLiteral("', '");
        }
        statement.chop(3);
        statement += u')';
        target.execute(statement);
        log.progress(++done, total);
        giveUiTurn();
    }
    return done;
}

CreationOutcome createDatabase(Session& s, const QString& sourceConnection, RunLog& log)
{
    if (sourceConnection.isEmpty()) {
        s.op.showMessage(QStringLiteral("DATABASE CREATION\r\nOriginal Database Not Specified : see Manual (ParamDB.txt )"));
        return CreationOutcome::SourceNotSpecified;
    }
    for (const QString& statement : Schema::createStatements())
        s.db.execute(statement);

    Database source;
    try {
        source.open(sourceConnection);
    } catch (const DbError&) {
        s.op.showMessage(QStringLiteral("Open Original Database Failed : ") + ConnectionString::masked(sourceConnection));
        return CreationOutcome::SourceOpenFailed;
    }
    const Recordset version =
        source.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$BASEVER'"));
    if (version.eof() || version.text(0) != s.programVersion) {
        s.op.showMessage(QStringLiteral("The Original Database MUST be Version : ") + s.programVersion +
                         QStringLiteral("\r\nRun this program version on the old database to convert"));
        return CreationOutcome::WrongSourceVersion;
    }
    // One transaction for the whole copy: much faster than a commit per row, and a refused row
    // leaves the tables empty rather than half filled.
    Transaction tx(s.db);
    for (const QString& table : Schema::copyOrder()) {
        const int rows = CopyTable(source, s.db, table, log);
        log.append(table + QStringLiteral(": ") + QString::number(rows));
    }
    tx.commit();
    s.op.showMessage(QStringLiteral("DATABASE CREATED --> RUN PROGRAM AGAIN"));
    return CreationOutcome::Created;
}

} // namespace vocaset
