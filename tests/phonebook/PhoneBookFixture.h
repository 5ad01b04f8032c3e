#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "Sql.h"
#include "TestDatabase.h"

namespace vocaset::test {

// A test database with the flag letters, messages whose text is "Mn:" and the detail, two companies
// (AC with GXP2000 telephones 101 and 102, BC with a PAP2 telephone 201) and a folder for files.
struct PhoneBookData : TestSession
{
    PhoneBookData()
    {
        for (const char* flag : {"V", "H", "W", "D", "M"})
            exec(QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('%1', 'flag', 'N')").arg(QLatin1String(flag)));
        for (int m : {7, 8, 10, 16, 17, 24, 25, 26, 27, 29, 30, 31, 32, 33})
            message(m);
        for (int m = 290; m <= 305; ++m)
            message(m);
        message(431);
        message(757);
        for (const char* co : {"AC", "BC"})
            exec(QStringLiteral("INSERT INTO COMPANY VALUES('%1', 'Company %1')").arg(QLatin1String(co)));
        exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('GXP2000', 'Desk', 'GRANDSTREAM')"));
        exec(QStringLiteral("INSERT INTO EQUIPMENT VALUES('PAP2', 'Adapter', 'PAP2')"));
        phone(QStringLiteral("AC"), QStringLiteral("101"), QStringLiteral("GXP2000"));
        phone(QStringLiteral("AC"), QStringLiteral("102"), QStringLiteral("GXP2000"));
        phone(QStringLiteral("BC"), QStringLiteral("201"), QStringLiteral("PAP2"));
    }

    void message(int m)
    {
        exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M%1', 'M%1:$$')").arg(m));
    }
    void phone(const QString& co, const QString& ph, const QString& eq)
    {
        exec(QStringLiteral("INSERT INTO RANGES VALUES('%1', '%2')").arg(co, ph));
        exec(QStringLiteral("INSERT INTO PHONES VALUES('%1', '%2', '%3', 'Desk', '000B82000000')").arg(co, ph, eq));
    }
    void entry(const QString& co, const QString& num, const QString& name, const QString& flag,
               const QString& mail = QString())
    {
        exec(QStringLiteral("INSERT INTO PHONE_BOOK VALUES('%1', '%2', '%3', '%4', '', '', '', '%5')")
                 .arg(co, sqlText(num), sqlText(name), flag, sqlText(mail)));
    }
    // "num=name/flag" for every entry of a company, in number order.
    QStringList book(const QString& co)
    {
        QStringList out;
        Recordset rs = tdb.db.execute(
            QStringLiteral("SELECT BK_NUM, BK_NAME, BK_FLAG FROM PHONE_BOOK WHERE CO_CODE = '%1' ORDER BY BK_NUM")
                .arg(co));
        for (; !rs.eof(); rs.moveNext())
            out.append(rs.text(0) + u'=' + rs.text(1) + u'/' + rs.text(2));
        return out;
    }
    QString path(const QString& name) const { return files.filePath(name); }
    QByteArray read(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }

    QTemporaryDir files;
};

} // namespace vocaset::test
