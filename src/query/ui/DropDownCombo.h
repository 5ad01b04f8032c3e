#pragma once

#include <QComboBox>

namespace vocaset {

// An editable combo box that says when its list is about to open, so the list can be filled then.
class DropDownCombo final : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;
    void showPopup() override;

Q_SIGNALS:
    void aboutToShowPopup();
};

} // namespace vocaset
