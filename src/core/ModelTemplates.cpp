#include "ModelTemplates.h"

#include "ChangeHistory.h"
#include "DbError.h"

namespace vocaset::ModelTemplates {
namespace {

const QString kSelect = QStringLiteral("SELECT EQ_CODE, MT_KIND, MT_FILE_NAME, MT_ESCAPE, MT_ENCODING, MT_EOL, "
                                       "MT_CONTENT_TYPE, MT_TEXT FROM MODEL_TEMPLATES");
const QString kKey = QStringLiteral(" WHERE EQ_CODE = ? AND MT_KIND = ?");

QStringList valuesOf(const ModelTemplate& t)
{
    return {t.model, t.kind, t.fileName, t.escape, t.encoding, t.eol, t.contentType, t.text};
}

QVariantList bound(const QStringList& values)
{
    QVariantList out;
    for (const QString& v : values)
        out.append(v.isNull() ? QStringLiteral("") : v);
    return out;
}

ModelTemplate fromRow(const QVariantList& row)
{
    ModelTemplate t;
    QString* fields[] = {&t.model, &t.kind, &t.fileName, &t.escape, &t.encoding, &t.eol, &t.contentType, &t.text};
    for (int i = 0; i < int(std::size(fields)); ++i)
        *fields[i] = row.value(i).toString();
    return t;
}

} // namespace

const QStringList& columns()
{
    static const QStringList names = {QStringLiteral("EQ_CODE"),         QStringLiteral("MT_KIND"),
                                      QStringLiteral("MT_FILE_NAME"),    QStringLiteral("MT_ESCAPE"),
                                      QStringLiteral("MT_ENCODING"),     QStringLiteral("MT_EOL"),
                                      QStringLiteral("MT_CONTENT_TYPE"), QStringLiteral("MT_TEXT")};
    return names;
}

QString createStatement()
{
    // The model's code follows a rename through the key; a model with templates is not deleted.
    return QStringLiteral("CREATE TABLE IF NOT EXISTS MODEL_TEMPLATES (EQ_CODE nvarchar(10) NOT NULL, "
                          "MT_KIND nvarchar(10) NOT NULL, MT_FILE_NAME nvarchar(100) NOT NULL, "
                          "MT_ESCAPE nvarchar(4) NOT NULL, MT_ENCODING nvarchar(12) NOT NULL, "
                          "MT_EOL nvarchar(4) NOT NULL, MT_CONTENT_TYPE nvarchar(100) NOT NULL, MT_TEXT text NOT NULL, "
                          "PRIMARY KEY (EQ_CODE, MT_KIND), CONSTRAINT FK_MODTPL_EQU FOREIGN KEY (EQ_CODE) "
                          "REFERENCES EQUIPMENT (EQ_CODE) ON UPDATE CASCADE)");
}

bool exists(Database& db)
{
    return db.columns(QLatin1String(kTemplatesTable)).count() > 0;
}

void ensureTable(Database& db)
{
    if (!exists(db))
        db.execute(createStatement());
}

std::optional<ModelTemplate> read(Database& db, const QString& model, const QString& kind)
{
    if (!exists(db))
        return std::nullopt;
    const Recordset rs = db.executeBound(kSelect + kKey, {model, kind});
    if (rs.isEmpty())
        return std::nullopt;
    return fromRow(rs.rows().first());
}

QList<ModelTemplate> readNames(Database& db)
{
    QList<ModelTemplate> out;
    if (!exists(db))
        return out;
    const Recordset rs =
        db.execute(QStringLiteral("SELECT EQ_CODE, MT_KIND, MT_FILE_NAME, MT_ESCAPE, MT_ENCODING, MT_EOL, "
                                  "MT_CONTENT_TYPE FROM MODEL_TEMPLATES ORDER BY EQ_CODE, MT_KIND"));
    for (const QVariantList& row : rs.rows())
        out.append(fromRow(row));
    return out;
}

// A template's text may hold up to a mebibyte: its values are bound rather than quoted into the text.
bool store(Session& s, const ModelTemplate& t)
{
    Database& db = s.db;
    ensureTable(db);
    const std::optional<ModelTemplate> old = read(db, t.model, t.kind);
    if (old && *old == t)
        return false;
    const QStringList values = valuesOf(t);
    ChangeRecorder history(s, QStringLiteral("template"));
    if (!old) {
        db.executeBound(QStringLiteral("INSERT INTO MODEL_TEMPLATES (") + columns().join(QStringLiteral(", ")) +
                            QStringLiteral(") VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                        bound(values));
        history.added(QLatin1String(kTemplatesTable), columns(), values, 2);
        return true;
    }
    // Only the row as it was read is changed: one that another operator saved meanwhile keeps their text.
    QStringList sets;
    QStringList same;
    for (const QString& c : columns().mid(2)) {
        sets.append(c + QStringLiteral(" = ?"));
        same.append(c + QStringLiteral(" = ?"));
    }
    db.executeBound(QStringLiteral("UPDATE MODEL_TEMPLATES SET ") + sets.join(QStringLiteral(", ")) + kKey +
                        QStringLiteral(" AND ") + same.join(QStringLiteral(" AND ")),
                    bound(values.mid(2) + values.mid(0, 2) + valuesOf(*old).mid(2)));
    if (read(db, t.model, t.kind) != t)
        throw DbError(QStringLiteral("The template of %1 (%2) was changed by another operator meanwhile; nothing "
                                     "was saved")
                          .arg(t.model, t.kind));
    history.edited(QLatin1String(kTemplatesTable), columns(), valuesOf(*old), values, 2);
    return true;
}

bool remove(Session& s, const QString& model, const QString& kind)
{
    const std::optional<ModelTemplate> old = read(s.db, model, kind);
    if (!old)
        return false;
    s.db.executeBound(QStringLiteral("DELETE FROM MODEL_TEMPLATES") + kKey, {model, kind});
    if (read(s.db, model, kind))
        throw DbError(QStringLiteral("The template of %1 (%2) could not be deleted").arg(model, kind));
    ChangeRecorder history(s, QStringLiteral("template"));
    history.removed(QLatin1String(kTemplatesTable), columns(), valuesOf(*old), 2);
    return true;
}

QString spelling(const QStringList& values, const QString& given)
{
    for (const QString& v : values) {
        if (v.compare(given, Qt::CaseInsensitive) == 0)
            return v;
    }
    return {};
}

QString defaultContentType(const ModelTemplate& t)
{
    const QString charset = t.encoding == u"UTF-8" ? QStringLiteral("utf-8") : QStringLiteral("windows-1252");
    return (t.escape == u"xml" ? QStringLiteral("text/xml; charset=") : QStringLiteral("text/plain; charset=")) +
           charset;
}

} // namespace vocaset::ModelTemplates
