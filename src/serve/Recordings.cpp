#include "Recordings.h"

#include "Database.h"
#include "DbError.h"
#include "Dialect.h"

namespace vocaset {

QString recordedTime(const QDateTime& t)
{
    return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QString storable(const QString& text, int width)
{
    QString out = text.left(width);
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'?';
    }
    return out;
}

QString prepareRecordingTable(Database& db, const char* name, const QString& create, const QString& cost)
{
    const QString table = QLatin1String(name);
    const auto exists = [&] { return !db.columns(table).isEmpty(); };
    // An account that may only read finds the table there or not, without a statement that writes.
    if (!exists()) {
        try {
            db.execute(create);
        } catch (const DbError& e) {
            // Two servers starting at once on one server database may both try to create it.
            if (!exists())
                return QStringLiteral("No table %1 (%2)").arg(table, e.text()) + cost;
        }
    }
    if (const QString rights = Dialect::mayWrite(table, db.engine());
        !rights.isEmpty() && !db.execute(rights).value(0).toBool())
        return QStringLiteral("No right to add or change the rows of %1").arg(table) + cost;
    return {};
}

} // namespace vocaset
