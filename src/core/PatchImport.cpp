#include "PatchImport.h"

#include <QFile>
#include <QFileInfo>

#include "Schema.h"
#include "Sql.h"
#include "TextFile.h"
#include "UiYield.h"

namespace vocaset {
namespace {

// A patch may fill the tables of the schema only, never another table the account can reach
// (on the server, the catalogue's own).
bool isSchemaTable(const QString& name)
{
    static const QStringList tables = [] {
        QStringList names = Schema::copyOrder();
        names.append(QStringLiteral("EQ_TEMP"));
        return names;
    }();
    return tables.contains(name, Qt::CaseInsensitive);
}

// Reads the whole file once without applying anything, so an overlong line refuses the file before
// its first row is inserted.
std::optional<QString> overlongLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return path + QStringLiteral(": ") + file.errorString();
    LineReader lines(file, kMaxPatchLine);
    QByteArray line;
    for (;;) {
        switch (lines.next(line)) {
        case LineReader::Status::Line:
            continue;
        case LineReader::Status::End:
            return std::nullopt;
        case LineReader::Status::TooLong:
            return path + QStringLiteral(": line ") + QString::number(lines.lineNumber()) +
                   QStringLiteral(" is longer than 1 MiB; nothing applied");
        case LineReader::Status::Failed:
            return path + QStringLiteral(": ") + file.errorString();
        }
    }
}

} // namespace

QString patchArchivePath(const QString& path, const QString& version)
{
    return QFileInfo(path).absolutePath() + QStringLiteral("/vocaset_") + version + QStringLiteral(".csv");
}

std::optional<QString> patchFileProblem(const QString& path, const QString& version)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("No such patch file: ") + path;
    if (!info.isFile())
        return path + QStringLiteral(" is not a plain file");
    // Archiving would write the file over itself and then delete it.
    if (info.canonicalFilePath() == QFileInfo(patchArchivePath(path, version)).canonicalFilePath())
        return QStringLiteral("The patch file ") + path +
               QStringLiteral(" has the name of its own archive; rename it before applying it");
    return std::nullopt;
}

PatchReport importDataPatch(Session& s, const QString& path, RunLog& log)
{
    PatchReport report;
    if (!QFileInfo::exists(path))
        return report;
    report.fileFound = true;
    report.archivePath = patchArchivePath(path, s.programVersion);
    std::optional<QString> problem = patchFileProblem(path, s.programVersion);
    if (!problem)
        problem = overlongLine(path);
    QFile file(path);
    if (!problem && !file.open(QIODevice::ReadOnly))
        problem = path + QStringLiteral(": ") + file.errorString();
    if (problem) {
        report.refused = true;
        s.op.showMessage(QStringLiteral("Error : ") + *problem);
        return report;
    }

    const QString versionTag = u'V' + s.programVersion;
    LineReader lines(file, kMaxPatchLine);
    QByteArray bytes;
    LineReader::Status status;
    while ((status = lines.next(bytes)) == LineReader::Status::Line) {
        const QStringList fields = fromCp1252(bytes).split(u';');
        const QString& tag = fields[0];
        if (tag != u"All" && tag != versionTag)
            continue;
        const QString table = fields.value(1);
        QString statement = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" VALUES('");
        try {
            // A table name from the file reaches the statement only as a table of the schema.
            const int n = isSchemaTable(table) && isPlainIdentifier(table) ? s.db.columns(table).count() : 0;
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
    if (status != LineReader::Status::End) {
        // The file changed or could not be read to its end: it stays to be applied again.
        s.op.showMessage(QStringLiteral("Error : ") + path + QStringLiteral(": not read to its end after line ") +
                         QString::number(lines.lineNumber()) + QStringLiteral("; ") + file.errorString());
        return report;
    }
    file.close();

    // The patch goes only once its archive is on disk, name included: whatever happens, one of the
    // two holds the text.
    QString error;
    if (!copyFileAtomically(path, report.archivePath, &error) ||
        !syncFolder(QFileInfo(report.archivePath).absolutePath(), &error)) {
        s.op.showMessage(QStringLiteral("Error : ") + error + QStringLiteral("; the patch file stays"));
        return report;
    }
    if (!file.remove()) {
        s.op.showMessage(QStringLiteral("Error : ") + path + QStringLiteral(": ") + file.errorString());
        return report;
    }
    report.archived = true;
    return report;
}

} // namespace vocaset
