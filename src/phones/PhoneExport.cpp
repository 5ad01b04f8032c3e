#include "PhoneExport.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "PhoneCsv.h"
#include "PhoneImport.h"
#include "Sql.h"
#include "TextFile.h"

namespace vocaset {

PhoneExportText exportPhones(Database& db, const QString& company, const QString& model)
{
    // The telephones and their values as one state: a value another operator changes meanwhile is
    // exported as it was, or as it is, with its telephone.
    const ReadSnapshot snapshot(db);
    const QString where = QStringLiteral(" WHERE CO_CODE = '") + sqlText(company) +
                          QStringLiteral("' AND EQ_CODE = '") + sqlText(model) + u'\'';
    const Recordset phones = db.execute(QStringLiteral("SELECT PH_CODE, PH_DESC, PH_MAC FROM PHONES") + where +
                                        QStringLiteral(" ORDER BY PH_CODE"));
    const Recordset values = db.execute(QStringLiteral("SELECT PH_CODE, PA_CODE, PA_VALUE FROM PHONES_PARAMETERS") +
                                        where + QStringLiteral(" ORDER BY PA_CODE"));
    QStringList params;
    QHash<QString, int> column; // parameter code -> its cell
    QHash<QString, QStringList> cells;
    for (const QVariantList& r : phones.rows())
        cells.insert(r.at(0).toString(), {r.at(0).toString(), r.at(1).toString(), r.at(2).toString()});
    for (const QVariantList& r : values.rows()) {
        const QString param = r.at(1).toString();
        // A value kept for a telephone of another model does not belong to this file.
        if (cells.contains(r.at(0).toString()) && !column.contains(param)) {
            column.insert(param, int(params.size()) + 3);
            params.append(param);
        }
    }
    PhoneExportText out;
    out.text = csvRecord(
        QStringList{QLatin1String(kCodeColumn), QLatin1String(kDescriptionColumn), QLatin1String(kMacColumn)} + params);
    for (const QVariantList& r : values.rows()) {
        const auto phone = cells.find(r.at(0).toString());
        if (phone == cells.end())
            continue;
        phone->resize(3 + params.size());
        (*phone)[column.value(r.at(1).toString())] = r.at(2).toString();
    }
    for (const QVariantList& r : phones.rows()) {
        QStringList line = cells.value(r.at(0).toString());
        line.resize(3 + params.size());
        out.text += csvRecord(line);
        ++out.phones;
    }
    return out;
}

QByteArray exportFileBytes(const QString& text)
{
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

bool writeExportFile(const QString& path, const QString& text, QString* error)
{
    const bool replacing = QFileInfo(path).isFile();
    const std::optional<PendingFile> pending = writeBeside(path, exportFileBytes(text), true, error);
    if (!pending)
        return false;
    if (!replacing && !QFile::setPermissions(pending->temporary, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        discardPending(*pending);
        if (error)
            *error = QStringLiteral("Cannot write ") + path + QStringLiteral(": its permissions cannot be set");
        return false;
    }
    return replaceTarget(*pending, error);
}

} // namespace vocaset
