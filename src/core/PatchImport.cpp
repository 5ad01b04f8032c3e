#include "PatchImport.h"

#include <QFile>
#include <QFileInfo>

#include "Sql.h"
#include "TextFile.h"
#include "UiYield.h"

namespace vocaset {

PatchReport importDataPatch(Session& s, const QString& path, RunLog& log)
{
    PatchReport report;
    QFile file(path);
    if (!file.exists())
        return report;
    report.fileFound = true;
    if (!file.open(QIODevice::ReadOnly)) {
        s.op.showMessage(QStringLiteral("Error : ") + path + QStringLiteral(" ") + file.errorString());
        return report;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    const QString versionTag = u'V' + s.programVersion;
    for (const QString& line : splitLines(fromCp1252(bytes))) {
        const QStringList fields = line.split(u';');
        const QString& tag = fields[0];
        if (tag != u"All" && tag != versionTag)
            continue;
        const QString table = fields.value(1);
        QString statement = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" VALUES('");
        try {
            // A table name from the file reaches the statement only as a plain identifier.
            const int n = isPlainIdentifier(table) ? s.db.columns(table).count() : 0;
            if (n == 0)
                throw DbError(QStringLiteral("no such table: ") + table);
            if (fields.size() < n + 2)
                throw DbError(QStringLiteral("the line has ") + QString::number(fields.size() - 2) +
                              QStringLiteral(" values for ") + QString::number(n) + QStringLiteral(" columns"));
            for (int i = 2; i < n + 2; ++i)
                statement += sqlText(fields[i]) + QStringLiteral("', '");
            statement.chop(3);
            statement += u')';
            s.db.execute(statement);
            ++report.applied;
        } catch (const DbError& e) {
            ++report.failed;
            const QString text = QStringLiteral("Error : ") + statement + u' ' + e.text();
            log.append(text);
            if (tag == versionTag) {
                ++report.reported;
                s.op.showMessage(text);
            }
        }
        giveUiTurn();
    }

    const QFileInfo info(path);
    report.archivePath = info.absolutePath() + QStringLiteral("/vocaset_") + s.programVersion + QStringLiteral(".csv");
    QString error;
    if (!writeFileAtomically(report.archivePath, bytes, &error) || !QFile::remove(path))
        s.op.showMessage(QStringLiteral("Error : ") + (error.isEmpty() ? path : error));
    return report;
}

} // namespace vocaset
