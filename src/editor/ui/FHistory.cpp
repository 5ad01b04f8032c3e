#include "FHistory.h"

#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "ChangeHistory.h"
#include "Messages.h"
#include "TextFile.h"
#include "WindowConventions.h"

namespace vocaset {

FHistory::FHistory(Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window), m_s(session), m_record(new QLabel(this)), m_changes(new QTableWidget(this)),
      m_summary(new QLabel(this)), m_close(new QPushButton(QStringLiteral("Close"), this))
{
    setObjectName(QStringLiteral("FHistory"));
    setWindowTitle(QStringLiteral("History"));
    m_record->setObjectName(QStringLiteral("Record"));
    m_record->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_changes->setObjectName(QStringLiteral("Changes"));
    m_summary->setObjectName(QStringLiteral("Summary"));
    m_close->setObjectName(QStringLiteral("Close"));

    layOutRowsWindow(this, m_record, m_changes, m_summary, m_close);
    resize(900, 420);

    const char* columns[][2] = {{"FHISTORY_COL0", "Time (UTC)"}, {"FHISTORY_COL1", "User"},
                                {"FHISTORY_COL2", "Program"},    {"FHISTORY_COL3", "Operation"},
                                {"FHISTORY_COL4", "Column"},     {"FHISTORY_COL5", "Old value"},
                                {"FHISTORY_COL6", "New value"}};
    QStringList headers;
    guarded(m_s, [&] {
        applyCaptions(m_s, this);
        for (const auto& [key, english] : columns)
            headers.append(textOr(m_s, QLatin1String(key), QLatin1String(english)));
    });
    m_changes->setColumnCount(int(std::size(columns)));
    m_changes->setHorizontalHeaderLabels(headers);
    m_title = windowTitle();
}

void FHistory::showRecord(const QString& table, const QString& key)
{
    QList<HistoryEntry> entries;
    HistoryFilter filter;
    filter.table = table;
    filter.key = key;
    if (!guarded(m_s, [&] { entries = readHistory(m_s.db, filter); }))
        return;
    // The table by its tab's caption, the columns by theirs, the programs' words in the user's language.
    const QString record = textOr(m_s, QStringLiteral("FPARAMETERS_") + table.toUpper(), table) + u' ' + key;
    setWindowTitle(m_title + QStringLiteral(" - ") + record);
    m_record->setText(escapeControls(record));
    const auto word = [this](const char* kind, const QString& text) {
        QString key = QStringLiteral("FHISTORY_") + QLatin1String(kind) + text.toUpper();
        key.replace(u' ', u'_').replace(u'-', u'_');
        return textOr(m_s, key, text);
    };
    const QString madeBy = textOr(m_s, QStringLiteral("FHISTORY_MADEBY"), QStringLiteral("%1 %2"));
    QHash<QString, QString> columnCaptions;
    const auto columnCaption = [&](const QString& column) {
        auto it = columnCaptions.constFind(column);
        if (it == columnCaptions.constEnd())
            it = columnCaptions.insert(column, column.isEmpty() ? column : textOr(m_s, column, column));
        return *it;
    };

    m_changes->setRowCount(0);
    m_changes->setRowCount(int(entries.size()));
    for (int r = 0; r < entries.size(); ++r) {
        const HistoryEntry& e = entries[r];
        const QString cells[] = {e.time.left(19),
                                 e.user,
                                 madeBy.arg(e.program, word("SRC_", e.source)),
                                 word("OP_", e.operation),
                                 columnCaption(e.column),
                                 e.oldValue,
                                 e.newValue};
        for (int c = 0; c < int(std::size(cells)); ++c)
            m_changes->setItem(r, c, new QTableWidgetItem(escapeControls(cells[c])));
    }
    m_changes->resizeColumnsToContents();
    m_summary->setText(
        entries.isEmpty() ? textOr(m_s, QStringLiteral("M606"), QStringLiteral("No change of this record is recorded."))
                          : textOr(m_s, kHistoryCount, entries.size(), QString::number(entries.size())));

    presentRowsWindow(this, m_changes, m_placed);
}

} // namespace vocaset
