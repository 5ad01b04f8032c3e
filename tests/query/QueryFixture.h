#pragma once

#include <ostream>

#include <QDateTime>
#include <QFile>
#include <QList>
#include <QStringList>

#include "Sql.h"
#include "TestDatabase.h"
#include "TextFile.h"

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace vocaset::test {

// One row of the CALLS table the query tests run over.
struct Call
{
    int id;
    QString company;
    QString number; // empty: null
    QDateTime when; // invalid: null
    int seconds;
    double cost;
    QString units;
};

// Sixty calls of three companies (one with a quote in its code), over four days at several times of
// day, with some nulls: enough for groups, filters, substrings and dates.
inline QList<Call> sampleCalls()
{
    QList<Call> calls;
    const QString companies[] = {QStringLiteral("AC"), QStringLiteral("BE"), QStringLiteral("O'N")};
    for (int i = 0; i < 60; ++i) {
        Call c;
        c.id = i + 1;
        c.company = companies[i % 3];
        c.number = i % 11 == 5 ? QString() : QStringLiteral("0%1%2").arg(41 + i % 4).arg(1000 + i * 37);
        c.when = i % 10 == 9 ? QDateTime() : QDateTime(QDate(2024, 1, 1 + i % 4), QTime((i * 5) % 24, (i * 13) % 60));
        c.seconds = (i * 7) % 50;
        c.cost = i * 1.25;
        c.units = QString::number(i % 5);
        calls.append(c);
    }
    return calls;
}

inline void createCalls(TestSession& t, const QList<Call>& calls)
{
    t.exec(QStringLiteral("CREATE TABLE CALLS (CL_ID integer, CO_CODE nvarchar(5), CL_NUM nvarchar(20), "
                          "CL_DATE timestamp, CL_SECS integer, CL_COST double precision, CL_UNITS nvarchar(10), "
                          "PRIMARY KEY (CL_ID))"));
    const auto text = [](const QString& v) { return v.isNull() ? QStringLiteral("NULL") : u'\'' + sqlText(v) + u'\''; };
    for (const Call& c : calls)
        t.exec(QStringLiteral("INSERT INTO CALLS VALUES(%1, %2, %3, %4, %5, %6, %7)")
                   .arg(c.id)
                   .arg(text(c.company), text(c.number),
                        text(c.when.isValid() ? c.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString()))
                   .arg(c.seconds)
                   .arg(c.cost)
                   .arg(text(c.units)));
}

// Settings rows of a catalogue: the table, then the field values in order.
inline void addCatalogue(TestSession& t, const QString& program, const QString& table, const QStringList& values)
{
    t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$") + sqlText(program) +
           QStringLiteral("_TABLE', '$', '") + sqlText(table) + QStringLiteral("')"));
    for (int i = 0; i < values.size(); ++i)
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$") + sqlText(program) +
               QStringLiteral("_FIELDS', '%1', '").arg(i, 2, 10, QLatin1Char('0')) + sqlText(values[i]) +
               QStringLiteral("')"));
}

// The query tool's own messages, as shipped.
inline void addQueryMessages(TestSession& t)
{
    QFile file(QStringLiteral(VOCASET_QUERY_SEED));
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("cannot read ") + file.fileName());
    for (QString line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(QLatin1String("INSERT"))) {
            line.chop(1);
            t.exec(line);
        }
    }
}

} // namespace vocaset::test
