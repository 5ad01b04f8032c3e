#include "ConfigCommands.h"

#include <QCommandLineParser>

#include "DbError.h"
#include "EditorAccess.h"
#include "EditorMessages.h"
#include "RecordChecks.h"
#include "RecordForm.h"
#include "RecordList.h"
#include "TextFile.h"

namespace vocaset::cli {
namespace {

const char* const kNames[] = {"config list", "config set", "config add", "config delete"};
const char* const kSummaries[] = {
    "print the records of an editor tab's table, tab-separated",
    "change the columns of one record of a table",
    "add a record to a table",
    "delete one record of a table",
};
const char* const kUsages[] = {
    "TABLE [KEY=VALUE]...\n"
    "  KEY=VALUE  keep only the records whose key column KEY holds VALUE\n"
    "Prints a line of column names, then one line per record; the count goes to standard error.\n"
    "A protected tab takes its password from --password-file or the environment (vocaset-cli --help),\n"
    "else asks for it on a terminal.",
    "TABLE KEY=VALUE... COLUMN=VALUE...\n"
    "  Every key column names the record; the other columns take their new values, a drop-down's\n"
    "  value by its code. Keys are not changed here (see rename). Exit 1 when the record is missing or refused.",
    "TABLE COLUMN=VALUE...\n"
    "  Columns not given stay empty; every key and every drop-down needs a value. Exit 1 when refused.",
    "TABLE KEY=VALUE...\n"
    "  Every key column names the record. Exit 1 when the record is missing or still referenced.",
};

// TABLE and COLUMN=VALUE arguments: everything that is not an option.
qsizetype countPositionals(const QStringList& arguments)
{
    return std::count_if(arguments.begin(), arguments.end(),
                         [](const QString& a) { return !a.startsWith(QLatin1String("--")); });
}

} // namespace

bool editorTabAllowed(CliContext& ctx, const QString& table)
{
    if (!ctx.allowed(QStringLiteral("Config")))
        return false;
    const QList<EditorTab> tabs = loadTabs(*ctx.session);
    if (std::any_of(tabs.begin(), tabs.end(), [&](const EditorTab& t) { return t.table.toUpper() == table; }))
        return true;
    ctx.err << table << QStringLiteral(" is not one of your editor tabs") << Qt::endl;
    return false;
}

QString ConfigCommand::name() const
{
    return QLatin1String(kNames[m_verb]);
}

QString ConfigCommand::summary() const
{
    return QLatin1String(kSummaries[m_verb]);
}

int ConfigCommand::execute(CliContext& ctx, const QStringList& arguments)
{
    QCommandLineParser parser;
    const QString usage = QLatin1String(kUsages[m_verb]);
    if (const auto done =
            parseCommandLine(ctx, *this, parser, arguments, usage, std::max<qsizetype>(1, countPositionals(arguments))))
        return *done;
    QStringList words = parser.positionalArguments();
    const QString table = words.takeFirst().toUpper();
    QList<std::pair<QString, QString>> pairs;
    for (const QString& word : std::as_const(words)) {
        const qsizetype eq = word.indexOf(u'=');
        if (eq <= 0)
            return commandUsage(ctx, *this, usage, false);
        const QString column = word.left(eq).toUpper();
        // Taking the last of two values would save or list what the operator may not have meant.
        if (std::any_of(pairs.begin(), pairs.end(), [&](const auto& p) { return p.first == column; })) {
            ctx.err << column << QStringLiteral(" is given more than once") << Qt::endl;
            return Usage;
        }
        pairs.append({column, word.mid(eq + 1)});
    }

    if (const auto failed = ctx.start())
        return *failed;
    if (!editorTabAllowed(ctx, table))
        return RunFailed;
    Session& s = *ctx.session;
    try {
        const TabAccess access = decideAccess(s, table, [&] { return ctx.password(); });
        if (access.mode == AccessMode::False) {
            ctx.err << access.error << Qt::endl;
            return RunFailed;
        }
        const TableCatalogue cat = readCatalogue(s, table);
        FilterChoice keys(cat.keyCount());
        for (const auto& [column, value] : std::as_const(pairs)) {
            if (cat.columnIndex(column) < 0) {
                ctx.err << table << QStringLiteral(" has no column ") << column << Qt::endl;
                return Usage;
            }
            // A list and a deletion are chosen by key columns only: any other column would be ignored.
            if ((m_verb == List || m_verb == Delete) && !cat.isKey(column)) {
                ctx.err << column << QStringLiteral(" is not a key column of ") << table
                        << QStringLiteral("; records are chosen by their key columns") << Qt::endl;
                return Usage;
            }
            for (int i = 0; i < cat.keyCount(); ++i)
                if (cat.filters[i].column == column)
                    keys[i] = value;
        }

        if (m_verb == List) {
            QStringList names;
            for (const CatalogueColumn& c : cat.columns)
                names.append(c.name);
            ctx.out << names.join(u'\t') << Qt::endl;
            const ListedRecords listed = listRecords(s, cat, access.mode, keys);
            for (const QVariantList& row : listed.rows) {
                QStringList cells = cellTexts(row);
                // A tab or line break inside a value is shown escaped, so each record stays one line.
                for (QString& cell : cells)
                    cell = escapeControls(cell);
                ctx.out << cells.join(u'\t') << Qt::endl;
            }
            ctx.err << editorText(s, EditorText::RecordCount, QString::number(listed.rows.size())) << Qt::endl;
            return Ok;
        }

        RecordForm form(s, cat, access.mode);
        if (m_verb == Add) {
            if (!form.startNew()) {
                ctx.err << editorText(s, EditorText::NoPrimaryKey, table) << Qt::endl;
                return RunFailed;
            }
        } else {
            if (std::any_of(keys.begin(), keys.end(), [](const auto& k) { return !k.has_value(); })) {
                ctx.err << QStringLiteral("Name the record by every key column of ") << table << Qt::endl;
                return Usage;
            }
            const ListedRecords found = listRecords(s, cat, access.mode, keys);
            if (found.rows.isEmpty()) {
                ctx.err << QStringLiteral("No such record in ") << table << Qt::endl;
                return RunFailed;
            }
            const QStringList cells = cellTexts(found.rows.first());
            if (!(m_verb == Set ? form.startEdit(cells) : form.startDelete(cells)))
                return RunFailed;
        }
        if (m_verb != Delete) {
            // Columns in their order, so each drop-down is filled from the values before it.
            for (const EditRow& row : QList<EditRow>(form.rows())) {
                auto given =
                    std::find_if(pairs.begin(), pairs.end(), [&](const auto& p) { return p.first == row.column; });
                const int at = form.rowOf(row.column);
                // A text column left out of a new record is given empty, so the field after it opens.
                if (given == pairs.end()) {
                    if (m_verb == Add && row.textShown && !row.key)
                        form.setValue(at, QString());
                    continue;
                }
                if (m_verb == Set && row.key)
                    continue;
                if (!form.setValue(at, given->second)) {
                    if (const QString before = form.waitingFor(at); !before.isEmpty())
                        ctx.err << row.column << QStringLiteral(" can be given only once ") << before
                                << QStringLiteral(" is: give ") << before << QStringLiteral("=VALUE first") << Qt::endl;
                    else
                        ctx.err << given->second << QStringLiteral(" is not a value offered for ") << row.column
                                << Qt::endl;
                    return RunFailed;
                }
            }
            if (!form.okEnabled()) {
                ctx.err << QStringLiteral("Give a value to ") << form.missing().join(QStringLiteral(", "))
                        << QStringLiteral(" of ") << table << Qt::endl;
                return RunFailed;
            }
        }
        const QStringList values = recordValues(cat, form.rows());
        const SaveResult result = form.save();
        if (result.gone) {
            ctx.err << QStringLiteral("No such record in ") << table << Qt::endl;
            return RunFailed;
        }
        if (result.outcome == SaveResult::Refused || result.outcome == SaveResult::Failed) {
            ctx.err << result.message << Qt::endl;
            if (!result.detail.isEmpty())
                ctx.err << result.detail << Qt::endl;
            return RunFailed;
        }
        if (result.outcome == SaveResult::NothingToSave)
            ctx.err << QStringLiteral("Nothing changed") << Qt::endl;
        else
            ctx.err << (m_verb == Delete ? QStringLiteral("1 record deleted") : QStringLiteral("1 record saved"))
                    << Qt::endl;
        if (result.outcome == SaveResult::Saved && m_verb != Delete) {
            for (const QString& note : recordNotes(s, cat, values))
                ctx.err << note << Qt::endl;
        }
        return Ok;
    } catch (const DbError& e) {
        ctx.err << e.text() << Qt::endl;
        return DatabaseFailed;
    }
}

} // namespace vocaset::cli
