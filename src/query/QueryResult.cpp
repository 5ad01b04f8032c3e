#include "QueryResult.h"

#include <cmath>

namespace vocaset {

QString formatNumber(double value)
{
    QString digits = QString::number(std::abs(value), 'f', 2);
    for (qsizetype i = digits.indexOf(u'.') - 3; i > 0; i -= 3)
        digits.insert(i, u' ');
    if (value < 0 && digits != u"0.00")
        digits.prepend(u'-');
    return digits;
}

std::optional<QDateTime> dateOf(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime();
    case QMetaType::QDate:
        return value.toDate().startOfDay();
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (!when.isValid())
            when = QDateTime::fromString(QString(text).replace(u' ', u'T'), Qt::ISODateWithMs);
        if (!when.isValid())
            when = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd")).startOfDay();
        if (when.isValid())
            return when;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

QString displayText(const QVariant& value, DataClass dataClass)
{
    if (value.isNull())
        return {};
    if (dataClass == DataClass::Number) {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (ok)
            return formatNumber(number);
    } else if (dataClass == DataClass::Date) {
        if (const auto when = dateOf(value))
            return when->toString(QStringLiteral("yyyy/MM/dd"));
    }
    return value.toString();
}

QVariant QueryResult::value(int row, int column) const
{
    const int field = valueColumns.value(column, -1);
    return field < 0 ? QVariant() : rows.rows().at(row).value(field);
}

} // namespace vocaset
