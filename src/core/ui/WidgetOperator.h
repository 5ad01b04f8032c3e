#pragma once

#include "Interaction.h"

class QWidget;

namespace vocaset {

// The operator as message boxes and an input dialog over a parent window. The messages the programs
// show are warnings (a missing folder, a setting not found), so they carry the warning sign;
// refused statements carry the error sign.
class WidgetOperator final : public Operator
{
public:
    explicit WidgetOperator(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void showMessage(const QString& text, const QString& title = {}) override;
    void showError(const QString& text, const QString& title = {}) override;
    void showDetailed(const QString& text, const QString& detail) override;
    bool askYesNo(const QString& text, const QString& title = {}) override;
    std::optional<QString> askText(const QString& prompt, const QString& defaultText) override;

private:
    QWidget* m_parent;
};

} // namespace vocaset
