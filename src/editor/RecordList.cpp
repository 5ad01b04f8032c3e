#include "RecordList.h"

#include "Sql.h"
#include "UiYield.h"

namespace vocaset {

QString whereClause(const TableCatalogue& cat, AccessMode mode, const FilterChoice& filters)
{
    QString where = QStringLiteral(" WHERE ") + cat.ruleColumn() +
                    (mode == AccessMode::Admin ? QStringLiteral(" LIKE '$$%'") : QStringLiteral(" NOT LIKE '$$%'"));
    for (int i = 0; i < cat.filters.size() && i < filters.size(); ++i)
        if (filters[i])
            where +=
                QStringLiteral(" AND ") + cat.filters[i].column + QStringLiteral(" = '") + sqlText(*filters[i]) + u'\'';
    return where;
}

QString listStatement(const TableCatalogue& cat, AccessMode mode, const FilterChoice& filters)
{
    QStringList names;
    for (const CatalogueColumn& c : cat.columns)
        names.append(c.name);
    return QStringLiteral("SELECT ") + names.join(QStringLiteral(", ")) + QStringLiteral(" FROM ") + cat.table +
           whereClause(cat, mode, filters) + cat.orderClause;
}

ListedRecords listRecords(Session& s, const TableCatalogue& cat, AccessMode mode, const FilterChoice& filters,
                          const ListProgress& progress)
{
    ListedRecords out;
    out.rows = s.db.execute(listStatement(cat, mode, filters)).rows();
    const int total = int(out.rows.size());
    for (int done = 1; done <= total; ++done) {
        if (progress && !progress(done, total)) {
            out.stopped = true;
            out.rows.resize(done);
            break;
        }
        giveUiTurn();
    }
    return out;
}

QStringList cellTexts(const QVariantList& row)
{
    QStringList out;
    out.reserve(row.size());
    for (const QVariant& v : row)
        out.append(cellText(v));
    return out;
}

QString rowKeyText(const QVariantList& row, const QList<int>& keys)
{
    QString key;
    for (int i : keys)
        key += cellText(row.value(i));
    return key;
}

} // namespace vocaset
