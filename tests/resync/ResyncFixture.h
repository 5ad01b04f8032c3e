#pragma once

#include <functional>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QNetworkDatagram>
#include <QTextStream>
#include <QUdpSocket>

#include "FetchRecorder.h"
#include "PhoneFileSource.h"
#include "Recordings.h"
#include "RebootCommands.h"
#include "RebootTestData.h"
#include "ResyncRun.h"

namespace vocaset::test {

// A telephone that only listens: it counts what it receives and answers the second copy with 200
// when asked to, or every first copy when it has something to do on a NOTIFY (given the
// Request-URI's user).
class BareUdpPhone final : public QObject
{
public:
    explicit BareUdpPhone(bool answerSecond, std::function<void(const QByteArray&)> onNotify = {})
        : m_answerSecond(answerSecond), m_onNotify(std::move(onNotify))
    {
        m_socket.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&m_socket, &QUdpSocket::readyRead, this, [this] {
            while (m_socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = m_socket.receiveDatagram();
                copies.append(d.data());
                if (m_onNotify && d.data().startsWith("NOTIFY sip:")) {
                    const qsizetype at = d.data().indexOf('@');
                    m_onNotify(d.data().mid(11, at - 11));
                }
                if ((m_answerSecond && copies.size() == 2) || m_onNotify) {
                    QByteArray reply = "SIP/2.0 200 OK\r\n";
                    for (const QByteArray& line : d.data().split('\n')) {
                        const QByteArray l = line.trimmed();
                        if (l.startsWith("Via:") || l.startsWith("From:") || l.startsWith("To:") ||
                            l.startsWith("Call-ID:") || l.startsWith("CSeq:"))
                            reply += l + "\r\n";
                    }
                    reply += "Content-Length: 0\r\n\r\n";
                    m_socket.writeDatagram(reply, d.senderAddress(), quint16(d.senderPort()));
                }
            }
        });
    }
    quint16 port() const { return m_socket.localPort(); }
    QList<QByteArray> copies;

private:
    QUdpSocket m_socket;
    bool m_answerSecond;
    std::function<void(const QByteArray&)> m_onNotify;
};

// PAP2 telephones 101 and 102 of company AC, their address a telephone value, their SIP user and
// credentials telephone values, and the model's event.
class ResyncTest : public ::testing::Test
{
protected:
    ResyncTest()
    {
        ensureCoreApp();
        addRebootMessages(t);
        addRebootCatalogue(t);
        for (const char* sql : {
                 "INSERT INTO EQUIPMENT_PARAMETERS VALUES('PAP', 'User_ID', 'SIP user', 'P', '', 'T', '')",
                 "INSERT INTO EQUIPMENT_PARAMETERS VALUES('PAP', 'Auth_ID', 'SIP login', 'P', '', 'T', '')",
                 "INSERT INTO EQUIPMENT_PARAMETERS VALUES('PAP', 'Password', 'SIP password', 'E', 'secret', 'T', '')",
                 "INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$NOTIFY', 'check-sync;reboot=true')",
                 "INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$SIPUSER', 'User_ID')",
                 "INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$SIPAUTH', 'Auth_ID')",
                 "INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$SIPPWD', 'Password')",
             })
            t.exec(QLatin1String(sql));
        for (const char* code : {"101", "102"}) {
            t.exec(QStringLiteral("INSERT INTO RANGES VALUES('AC', '%1')").arg(QLatin1String(code)));
            t.exec(QStringLiteral("INSERT INTO PHONES VALUES('AC', '%1', 'PAP', 'Desk %1', '000B82000%1')")
                       .arg(QLatin1String(code)));
            setPapAddress(t, QLatin1String(code), QStringLiteral("127.0.0.1"));
            for (const char* p : {"User_ID", "Auth_ID"})
                t.exec(QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'PAP', '%1', '%2', '%3%1')")
                           .arg(QLatin1String(code), QLatin1String(p), QLatin1String(*p == 'U' ? "2" : "sip")));
        }
    }
    void setPort(quint16 port)
    {
        t.exec(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE = '$$SIPPORT'"));
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP', '$$SIPPORT', '%1')").arg(port));
    }
    ResyncRun::Outcome resync(const QString& first, const QString& last, int t1Ms = 50)
    {
        ResyncRun run(t.s, t.log, t1Ms);
        const auto outcome = run.run({QStringLiteral("AC"), QStringLiteral("PAP"), first, last});
        summary = run.summary();
        return outcome;
    }
    // Everything allowed, English, and a settings file naming the database, for the command.
    void allowCommand()
    {
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"));
        t.exec(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$LNG', '$', 'EN')"));
        QFile settings(t.tdb.dir() + QStringLiteral("/ParamDB.txt"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(t.tdb.connectionString().toUtf8() + "\r\n");
    }
    // `resync --company AC --model PAP` and the arguments given, with short time-outs.
    int command(const QStringList& arguments)
    {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        cli::CliContext ctx(o, e);
        ctx.appDir = t.tdb.dir();
        ctx.settingsPath = t.tdb.dir() + QStringLiteral("/ParamDB.txt");
        cli::ResyncCommand resync(10, 20);
        const int code = resync.execute(ctx, QStringList{QStringLiteral("--company"), QStringLiteral("AC"),
                                                         QStringLiteral("--model"), QStringLiteral("PAP")} +
                                                 arguments);
        o.flush();
        e.flush();
        return code;
    }
    // The tag the server would send the telephone now, as the server computes it.
    QString currentTag(const char* code)
    {
        KnownCaller known;
        PhoneFileSource source(t.tdb.db, QStringLiteral("EN"));
        const FileAnswer file = source.answer(QStringLiteral("000B82000%1.txt").arg(QLatin1String(code)), known);
        EXPECT_EQ(file.status, 200) << code;
        return QString::fromLatin1(entityTag(file.body));
    }
    // A fetch of the telephone as a server records it.
    void recordFetch(const QString& code, const QString& tag, const QString& at)
    {
        t.exec(QStringLiteral("DELETE FROM PHONE_FETCHES WHERE PH_CODE = '%1'").arg(code));
        t.exec(QStringLiteral("INSERT INTO PHONE_FETCHES VALUES('AC', '%1', '%2', '127.0.0.1', 'x', '%3')")
                   .arg(code, at, tag));
    }
    // A moment just after now, in the servers' form.
    static QString soon()
    {
        return recordedTime(QDateTime::currentDateTimeUtc().addMSecs(5));
    }
    TestSession t;
    ResyncRun::Summary summary;
    QString out, err;
};

} // namespace vocaset::test
