#include "EditorLayout.h"

#include <algorithm>

namespace vocaset {

EditorGeometry arrange(const LayoutInput& in)
{
    EditorGeometry g;
    g.width = std::max(in.width, kMinWidth);
    g.height = std::max(in.height, kMinHeight);
    const int W = g.width;

    g.error = {100, g.height - 3 * in.errorHeight, W - 300, in.errorHeight};
    g.cancel = {W - in.cancelWidth - 200, g.error.top - in.cancelHeight - 100, in.cancelWidth, in.cancelHeight};
    g.ok = {g.cancel.left - in.okWidth - 100, g.error.top - in.okHeight - 100, in.okWidth, in.okHeight};

    // Edit rows stacked upwards from above the error line; fields stop short of the buttons.
    const int rows = int(in.editRowHeights.size());
    g.editLabels.resize(rows);
    g.editFields.resize(rows);
    const int fieldLeft = 100 + in.labelWidth + 100;
    const int fieldWidth = std::max(0, g.ok.left - 200 - fieldLeft);
    int top = g.error.top - 300;
    for (int i = rows - 1; i >= 0; --i) {
        const int h = in.editRowHeights[i];
        top -= h;
        g.editLabels[i] = {100, top, in.labelWidth, h};
        g.editFields[i] = {fieldLeft, top, fieldWidth, h};
        top -= 100;
    }

    const int stripBottom = (rows > 0 ? g.editLabels.first().top : g.error.top) - 100;
    g.tabStrip = {100, 200, W - 300, std::max(0, stripBottom - 200)};
    g.frame = {g.tabStrip.left + 100, g.tabStrip.top + 400, 0, 0};
    g.frame.width = std::max(0, g.tabStrip.width - g.frame.left);
    g.frame.height = std::max(0, g.tabStrip.height - g.frame.top);

    int filterTop = in.filterTop;
    int lastBottom = in.filterTop;
    const int filterWidth = std::clamp(g.frame.width - fieldLeft - 100, 0, 4500);
    for (int h : in.filterRowHeights) {
        g.filterLabels.append({100, filterTop, in.labelWidth, h});
        g.filters.append({fieldLeft, filterTop, filterWidth, h});
        lastBottom = filterTop + h;
        filterTop = lastBottom + 100;
    }
    g.list.top = lastBottom + 100;
    g.list.left = 100;
    g.list.width = std::max(0, g.frame.width - 200);
    g.list.height = std::max(0, g.frame.height - g.list.top - 100);
    return g;
}

int minimumHeight(const LayoutInput& in, int listHeight)
{
    // Every height below the list's is fixed, so the list grows one for one with the window; a
    // window tall enough that nothing is clamped tells how much it needs.
    LayoutInput tall = in;
    tall.width = std::max(in.width, kMinWidth);
    tall.height = 1000000;
    const EditorGeometry g = arrange(tall);
    return std::max(kMinHeight, tall.height - (g.list.height - listHeight));
}

int widenedColumn(int current, int textWidth)
{
    const int wanted = textWidth + 300;
    return wanted > current && current < kWidenLimit ? wanted : current;
}

QString tabPositionKey(const TabField& field)
{
    const auto six = [](int v) { return QStringLiteral("%1").arg(std::clamp(v, 0, 999999), 6, 10, QLatin1Char('0')); };
    return six(field.top + field.containerTop) + six(field.left + field.containerLeft);
}

QList<TabField> SortTabFields(const QList<TabField>& fields)
{
    QList<std::pair<QString, TabField>> keyed;
    for (const TabField& f : fields)
        if (f.visible)
            keyed.append({tabPositionKey(f), f});
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<TabField> out;
    for (const auto& [key, field] : keyed)
        out.append(field);
    return out;
}

} // namespace vocaset
