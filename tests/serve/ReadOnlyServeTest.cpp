// A server account that may only read the database: vocaset-cli serve, generate and fleet run on it,
// serve with one line for each thing it could not set up and what that costs. Only the server has
// accounts; the test skips on SQLite.

#include <thread>

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>

#include <gtest/gtest.h>

#include "DemoCli.h"
#include "FetchRecorder.h"
#include "HttpClient.h"
#include "PhoneFileSource.h"

namespace vocaset::test {
namespace {

class ReadOnlyServe : public DemoCli
{
protected:
    void SetUp() override
    {
        if (TestDatabase::server().isEmpty())
            GTEST_SKIP() << "needs the PostgreSQL server named by VOCASET_TEST_DB";
        DemoCli::SetUp();
        if (IsSkipped())
            return;
        m_role = working.db.execute(QStringLiteral("SELECT current_database()")).text(0) + QStringLiteral("_reader");
        working.db.execute(QStringLiteral("CREATE ROLE ") + m_role + QStringLiteral(" LOGIN"));
        working.db.execute(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO ") + m_role);
        QString connection = working.connectionString();
        connection.replace(QRegularExpression(QStringLiteral("User ID=[^;]*")), QStringLiteral("User ID=") + m_role);
        m_settings = demoDir.filePath(QStringLiteral("reader.txt"));
        QFile file(m_settings);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(connection.toUtf8());
    }
    void TearDown() override
    {
        if (!m_role.isEmpty()) {
            working.db.execute(QStringLiteral("DROP OWNED BY ") + m_role);
            working.db.execute(QStringLiteral("DROP ROLE ") + m_role);
        }
    }
    // vocaset-cli serve as the reader: the lines it writes before it serves, and whether the file of
    // a telephone was served as generate writes it.
    QStringList serveAsReader(const QByteArray& target, const QByteArray& written)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        QProcess server;
        server.start(QStringLiteral(VOCASET_CLI),
                     {QStringLiteral("--settings"), m_settings, QStringLiteral("serve"), QStringLiteral("--listen"),
                      QStringLiteral("127.0.0.1:") + QString::number(port)});
        server.setReadChannel(QProcess::StandardError);
        QString said;
        QDeadlineTimer deadline(15000);
        while (!said.contains(QStringLiteral("Serving on")) && server.state() != QProcess::NotRunning &&
               !deadline.hasExpired()) {
            server.waitForReadyRead(100);
            said += QString::fromUtf8(server.readAllStandardError());
        }
        HttpClient client(port);
        const HttpReply reply = client.request("GET", target);
        EXPECT_EQ(reply.status, 200) << said.toStdString();
        EXPECT_EQ(reply.body, written);
        server.terminate();
        EXPECT_TRUE(server.waitForFinished(15000));
        said += QString::fromUtf8(server.readAllStandardError());
        EXPECT_EQ(server.exitCode(), 0) << said.toStdString();
        const QStringList lines = said.split(u'\n', Qt::SkipEmptyParts);
        const auto serving = std::find_if(lines.begin(), lines.end(),
                                          [](const QString& l) { return l.startsWith(QStringLiteral("Serving on")); });
        EXPECT_NE(serving, lines.end()) << said.toStdString();
        return QStringList(lines.begin(), serving);
    }
    QString m_role;
    QString m_settings;
};

TEST_F(ReadOnlyServe, AnAccountThatMayOnlyReadServesGeneratesAndSurveys)
{
    const QString out = demoDir.filePath(QStringLiteral("files"));
    ASSERT_TRUE(QDir().mkpath(out));
    const QStringList reader = {QStringLiteral("--settings"), m_settings};
    ASSERT_EQ(
        run(reader + QStringList{QStringLiteral("generate"), QStringLiteral("--company"), QStringLiteral("ALPIN"),
                                 QStringLiteral("--model"), QStringLiteral("GXP2000"), QStringLiteral("--out"), out}),
        cli::Ok)
        << err.toStdString();
    QFile file(out + QStringLiteral("/cfg000B82E79E4A"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    ASSERT_EQ(run(reader + QStringList{QStringLiteral("fleet")}), cli::Ok) << err.toStdString();

    // No server has set up the database: what the reader cannot set up, each once, with its cost.
    const QStringList first = serveAsReader("/cfg000B82E79E4A", written);
    for (const char* thing : {"not counted", "fetches are not recorded"})
        EXPECT_EQ(first.filter(QLatin1String(thing)).size(), 1) << thing << ": " << first.join(u'\n').toStdString();
    EXPECT_TRUE(first.filter(QStringLiteral("system_parameters"), Qt::CaseInsensitive).isEmpty())
        << first.join(u'\n').toStdString();

    // Once the owner's server has set it up, only the recordings are missing: the reader may not
    // write them. Given that right, it starts without a line and records the fetch.
    for (const QString& note : PhoneFileSource::prepareDatabase(working.db))
        ADD_FAILURE() << note.toStdString();
    ASSERT_TRUE(FetchTable::prepare(working.db).isEmpty());
    working.db.execute(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO ") + m_role);
    const QStringList second = serveAsReader("/cfg000B82E79E4A", written);
    ASSERT_EQ(second.size(), 1) << second.join(u'\n').toStdString();
    EXPECT_TRUE(second.first().startsWith(QStringLiteral("No right to add or change the rows of PHONE_FETCHES")))
        << second.first().toStdString();
    working.db.execute(QStringLiteral("GRANT INSERT, UPDATE ON PHONE_FETCHES, PHONE_REFUSALS TO ") + m_role);
    EXPECT_EQ(serveAsReader("/cfg000B82E79E4A", written).join(u'\n').toStdString(), "");
    EXPECT_EQ(working.db.execute(QStringLiteral("SELECT PH_CODE FROM PHONE_FETCHES")).text(0), QStringLiteral("201"));
}

} // namespace
} // namespace vocaset::test
