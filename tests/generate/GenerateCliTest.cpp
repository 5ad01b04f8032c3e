#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include "CliCommand.h"
#include "DemoCli.h"
#include "FullDisk.h"
#include "Gxp2000Writer.h"
#include "TestDatabase.h"

namespace vocaset::test {
namespace {

// A settings file naming a working database created from a source holding one company with three
// GXP2000 telephones.
class GenerateCli : public CliFixture
{
protected:
    void SetUp() override
    {
        Database& db = source.db;
        seedSource({
            QStringLiteral("SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M13', 'Writing $$')"),
            QStringLiteral("SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M15', 'Done.')"),
            QStringLiteral("SYSTEM_PARAMETERS VALUES('ACGXP', '$$GENPATH', '") + folder.path() + QStringLiteral("/')"),
            QStringLiteral("SYSTEM_PARAMETERS VALUES('ACGXP', '$$DEFGEN', '101')"),
            QStringLiteral("LEVELS VALUES('E', 'Equipment')"),
            QStringLiteral("LEVELS VALUES('C', 'Company')"),
            QStringLiteral("LEVELS VALUES('P', 'Phone')"),
            QStringLiteral("TYPES VALUES('T', 'Text')"),
            QStringLiteral("COMPANY VALUES('AC', 'Acme')"),
            QStringLiteral("EQUIPMENT VALUES('GXP', 'Desk telephone', 'GRANDSTREAM')"),
            QStringLiteral("EQUIPMENT_PARAMETERS VALUES('GXP', '1', 'Server', 'E', 'sip.acme', 'T', '')"),
            QStringLiteral("EQUIPMENT_PARAMETERS VALUES('GXP', '10', 'Realm', 'C', '', 'T', '')"),
            QStringLiteral("EQUIPMENT_PARAMETERS VALUES('GXP', '2', 'User', 'P', '', 'T', '')"),
            QStringLiteral("COMPANY_PARAMETERS VALUES('AC', 'GXP', '10', 'acme')"),
        });
        for (int n = 1; n <= 3; ++n) {
            const QString ph = QString::number(100 + n);
            db.execute(QStringLiteral("INSERT INTO RANGES VALUES('AC', '%1')").arg(ph));
            db.execute(QStringLiteral("INSERT INTO PHONES VALUES('AC', '%1', 'GXP', 'Desk %1', '00112233440%2')")
                           .arg(ph)
                           .arg(n));
            db.execute(
                QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES('AC', 'GXP', '%1', '2', 'u=%1;x')").arg(ph));
        }
        createFrom(source.connectionString());
    }

    int generate(QStringList more = {})
    {
        return run(QStringList{QStringLiteral("generate"), QStringLiteral("--company"), QStringLiteral("AC"),
                               QStringLiteral("--model"), QStringLiteral("GXP")} +
                   more);
    }
    QStringList files() const { return QDir(folder.path()).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir folder;
};

TEST_F(GenerateCli, DefaultsComeFromTheModelSettingsAndDecodeReadsTheFilesBack)
{
    // $$DEFGEN "101": telephone and equipment levels, every telephone.
    ASSERT_EQ(generate(), cli::Ok) << err.toStdString();
    EXPECT_EQ(files(), (QStringList{QStringLiteral("cfg001122334401"), QStringLiteral("cfg001122334402"),
                                    QStringLiteral("cfg001122334403")}));
    EXPECT_TRUE(out.startsWith(QStringLiteral("Writing 101 Desk 101 001122334401\nDone.\n")))
        << out.toStdString();

    ASSERT_EQ(run({QStringLiteral("decode"), folder.filePath(QStringLiteral("cfg001122334402"))}), cli::Ok)
        << err.toStdString();
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.mid(1), (QStringList{QStringLiteral("MAC: 001122334402"), QStringLiteral("Checksum holds: yes"),
                                         QStringLiteral("Length holds: yes"), QStringLiteral("P2=u=102;x"),
                                         QStringLiteral("P1=sip.acme")}));
    const QByteArray bytes = [&] {
        QFile f(folder.filePath(QStringLiteral("cfg001122334402")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    EXPECT_EQ(lines.first(), QStringLiteral("Length word: %1 (%2 bytes)").arg(bytes.size() / 2).arg(bytes.size()));

    // Explicit levels, range, folder and source files.
    QTemporaryDir other;
    ASSERT_EQ(generate({QStringLiteral("--levels"), QStringLiteral("pc"), QStringLiteral("--from"),
                        QStringLiteral("103"), QStringLiteral("--to"), QStringLiteral("103"), QStringLiteral("--out"),
                        other.path(), QStringLiteral("--source")}),
              cli::Ok)
        << err.toStdString();
    EXPECT_EQ(QDir(other.path()).entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("103 - 001122334403.TXT"), QStringLiteral("cfg001122334403")}));
    ASSERT_EQ(run({QStringLiteral("decode"), other.filePath(QStringLiteral("cfg001122334403"))}), cli::Ok);
    EXPECT_TRUE(out.endsWith(QStringLiteral("P2=u=103;x\nP10=acme\n"))) << out.toStdString();
}

TEST_F(GenerateCli, WrongUsageAndRefusedRuns)
{
    EXPECT_EQ(run({QStringLiteral("generate"), QStringLiteral("--company"), QStringLiteral("AC")}), cli::Usage);
    EXPECT_EQ(generate({QStringLiteral("--levels"), QStringLiteral("X")}), cli::Usage);
    EXPECT_EQ(generate({QStringLiteral("--from"), QStringLiteral("101")}), cli::Usage);
    EXPECT_EQ(generate({QStringLiteral("--levels"), QStringLiteral("CE"), QStringLiteral("--from"),
                        QStringLiteral("101"), QStringLiteral("--to"), QStringLiteral("102")}),
              cli::Usage);
    EXPECT_EQ(run({QStringLiteral("generate"), QStringLiteral("--company"), QStringLiteral("ZZ"),
                   QStringLiteral("--model"), QStringLiteral("GXP")}),
              cli::Usage);
    EXPECT_TRUE(err.contains(QStringLiteral("No company ZZ")));
    EXPECT_TRUE(files().isEmpty());

    // A missing folder ends the run with M7 on standard error.
    EXPECT_EQ(generate({QStringLiteral("--out"), folder.filePath(QStringLiteral("missing"))}), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("M7")));

    // A telephone whose MAC cannot name a file: the others are written, the exit code tells.
    working.db.execute(QStringLiteral("UPDATE PHONES SET PH_MAC = '0011' WHERE PH_CODE = '102'"));
    EXPECT_EQ(generate(), cli::RunFailed);
    EXPECT_EQ(files().size(), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("3 telephone(s) selected, 2 written, 1 refused: 102")));
    // So is a value that would add a parameter of its own to the file.
    working.db.execute(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = 'u&P1=x' WHERE PH_CODE = '103'"));
    EXPECT_EQ(generate(), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("3 telephone(s) selected, 1 written, 2 refused: 102, 103")))
        << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Telephone AC/103, parameter 2: the value holds \"&\"")));
    // With every MAC valid nothing is shown: the refusal alone fails the run.
    working.db.execute(QStringLiteral("UPDATE PHONES SET PH_MAC = '001122334402' WHERE PH_CODE = '102'"));
    EXPECT_EQ(generate(), cli::RunFailed);
    EXPECT_EQ(err, QStringLiteral("3 telephone(s) selected, 2 written, 1 refused: 103\n"));

    working.db.execute(QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE = 'AUTHM'"));
    EXPECT_EQ(generate(), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("no right")));
}

TEST_F(GenerateCli, DecodeRefusesWhatIsNotAGxp2000File)
{
    const QString path = folder.filePath(QStringLiteral("broken"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::fromHex("0000000900000011223344550D0A0D0A5031") + "=x&gnkey=7d31");
    f.close();
    EXPECT_EQ(run({QStringLiteral("decode"), path}), cli::RunFailed);
    EXPECT_TRUE(out.contains(QStringLiteral("Checksum holds: no")));
    EXPECT_TRUE(out.contains(QStringLiteral("MAC: 001122334455")));
    EXPECT_EQ(run({QStringLiteral("decode"), folder.filePath(QStringLiteral("none"))}), cli::Usage);
    EXPECT_EQ(run({QStringLiteral("decode")}), cli::Usage);
    // Anything longer than the writer's largest file is refused unread, and so is what is no plain
    // file: an endless device, or a FIFO that would wait for a writer.
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(Gxp2000Writer::kMaxFileBytes + 2, '\0'));
    f.close();
    const QString fifo = folder.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::pair<QString, const char*> refused[] = {
        {path, "larger than"}, {QStringLiteral("/dev/zero"), "not a regular file"}, {fifo, "not a regular file"}};
    for (const auto& [file, reason] : refused) {
        EXPECT_EQ(run({QStringLiteral("decode"), file}), cli::RunFailed) << file.toStdString();
        EXPECT_TRUE(err.contains(file + QStringLiteral(": ")) && err.contains(QLatin1String(reason)))
            << err.toStdString();
        EXPECT_TRUE(out.isEmpty());
    }
}

} // namespace
} // namespace vocaset::test

namespace vocaset::test {
namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A file that cannot be written fails the run and leaves the file that was there; a link planted
// in the folder is replaced, and what it pointed to stays as it was.
TEST_F(GenerateCli, AFailedWriteKeepsTheOldFileAndFailsTheRun)
{
    working.db.execute(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = 'user'"));
    ASSERT_EQ(generate(), cli::Ok) << err.toStdString();
    const QString first = folder.filePath(QStringLiteral("cfg001122334401"));
    const QString second = folder.filePath(QStringLiteral("cfg001122334402"));
    const QByteArray good = readAll(first);

    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("victim"));
    ASSERT_TRUE(QFile(victim).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::remove(first));
    ASSERT_TRUE(QFile::link(victim, first));
    ASSERT_TRUE(QFile::remove(second));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("cfg001122334402")));
    EXPECT_EQ(generate(), cli::RunFailed);
    EXPECT_TRUE(err.contains(second)) << err.toStdString();
    EXPECT_FALSE(QFileInfo(first).isSymLink());
    EXPECT_EQ(readAll(first), good);
    EXPECT_EQ(QFileInfo(victim).size(), 0);

    FullFolder full;
    if (!full.mounted())
        GTEST_SKIP() << "no right to mount a small file system; the full-disk case is not run";
    const QStringList onFull = {QStringLiteral("--out"), full.path()};
    ASSERT_EQ(generate(onFull), cli::Ok) << err.toStdString();
    full.fill();
    EXPECT_EQ(generate(onFull), cli::RunFailed);
    EXPECT_TRUE(err.contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << err.toStdString();
    EXPECT_EQ(readAll(full.filePath(QStringLiteral("cfg001122334401"))), good);
    EXPECT_EQ(QDir(full.path()).entryList(QDir::Files | QDir::Hidden).size(), 4); // three files and the filler
}

} // namespace
} // namespace vocaset::test

namespace vocaset::test {
namespace {

// Another operator's open write transaction neither stops nor holds up a generation: start-up writes
// nothing to a database at its version, and the run writes its files from what was committed.
TEST_F(GenerateCli, AGenerationReadsPastAnotherWritersOpenTransaction)
{
    working.db.execute(QStringLiteral("UPDATE PHONES_PARAMETERS SET PA_VALUE = 'user'"));
    std::atomic<bool> held{false};
    std::atomic<bool> released{false};
    std::thread writer([&] {
        Database other;
        other.open(working.connectionString());
        Transaction tx(other);
        other.execute(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = SY_VALUE WHERE SY_CODE = '$$BASEVER'"));
        other.execute(QStringLiteral("INSERT INTO LEVELS VALUES('X', 'Held')"));
        held = true;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        released = true;
        tx.commit();
    });
    while (!held)
        std::this_thread::yield();
    const int code = generate();
    const bool waited = released;
    writer.join();
    EXPECT_EQ(code, cli::Ok) << err.toStdString();
    EXPECT_FALSE(waited);
    EXPECT_EQ(files().size(), 3);
}

} // namespace
} // namespace vocaset::test
