#include "FExplain.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "Explain.h"
#include "Messages.h"
#include "TextFile.h"
#include "WindowConventions.h"

namespace vocaset {

FExplain::FExplain(Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window), m_s(session), m_phone(new QLabel(this)), m_values(new QTableWidget(this)),
      m_verdict(new QLabel(this)), m_close(new QPushButton(QStringLiteral("Close"), this))
{
    setObjectName(QStringLiteral("FExplain"));
    setWindowTitle(QStringLiteral("Values of telephone $$"));
    m_phone->setObjectName(QStringLiteral("Phone"));
    m_phone->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_values->setObjectName(QStringLiteral("Values"));
    m_verdict->setObjectName(QStringLiteral("Verdict"));
    m_verdict->setWordWrap(true);
    m_verdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_close->setObjectName(QStringLiteral("Close"));

    layOutRowsWindow(this, m_phone, m_values, m_verdict, m_close);
    resize(820, 480);

    const char* columns[][2] = {{"FEXPLAIN_COL0", "Code"},      {"FEXPLAIN_COL1", "Description"},
                                {"FEXPLAIN_COL2", "Value"},     {"FEXPLAIN_COL3", "Level"},
                                {"FEXPLAIN_COL4", "Raw value"}, {"FEXPLAIN_COL5", "Note"}};
    QStringList headers;
    guarded(m_s, [&] {
        applyCaptions(m_s, this);
        for (const auto& [key, english] : columns)
            headers.append(textOr(m_s, QLatin1String(key), QLatin1String(english)));
    });
    m_values->setColumnCount(int(std::size(columns)));
    m_values->setHorizontalHeaderLabels(headers);
    m_title = windowTitle();
}

void FExplain::showTelephone(const QString& company, const QString& phone, const LevelChoice& levels)
{
    TelephoneExplanation e;
    if (!guarded(m_s, [&] { e = explainTelephone(m_s, company, phone, levels); }))
        return;
    QString title = m_title;
    setWindowTitle(title.replace(QLatin1String("$$"), company + u'/' + phone));
    InsightTexts t(m_s);
    m_phone->setText(escapeControls(explanationHeading(t, e)));

    m_values->setRowCount(0);
    m_values->setRowCount(int(e.params.size()));
    for (int r = 0; r < e.params.size(); ++r) {
        const ParamExplanation& p = e.params[r];
        const bool masked = p.secret;
        const QString cells[] = {
            p.code,
            p.description,
            p.value ? (masked ? SecretParameters::kMask : *p.value) : QString(),
            p.value ? QString(p.level) : QString(),
            masked && !p.rawValue.isEmpty() ? SecretParameters::kMask : p.rawValue,
            explanationNote(p),
        };
        for (int c = 0; c < int(std::size(cells)); ++c) {
            auto* item = new QTableWidgetItem(escapeControls(cells[c]));
            if (!p.problems.isEmpty())
                item->setForeground(Qt::red);
            else if (!p.value)
                item->setForeground(Qt::gray);
            m_values->setItem(r, c, item);
        }
        m_values->item(r, 5)->setToolTip(explanationNote(p));
    }
    m_values->resizeColumnsToContents();

    QStringList verdict = e.problems;
    verdict.append(explanationSummary(t, e));
    m_verdict->setText(escapeControls(verdict.join(u'\n'), true));
    m_verdict->setStyleSheet(e.refused() ? QStringLiteral("color: #b00000;") : QString());

    presentRowsWindow(this, m_values, m_placed);
}

} // namespace vocaset
