#include "TemplateEditor.h"

#include <QPainter>
#include <QTextBlock>

namespace vocaset {

class TemplateEditor::Margin final : public QWidget
{
public:
    explicit Margin(TemplateEditor* editor) : QWidget(editor), m_editor(editor) {}
    QSize sizeHint() const override { return {m_editor->marginWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* event) override { m_editor->paintMargin(event); }

private:
    TemplateEditor* m_editor;
};

TemplateEditor::TemplateEditor(QWidget* parent) : QPlainTextEdit(parent), m_margin(new Margin(this))
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabChangesFocus(true);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    setFont(mono);
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { setViewportMargins(marginWidth(), 0, 0, 0); });
    connect(this, &QPlainTextEdit::updateRequest, this, &TemplateEditor::updateMargin);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] { m_margin->update(); });
    setViewportMargins(marginWidth(), 0, 0, 0);
}

int TemplateEditor::marginWidth() const
{
    const int digits = int(QString::number(std::max(1, blockCount())).size());
    return 8 + fontMetrics().horizontalAdvance(u'9') * std::max(digits, 2);
}

void TemplateEditor::moveTo(int line, int column)
{
    const QTextBlock block = document()->findBlockByNumber(std::max(0, line - 1));
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor,
                        std::clamp(column - 1, 0, std::max(0, block.length() - 1)));
    setTextCursor(cursor);
    centerCursor();
}

void TemplateEditor::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    m_margin->setGeometry(QRect(area.left(), area.top(), marginWidth(), area.height()));
}

void TemplateEditor::updateMargin(const QRect& rect, int dy)
{
    if (dy)
        m_margin->scroll(0, dy);
    else
        m_margin->update(0, rect.y(), m_margin->width(), rect.height());
}

void TemplateEditor::paintMargin(QPaintEvent* event)
{
    QPainter painter(m_margin);
    painter.fillRect(event->rect(), palette().color(QPalette::AlternateBase));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    const int current = textCursor().blockNumber();
    while (block.isValid() && top <= event->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        if (block.isVisible() && top + height >= event->rect().top()) {
            QFont f = painter.font();
            f.setBold(block.blockNumber() == current);
            painter.setFont(f);
            painter.drawText(0, top, m_margin->width() - 4, fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        }
        block = block.next();
        top += height;
    }
}

} // namespace vocaset
