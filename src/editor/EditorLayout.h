#pragma once

#include <QList>
#include <QString>

namespace vocaset {

// Lengths of the editor's arrangement, in twips (1/1440 inch; 15 to a pixel on the screen).
inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kMinWidth = 12000;
inline constexpr int kMinHeight = 3500;
// A list column is widened to fit a value only while it is narrower than this.
inline constexpr int kWidenLimit = 5000;

struct TwipRect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int bottom() const { return top + height; }
    int right() const { return left + width; }
};

// What the arrangement needs to know of the window and its controls.
struct LayoutInput
{
    int width = 0; // the window's size
    int height = 0;
    int errorHeight = 0; // LErr
    int okWidth = 0, okHeight = 0, cancelWidth = 0, cancelHeight = 0;
    int labelWidth = 0;          // edit and filter labels
    QList<int> editRowHeights;   // one per edit row, empty outside a record operation
    QList<int> filterRowHeights; // one per filter row
    int filterTop = 0;           // first filter row inside the frame, below its caption
};

struct EditorGeometry
{
    int width = 0; // after the minimum size
    int height = 0;
    TwipRect error, ok, cancel, tabStrip, frame;
    QList<TwipRect> editLabels, editFields; // window coordinates
    QList<TwipRect> filterLabels, filters;  // frame coordinates
    TwipRect list;                          // frame coordinates
};

// The arrangement rules: error line at the bottom, buttons above it on the right, edit rows stacked
// upwards above them, the tab strip filling the rest with the filter frame inside it, the filter
// rows stacked down from the frame's top and the record list below them down to the frame's
// bottom. Sizes that would be negative in a window too small for its rows become 0.
EditorGeometry arrange(const LayoutInput& in);

// The smallest window height whose arrangement gives the record list at least listHeight, never
// below the minimum height: with many edit rows the window needs more than the minimum.
int minimumHeight(const LayoutInput& in, int listHeight);

// The width a list column takes after a value of the given text width (in twips, before the 300
// margin): wider when the value needs more and the column is still below the widening limit.
int widenedColumn(int current, int textWidth);

// A control taking part in the keyboard order, with its position inside its container and the
// container's position in the window (0 for controls placed on the window itself).
struct TabField
{
    int number = 0; // the control's place in the window's control order
    QString name;   // control name, with the index for elements of an indexed array
    int top = 0;
    int left = 0;
    int containerTop = 0;
    int containerLeft = 0;
    bool visible = true;
};

// The position key: top then left in window coordinates, six digits each ("000720001600").
QString tabPositionKey(const TabField& field);

// Keyboard order by screen position: the visible fields sorted by their position key, top first
// then left; equal keys keep the control order. Hidden fields take no place.
QList<TabField> SortTabFields(const QList<TabField>& fields);

} // namespace vocaset
