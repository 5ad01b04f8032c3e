#include "PatchImport.h"

#include <map>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include "BlockWriter.h"
#include "ChangeHistory.h"
#include "ColumnWidths.h"
#include "Messages.h"
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

// Checks every line before the first row is applied, so an overlong line refuses the whole file.
// Counts the lines, for the progress shown.
std::optional<QString> overlongLine(const QByteArray& bytes, const QString& path, qsizetype& count)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader lines(buffer, kMaxPatchLine);
    QByteArray line;
    LineReader::Status status;
    while ((status = lines.next(line)) == LineReader::Status::Line) {
    }
    count = lines.lineNumber();
    if (status == LineReader::Status::TooLong)
        return path + QStringLiteral(": line ") + QString::number(lines.lineNumber()) +
               QStringLiteral(" is longer than 1 MiB; nothing applied");
    return std::nullopt;
}

// What a line needs of the table it names, read once per table.
struct PatchTable
{
    QStringList columns;
    ColumnWidths widths;
    int keyCount = 0; // the schema's tables have their key columns first
};

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
    QString error;
    if (!isReadableInput(path, kMaxPatchBytes, &error))
        return error;
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
    // The text is read once: what is applied is what is archived, whatever happens to the file.
    std::optional<QString> problem = patchFileProblem(path, s.programVersion);
    std::optional<QByteArray> content;
    QString error;
    if (!problem && !(content = readInputFile(path, kMaxPatchBytes, &error)))
        problem = error;
    qsizetype total = 0;
    if (!problem)
        problem = overlongLine(*content, path, total);
    if (problem) {
        report.refused = true;
        s.op.showMessage(QStringLiteral("Error : ") + *problem);
        return report;
    }

    const QString versionTag = u'V' + s.programVersion;
    std::map<QString, PatchTable> tables;
    QBuffer buffer(&*content);
    buffer.open(QIODevice::ReadOnly);
    LineReader lines(buffer, kMaxPatchLine);
    QByteArray bytes;
    // One transaction: a run that does not end (a full disk, the process killed) applies nothing,
    // and the file stays to be applied again. A refused line undoes only its own row. The lines of
    // a table go in blocks of rows, in the order of the file.
    Transaction transaction(s.db);
    BlockWriter blocks(s.db);
    ChangeRecorder history(s, QStringLiteral("patch"));
    history.useBlocks(&blocks);
    std::map<QString, BlockWriter::Kind> kinds;
    log.progress(0, int(total));
    while (lines.next(bytes) == LineReader::Status::Line) {
        const QStringList fields = fromCp1252(bytes).split(u';');
        const QString& tag = fields[0];
        if (tag != u"All" && tag != versionTag)
            continue;
        const QString table = fields.value(1);
        QString statement = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" VALUES('");
        // Logged in the line's place: shown too for a line of this version.
        const auto refused = [&s, &log, &report, shown = tag == versionTag](const QString& sql, const QString& reason) {
            ++report.failed;
            const QString text = QStringLiteral("Error : ") + sql + u' ' + reason;
            log.append(text);
            if (shown) {
                ++report.reported;
                s.op.showMessage(text);
            }
        };
        const int line = int(lines.lineNumber());
        try {
            // A table name from the file reaches the statement only as a table of the schema.
            auto known = tables.find(table);
            if (known == tables.end() && isSchemaTable(table) && isPlainIdentifier(table)) {
                QStringList columns;
                for (Recordset rs = s.db.columns(table); !rs.eof(); rs.moveNext())
                    columns.append(rs.text(0));
                known = tables
                            .emplace(table, PatchTable{columns, ColumnWidths(s.db, table),
                                                       int(s.db.primaryKeys(table).count())})
                            .first;
            }
            const qsizetype n = known == tables.end() ? 0 : known->second.columns.size();
            if (n == 0)
                throw DbError(QStringLiteral("no such table: ") + table);
            if (fields.size() < n + 2)
                throw DbError(QStringLiteral("the line has ") + countOf(fields.size() - 2, "value", "values") +
                              QStringLiteral(" for ") + countOf(n, "column", "columns"));
            QVariantList values;
            for (qsizetype i = 2; i < n + 2; ++i) {
                statement += sqlText(fields[i]) + QStringLiteral("', '");
                values.append(fields[i]);
            }
            statement.chop(3);
            statement += u')';
            for (qsizetype i = 0; i < n; ++i) {
                if (const auto tooLong = known->second.widths.refusal(s, known->second.columns[i], fields[i + 2]))
                    throw DbError(*tooLong);
            }
            auto kind = kinds.find(table);
            if (kind == kinds.end())
                kind = kinds.emplace(table, blocks.kind(BlockShape::insert(table, BlockShape::placeHolders(int(n)))))
                           .first;
            blocks.add(kind->second, values, {statement, {}},
                       [&report, &history, refused, statement, table, row = fields.mid(2, n),
                        patch = &known->second](const DbError* refusal) {
                           if (refusal) {
                               refused(statement, refusal->text());
                               return;
                           }
                           ++report.applied;
                           history.added(table, patch->columns, row, patch->keyCount);
                       });
        } catch (const TransactionLost&) {
            throw;
        } catch (const DbError& e) {
            blocks.then([refused, statement, reason = e.text()] { refused(statement, reason); });
        }
        blocks.then([&log, line, total] { log.progress(line, int(total)); });
        giveUiTurn();
    }
    blocks.flush();
    transaction.commit();
    blocks.refreshStatistics();

    // The patch goes only once its archive is on disk, name included: whatever happens, one of the
    // two holds the text.
    if (!writeFileAtomically(report.archivePath, *content, &error) ||
        !syncFolder(QFileInfo(report.archivePath).absolutePath(), &error)) {
        s.op.showMessage(QStringLiteral("Error : ") + error + QStringLiteral("; the patch file stays"));
        return report;
    }
    QFile file(path);
    if (!file.remove()) {
        s.op.showMessage(QStringLiteral("Error : ") + path + QStringLiteral(": ") + file.errorString());
        return report;
    }
    report.archived = true;
    return report;
}

} // namespace vocaset
