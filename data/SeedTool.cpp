// Builds the source database: the schema, then every seed script in the order given. In the scripts
// @OUTDIR@ stands for the output root, whose company and model folders are created here, as are the
// folders that relative settings name below it.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include "Database.h"
#include "FolderSetting.h"
#include "ModelTemplates.h"
#include "Schema.h"
#include "TextFile.h"

using namespace vocaset;

namespace {

// Statements end with ';' at the end of a line; lines starting with "--" are comments.
QStringList statementsOf(const QString& script)
{
    QStringList out;
    QString current;
    for (const QString& line : splitLines(script)) {
        if (line.trimmed().startsWith(QLatin1String("--")) || (current.isEmpty() && line.trimmed().isEmpty()))
            continue;
        current += (current.isEmpty() ? QString() : QStringLiteral("\n")) + line;
        if (line.trimmed().endsWith(u';')) {
            current = current.trimmed();
            current.chop(1);
            out.append(current);
            current.clear();
        }
    }
    return out;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        err << "usage: vocaset-seed DATABASE OUTPUT_ROOT SCRIPT..." << Qt::endl;
        return 2;
    }
    const QString target = args[1];
    const QString outputRoot = QDir(args[2]).absolutePath();
    QFile::remove(target);
    QFile::remove(target + QStringLiteral("-wal"));
    QFile::remove(target + QStringLiteral("-shm"));
    const QString scratch = target + QStringLiteral(".new");
    QFile::remove(scratch);
    try {
        Database db;
        db.open(QStringLiteral("Provider=SQLite;Data Source=") + scratch);
        Transaction tx(db);
        for (const QString& statement : Schema::createStatements())
            db.execute(statement);
        // The demo's template models keep their templates in the table that owns them.
        ModelTemplates::ensureTable(db);
        for (int i = 3; i < args.size(); ++i) {
            QFile file(args[i]);
            if (!file.open(QIODevice::ReadOnly)) {
                err << "cannot read " << args[i] << Qt::endl;
                return 1;
            }
            QString script = QString::fromUtf8(file.readAll());
            script.replace(QLatin1String("@OUTDIR@"), outputRoot);
            for (const QString& statement : statementsOf(script)) {
                try {
                    db.execute(statement);
                } catch (const DbError& e) {
                    err << args[i] << ": " << e.text() << "\n  in: " << statement << Qt::endl;
                    return 1;
                }
            }
        }
        // Every folder a setting names under the output root exists after the set-up. Relative folders
        // are the program's, which is the database's folder.
        const QString appDir = QFileInfo(target).absolutePath();
        const Recordset folders = db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE LIKE '$$%'"));
        for (const QVariantList& row : folders.rows()) {
            const QString folder = resolveFolderSetting(row[0].toString(), appDir);
            if (folder.startsWith(outputRoot + u'/') && !folder.contains(QLatin1String("$$")))
                QDir().mkpath(folder);
        }
        tx.commit();
        db.execute(QStringLiteral("PRAGMA journal_mode = DELETE"));
        db.close();
    } catch (const DbError& e) {
        err << e.text() << Qt::endl;
        return 1;
    }
    if (!QFile::rename(scratch, target)) {
        err << "cannot rename " << scratch << Qt::endl;
        return 1;
    }
    return 0;
}
