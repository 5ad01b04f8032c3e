#include "DropDownCombo.h"

namespace vocaset {

void DropDownCombo::showPopup()
{
    Q_EMIT aboutToShowPopup();
    QComboBox::showPopup();
}

} // namespace vocaset
