#pragma once

#include <functional>

#include <QList>
#include <QString>
#include <QStringList>

class QComboBox;

namespace vocaset {

// A window whose selection lists offer companies, models or telephones. When another window has
// saved a change to those records (a rename in the editor), the main window asks every open one to
// read its lists again, so none offers a code that is gone.
class FollowsRecords
{
public:
    virtual ~FollowsRecords() = default;
    // table: the table that changed (COMPANY, EQUIPMENT, PHONES, ...).
    virtual void recordsChanged(const QString& table) = 0;
};

// A window that changes those records; the main window sets the callback when it opens it.
class ChangesRecords
{
public:
    virtual ~ChangesRecords() = default;
    std::function<void(const QString& table)> onRecordsChanged;

protected:
    void tellRecordsChanged(const QString& table) const
    {
        if (onRecordsChanged)
            onRecordsChanged(table);
    }
};

// Reads a chain of selection lists again, each from the choices before it (entries(i) is called
// once lists 0 to i-1 hold their choices again). A list keeps the entry of the code it had when
// the list still offers it; one whose choice is gone is left without one, and the lists after it
// are emptied and disabled, as a new choice in it would leave them. A list that was disabled is
// left as it is. False when a choice was lost.
bool refillChain(const QList<QComboBox*>& lists, const std::function<QStringList(int list)>& entries);

} // namespace vocaset
