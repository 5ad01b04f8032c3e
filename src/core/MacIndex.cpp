#include "MacIndex.h"

#include "Database.h"
#include "Sql.h"

namespace vocaset::MacIndex {
namespace {

// The same statement on both engines: an index on an expression, over the rows that have a MAC.
const QString kCreate = QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS ") + QLatin1String(kName) +
                        QStringLiteral(" ON PHONES (UPPER(PH_MAC)) WHERE PH_MAC <> ''");

} // namespace

bool exists(Database& db)
{
    return !db.execute(Dialect::indexLookup(QLatin1String(kName), db.engine())).isEmpty();
}

QStringList sharedMacs(Database& db)
{
    if (exists(db))
        return {};
    const Recordset rs = db.execute(QStringLiteral(
        "SELECT UPPER(PH_MAC), CO_CODE, PH_CODE FROM PHONES WHERE PH_MAC <> '' AND UPPER(PH_MAC) IN (SELECT "
        "UPPER(PH_MAC) FROM PHONES WHERE PH_MAC <> '' GROUP BY UPPER(PH_MAC) HAVING COUNT(*) > 1) ORDER BY 1, 2, 3"));
    QStringList lines;
    QString mac;
    QStringList owners;
    const auto line = [&] {
        if (!owners.isEmpty())
            lines.append(QStringLiteral("MAC %1 belongs to %2 telephones: %3")
                             .arg(mac)
                             .arg(owners.size())
                             .arg(owners.join(QStringLiteral(", "))));
        owners.clear();
    };
    for (const QVariantList& row : rs.rows()) {
        if (row.at(0).toString() != mac)
            line();
        mac = row.at(0).toString();
        owners.append(row.at(1).toString() + u'/' + row.at(2).toString());
    }
    line();
    return lines;
}

std::optional<QString> ensure(Database& db)
{
    if (exists(db))
        return std::nullopt;
    try {
        Transaction transaction(db);
        // A second maker waits here for the first to commit, then finds the index there.
        db.lockName(QStringLiteral("create ") + QLatin1String(kName));
        db.execute(kCreate);
        transaction.commit();
        return std::nullopt;
    } catch (const TransactionLost&) {
        throw;
    } catch (const DbError& e) {
        const QStringList shared = sharedMacs(db);
        if (shared.isEmpty())
            return QStringLiteral("No unique index on the MAC of PHONES (") + e.text() + u')';
        return QStringLiteral("The database cannot keep each MAC to one telephone while telephones share one: ") +
               shared.join(QStringLiteral("; "));
    }
}

bool refusedBy(const QString& engineText)
{
    return engineText.contains(QLatin1String(kName), Qt::CaseInsensitive);
}

std::optional<QStringList> owner(Database& db, const QString& mac, const QString& company, const QString& phone)
{
    const Recordset rs = db.executeBound(QStringLiteral("SELECT CO_CODE, PH_CODE FROM PHONES WHERE UPPER(PH_MAC) = ? "
                                                        "AND NOT (CO_CODE = ? AND PH_CODE = ?) ORDER BY 1, 2"),
                                         {mac.toUpper(), company, phone});
    if (rs.isEmpty())
        return std::nullopt;
    return QStringList{rs.text(0), rs.text(1)};
}

} // namespace vocaset::MacIndex
