#include "BenchData.h"

#include <unistd.h>

#include <QFile>

#include "ModelTemplates.h"
#include "Schema.h"
#include "Session.h"

namespace vocaset::bench {

void buildDataSet(Database& db, int phones)
{
    for (const QString& statement : Schema::createStatements())
        db.execute(statement);
    Transaction tx(db);
    for (const char* level : {"E", "C", "P"})
        db.executeBound(QStringLiteral("INSERT INTO LEVELS VALUES(?, ?)"),
                        {QLatin1String(level), QStringLiteral("level")});
    db.execute(QStringLiteral("INSERT INTO TYPES VALUES('T', 'text')"));
    for (int m = 1; m <= 15; ++m)
        db.executeBound(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', ?, ?)"),
                        {QString(u'M' + QString::number(m)),
                         QString(QStringLiteral("Message ") + QString::number(m) + QStringLiteral(": $$"))});
    db.executeBound(QStringLiteral("INSERT INTO COMPANY VALUES(?, 'Benchmark company')"), {kCompany});
    db.executeBound(QStringLiteral("INSERT INTO EQUIPMENT VALUES(?, 'Benchmark model', 'GRANDSTREAM')"), {kModel});

    const QString param = QStringLiteral("INSERT INTO EQUIPMENT_PARAMETERS VALUES(?, ?, ?, ?, ?, 'T', '')");
    QStringList companyCodes;
    QStringList phoneCodes;
    for (int i = 0; i < 150; ++i) {
        const QString code = QString::number(100 + i);
        const QString level = i < 100 ? QStringLiteral("E") : i < 130 ? QStringLiteral("C") : QStringLiteral("P");
        // Every tenth default takes the telephone's code, as account names do.
        const QString def = i % 10 == 0 ? QStringLiteral("user$$P") : QStringLiteral("default value ") + code;
        db.executeBound(param, {kModel, code, QString(QStringLiteral("Parameter number ") + code), level, def});
        if (level == u"C")
            companyCodes.append(code);
        else if (level == u"P")
            phoneCodes.append(code);
    }
    for (const QString& code : std::as_const(companyCodes))
        db.executeBound(QStringLiteral("INSERT INTO COMPANY_PARAMETERS VALUES(?, ?, ?, ?)"),
                        {kCompany, kModel, code, QStringLiteral("sip.example.net;$$N,1,8")});
    for (int n = 1; n <= phones; ++n) {
        const QString ph = QStringLiteral("%1").arg(n, 5, 10, QLatin1Char('0'));
        const QString mac = QStringLiteral("00A0B5%1").arg(n, 6, 16, QLatin1Char('0')).toUpper();
        db.executeBound(QStringLiteral("INSERT INTO RANGES VALUES(?, ?)"), {kCompany, ph});
        db.executeBound(QStringLiteral("INSERT INTO PHONES VALUES(?, ?, ?, ?, ?)"),
                        {kCompany, ph, kModel, QString(QStringLiteral("Office ") + ph), mac});
        for (const QString& code : std::as_const(phoneCodes))
            db.executeBound(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES(?, ?, ?, ?, ?)"),
                            {kCompany, kModel, ph, code, QString(QStringLiteral("value ") + code + u'-' + ph)});
    }
    tx.commit();
}

QString addF1000Template(Database& db)
{
    SilentOperator op;
    Session s(db, op);
    s.userName = QStringLiteral("BENCH");
    ModelTemplate t;
    t.model = kModel;
    t.fileName = QStringLiteral("tpl{{mac}}.ini");
    t.text = QStringLiteral("{{#params}}\n{{code}}={{value}}\n{{/params}}\n");
    t.contentType = ModelTemplates::defaultContentType(t);
    Transaction tx(db);
    ModelTemplates::store(s, t);
    tx.commit();
    return QStringLiteral("tpl%1.ini");
}

double cpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command name (which may hold blanks): state is field 3, utime 14, stime 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

int option(const QStringList& args, const QString& name, int fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : fallback;
}

} // namespace vocaset::bench
