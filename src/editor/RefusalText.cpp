#include "RefusalText.h"

#include "MacIndex.h"
#include "Messages.h"
#include "Sql.h"

namespace vocaset {
namespace {

enum class Refusal { Other, KeyUsed, MacUsed, StillReferenced, ReferenceMissing, ValueMissing, TooLong };

// SQLite and PostgreSQL word their refusals differently; both are read here.
Refusal classify(const QString& engineText, Operation op)
{
    if (MacIndex::refusedBy(engineText))
        return Refusal::MacUsed;
    const QString t = engineText.toLower();
    if (t.contains(QLatin1String("unique constraint")) || t.contains(QLatin1String("duplicate key")))
        return Refusal::KeyUsed;
    if (t.contains(QLatin1String("foreign key")))
        return op == Operation::Delete || t.contains(QLatin1String("still referenced")) ? Refusal::StillReferenced
                                                                                        : Refusal::ReferenceMissing;
    if (t.contains(QLatin1String("not null")) || t.contains(QLatin1String("null value")))
        return Refusal::ValueMissing;
    if (t.contains(QLatin1String("too long")))
        return Refusal::TooLong;
    return Refusal::Other;
}

// "CO_CODE = ALPIN, PH_CODE = 101": the record's key as the operator typed it.
QString keyText(const TableCatalogue& cat, const QStringList& values)
{
    QStringList parts;
    for (int i = 0; i < cat.keyCount(); ++i)
        parts.append(cat.columns.value(i).name + QStringLiteral(" = ") + values.value(i));
    return parts.join(QStringLiteral(", "));
}

// The editor's other tables that hold this record's key in columns of the same names.
QStringList tablesHolding(Session& s, const TableCatalogue& cat, const QStringList& values)
{
    QStringList holders;
    Recordset tabs = s.db.execute(
        QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$TABS' ORDER BY SY_SUBCODE"));
    for (; !tabs.eof() && cat.keyCount() > 0; tabs.moveNext()) {
        const QString table = tabs.text(0);
        if (!isPlainIdentifier(table) || table.compare(cat.table, Qt::CaseInsensitive) == 0)
            continue;
        QStringList names;
        for (Recordset cols = s.db.columns(table); !cols.eof(); cols.moveNext())
            names.append(cols.text(QStringLiteral("COLUMN_NAME")).toUpper());
        QStringList conditions;
        for (int i = 0; i < cat.keyCount(); ++i) {
            const QString column = cat.columns.value(i).name.toUpper();
            if (!names.contains(column) || !isPlainIdentifier(column))
                break;
            conditions.append(column + QStringLiteral(" = '") + sqlText(values.value(i)) + u'\'');
        }
        if (conditions.size() == cat.keyCount() &&
            !s.db.execute(QStringLiteral("SELECT 1 FROM ") + table + QStringLiteral(" WHERE ") +
                          conditions.join(QStringLiteral(" AND ")))
                 .eof())
            holders.append(table);
    }
    return holders;
}

// "The MAC address X is that of telephone 101 of company AC.", in the words the telephone import
// uses for the same refusal.
QString macText(Session& s, const TableCatalogue& cat, const QStringList& values)
{
    const auto valueOf = [&](const char* column) { return values.value(cat.columnIndex(QLatin1String(column))); };
    const QString mac = valueOf("PH_MAC");
    const std::optional<QStringList> other = MacIndex::owner(s.db, mac, valueOf("CO_CODE"), valueOf("PH_CODE"));
    QString text = textOr(s, QStringLiteral("M597"),
                          QStringLiteral("the MAC address %1 is that of telephone %2 of "
                                         "company %3"))
                       .arg(mac, other ? other->at(1) : QString(), other ? other->at(0) : QString());
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text + u'.';
}

QString operationWords(Session& s, Operation op)
{
    static const char* const codes[] = {"", "M19", "M17", "M18"};
    static const char* const english[] = {"", "The record could not be updated.", "The record could not be stored.",
                                          "The record could not be deleted."};
    return textOr(s, QLatin1String(codes[int(op)]), QLatin1String(english[int(op)]));
}

} // namespace

QString refusalInWords(Session& s, const TableCatalogue& cat, Operation op, const QStringList& values,
                       const QString& engineText)
{
    QString words = operationWords(s, op);
    const auto add = [&](const char* code, const char* text, const QString& argument = {}) {
        words += u' ' + textOr(s, QLatin1String(code), QLatin1String(text), argument);
    };
    switch (classify(engineText, op)) {
    case Refusal::KeyUsed:
        add("M520", "This code is already used: $$.", keyText(cat, values));
        break;
    case Refusal::MacUsed:
        words += u' ' + macText(s, cat, values);
        break;
    case Refusal::StillReferenced: {
        const QStringList holders = tablesHolding(s, cat, values);
        if (holders.isEmpty())
            add("M521", "Other records still refer to it.");
        else
            add("M522", "Other records still refer to it, in $$.", holders.join(QStringLiteral(", ")));
        break;
    }
    case Refusal::ReferenceMissing:
        add("M523", "A value of the record names something that does not exist (a company, a model, a code).");
        break;
    case Refusal::ValueMissing:
        add("M524", "A value the table requires is empty.");
        break;
    case Refusal::TooLong:
        add("M525", "A value is longer than its column allows.");
        break;
    case Refusal::Other:
        break;
    }
    return words;
}

std::optional<QString> macRefusal(Session& s, const TableCatalogue& cat, Operation op, const QStringList& values)
{
    const int column = cat.columnIndex(QStringLiteral("PH_MAC"));
    if (op == Operation::Delete || cat.table.compare(QLatin1String("PHONES"), Qt::CaseInsensitive) != 0 || column < 0 ||
        values.value(column).isEmpty())
        return std::nullopt;
    const auto valueOf = [&](const char* name) { return values.value(cat.columnIndex(QLatin1String(name))); };
    if (!MacIndex::owner(s.db, values.value(column), valueOf("CO_CODE"), valueOf("PH_CODE")))
        return std::nullopt;
    return operationWords(s, op) + u' ' + macText(s, cat, values);
}

} // namespace vocaset
