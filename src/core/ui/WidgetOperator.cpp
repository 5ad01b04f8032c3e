#include "WidgetOperator.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace vocaset {

namespace {
QString titleOr(const QString& title)
{
    return title.isEmpty() ? QApplication::applicationName() : title;
}
} // namespace

void WidgetOperator::showMessage(const QString& text, const QString& title)
{
    QMessageBox::warning(m_parent, titleOr(title), text, QMessageBox::Ok);
}

void WidgetOperator::showError(const QString& text, const QString& title)
{
    QMessageBox::critical(m_parent, titleOr(title), text, QMessageBox::Ok);
}

void WidgetOperator::showDetailed(const QString& text, const QString& detail)
{
    QMessageBox box(QMessageBox::Warning, titleOr({}), text, QMessageBox::Ok, m_parent);
    box.setDetailedText(detail);
    box.exec();
}

bool WidgetOperator::askYesNo(const QString& text, const QString& title)
{
    return QMessageBox::question(m_parent, titleOr(title), text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<QString> WidgetOperator::askText(const QString& prompt, const QString& defaultText)
{
    bool ok = false;
    const QString answer =
        QInputDialog::getText(m_parent, QApplication::applicationName(), prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

} // namespace vocaset
