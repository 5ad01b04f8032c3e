// The arrangement of the editor's window and its keyboard order.

#include <gtest/gtest.h>

#include "EditorLayout.h"

namespace vocaset::test {
namespace {

LayoutInput window(int width, int height, int editRows, int filterRows)
{
    LayoutInput in;
    in.width = width;
    in.height = height;
    in.errorHeight = 285;
    in.okWidth = in.cancelWidth = 1200;
    in.okHeight = in.cancelHeight = 375;
    in.labelWidth = 2000;
    in.editRowHeights = QList<int>(editRows, 315);
    in.filterRowHeights = QList<int>(filterRows, 315);
    in.filterTop = 300;
    return in;
}

TEST(Arrangement, MinimumSizeAndRules)
{
    const EditorGeometry small = arrange(window(6000, 1000, 0, 1));
    EXPECT_EQ(small.width, kMinWidth);
    EXPECT_EQ(small.height, kMinHeight);

    // Bottom up: error line, buttons on the right above it, edit rows stacked above them; the list
    // below the filter rows.
    const EditorGeometry g = arrange(window(15000, 9000, 2, 3));
    EXPECT_LT(g.ok.right(), g.cancel.left);
    EXPECT_LT(g.cancel.bottom(), g.error.top);
    EXPECT_LT(g.editLabels[1].bottom(), g.error.top);
    EXPECT_LT(g.editLabels[0].bottom(), g.editLabels[1].top);
    EXPECT_LE(g.editFields[0].right(), g.ok.left) << "fields stop short of the buttons";
    EXPECT_LT(g.tabStrip.bottom(), g.editLabels[0].top);
    EXPECT_GT(g.list.top, g.filterLabels[2].bottom());
}

TEST(Arrangement, EditRowsTakeTheirSpaceFromTheList)
{
    const EditorGeometry browse = arrange(window(15000, 12000, 0, 1));
    const EditorGeometry twelve = arrange(window(15000, 12000, 12, 1));
    EXPECT_EQ(browse.tabStrip.bottom(), browse.error.top - 100);
    EXPECT_EQ(browse.list.height - twelve.list.height, 12 * 415 + 200);
    EXPECT_GT(twelve.list.height, 0);
    // Too small a window for its rows: nothing gets a negative size.
    const EditorGeometry cramped = arrange(window(12000, 3500, 12, 4));
    EXPECT_EQ(cramped.list.height, 0);
    EXPECT_EQ(cramped.tabStrip.height, 0);
}

TEST(Arrangement, ColumnsWidenUntilTheLimit)
{
    EXPECT_EQ(widenedColumn(1000, 800), 1100);
    EXPECT_EQ(widenedColumn(1000, 600), 1000);
    EXPECT_EQ(widenedColumn(4900, 9000), 9300) << "below the limit: widened to fit";
    EXPECT_EQ(widenedColumn(9300, 20000), 9300) << "at or above the limit: never again";
}

TEST(KeyboardOrder, TopThenLeftWithContainers)
{
    EXPECT_EQ(tabPositionKey({0, {}, 120, 1500, 600, 100, true}), QStringLiteral("000720001600"));
    const QList<TabField> fields = {
        {0, QStringLiteral("Cancel"), 8000, 9000, 0, 0, true},
        {1, QStringLiteral("Ok"), 8000, 7000, 0, 0, true},
        {2, QStringLiteral("Filter1"), 300, 2200, 600, 200, true},
        {3, QStringLiteral("ListCom"), 800, 100, 600, 200, true},
        {4, QStringLiteral("Text1"), 7000, 2200, 0, 0, false},
        {5, QStringLiteral("TabStrip"), 200, 100, 0, 0, true},
        {6, QStringLiteral("Text2"), 8000, 2200, 0, 0, true},
        {7, QStringLiteral("Combo2"), 8000, 2200, 0, 0, true}, // same place: control order decides
    };
    QStringList order;
    for (const TabField& f : SortTabFields(fields))
        order.append(f.name);
    EXPECT_EQ(order, (QStringList{QStringLiteral("TabStrip"), QStringLiteral("Filter1"), QStringLiteral("ListCom"),
                                  QStringLiteral("Text2"), QStringLiteral("Combo2"), QStringLiteral("Ok"),
                                  QStringLiteral("Cancel")}));
}

} // namespace
} // namespace vocaset::test
