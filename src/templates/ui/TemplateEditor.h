#pragma once

#include <QPlainTextEdit>

namespace vocaset {

// A plain-text editor with the line numbers in a margin on its left, for a template's text. Tab
// moves the focus on, as in every other control, so the window works from the keyboard alone.
class TemplateEditor final : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit TemplateEditor(QWidget* parent = nullptr);

    int marginWidth() const;
    // Puts the cursor at a line and column (from 1) and shows it.
    void moveTo(int line, int column);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class Margin;
    void paintMargin(QPaintEvent* event);
    void updateMargin(const QRect& rect, int dy);

    Margin* m_margin;
};

} // namespace vocaset
