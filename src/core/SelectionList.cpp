#include "SelectionList.h"

#include <algorithm>

#include "Database.h"
#include "Sql.h"

namespace vocaset {
namespace {
const QLatin1String kSeparator(" \\\\ ");
} // namespace

QString listEntry(const QString& code, const QString& description)
{
    return code + kSeparator + description;
}

QString entryCode(const QString& shown)
{
    const qsizetype sep = shown.indexOf(kSeparator);
    return sep < 0 ? shown : shown.left(sep);
}

QList<ListEntry> listEntries(Database& db, const QString& sql)
{
    Recordset rs = db.execute(sql);
    QList<ListEntry> out;
    out.reserve(rs.count());
    for (; !rs.eof(); rs.moveNext())
        out.append({rs.text(0), rs.text(1)});
    return out;
}

QStringList entryTexts(const QList<ListEntry>& entries)
{
    QStringList out;
    out.reserve(entries.size());
    for (const ListEntry& e : entries)
        out.append(e.text());
    return out;
}

bool containsCode(const QList<ListEntry>& entries, const QString& code)
{
    return std::any_of(entries.begin(), entries.end(), [&](const ListEntry& e) { return e.code == code; });
}

QList<ListEntry> companyEntries(Database& db)
{
    return listEntries(db, QStringLiteral("SELECT DISTINCT CO_CODE, CO_DESC FROM COMPANY ORDER BY CO_CODE"));
}

QList<ListEntry> modelEntries(Database& db, const QString& company)
{
    return listEntries(db,
                       QStringLiteral("SELECT DISTINCT EQUIPMENT.EQ_CODE, EQUIPMENT.EQ_DESC FROM EQUIPMENT INNER "
                                      "JOIN PHONES ON EQUIPMENT.EQ_CODE = PHONES.EQ_CODE WHERE PHONES.CO_CODE = '") +
                           sqlText(company) + QStringLiteral("' ORDER BY EQUIPMENT.EQ_CODE"));
}

} // namespace vocaset
