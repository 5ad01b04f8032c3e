#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "CliCommand.h"
#include "DemoCli.h"
#include "FullDisk.h"
#include "PhonesFixture.h"

namespace vocaset::test {
namespace {

class PhonesCli : public CliFixture
{
protected:
    void SetUp() override
    {
        seedSource(kPhonesRows);
        createFrom(source.connectionString());
    }

    QStringList import(const QString& file, const QStringList& more = {})
    {
        return QStringList{QStringLiteral("phones"),    QStringLiteral("import"), file,
                           QStringLiteral("--company"), QStringLiteral("AC"),     QStringLiteral("--model"),
                           QStringLiteral("GXP2000")} +
               more;
    }
    QByteArray read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir files;
};

TEST_F(PhonesCli, ADryRunWritesNothingAndChangingKnownTelephonesNeedsYes)
{
    const QString file = writeFile(files, QStringLiteral("phones.csv"), kExportedFile);
    const QString before = telephonesDump(working.db);

    ASSERT_EQ(run(import(file, {QStringLiteral("--dry-run")})), cli::Ok) << err.toStdString();
    EXPECT_TRUE(out.startsWith(file + QStringLiteral(" was read as UTF-8.\n"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Line 3, 103 Added: ")));
    EXPECT_TRUE(out.contains(QStringLiteral("; 2 ***; ")));
    EXPECT_FALSE(out.contains(QStringLiteral("s3cret")));
    EXPECT_EQ(err, QStringLiteral("2 added, 1 updated, 0 unchanged (dry run: nothing written)\n"));
    EXPECT_EQ(telephonesDump(working.db), before);

    // Telephone 101 exists: without --yes (and no terminal) the answer is No.
    EXPECT_EQ(run(import(file)), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("Import not confirmed: nothing was changed."))) << err.toStdString();
    EXPECT_EQ(telephonesDump(working.db), before);

    ASSERT_EQ(run(import(file, {QStringLiteral("--yes")})), cli::Ok) << err.toStdString();
    EXPECT_TRUE(err.startsWith(QStringLiteral("The import changes 1 telephone that")));
    EXPECT_TRUE(err.endsWith(QStringLiteral("\n2 added, 1 updated, 0 unchanged\n"))) << err.toStdString();

    // The export writes the file imported, to a file or to standard output; an existing file stays
    // unless --yes says otherwise.
    const QString exported = files.filePath(QStringLiteral("out.csv"));
    const QStringList exportArgs = {
        QStringLiteral("phones"),  QStringLiteral("export"),  QStringLiteral("--company"), QStringLiteral("AC"),
        QStringLiteral("--model"), QStringLiteral("GXP2000"), QStringLiteral("--out"),     exported};
    ASSERT_EQ(run(exportArgs), cli::Ok) << err.toStdString();
    EXPECT_EQ(err, QStringLiteral("3 telephones exported\n"));
    EXPECT_EQ(read(exported), kExportedFile);
    // It holds the passwords: readable by its owner only.
    EXPECT_EQ(QFileInfo(exported).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    writeFile(files, QStringLiteral("out.csv"), "kept");
    EXPECT_EQ(run(exportArgs), cli::RunFailed);
    EXPECT_EQ(read(exported), QByteArray("kept"));
    ASSERT_EQ(run(exportArgs.mid(0, 6)), cli::Ok);
    EXPECT_EQ(out.toUtf8(), kExportedFile.mid(3));
    ASSERT_EQ(run(exportArgs.mid(0, 5) + QStringList{QStringLiteral("PAP2")}), cli::Ok);
    EXPECT_EQ(err, QStringLiteral("1 telephone exported\n"));
}

TEST_F(PhonesCli, RefusedFilesWrongUsageAndALostTransaction)
{
    const QString before = telephonesDump(working.db);
    const QString bad =
        writeFile(files, QStringLiteral("bad.csv"), "code;description;mac\r\n104;A;000B82000001\r\n105;B;nomac\r\n");
    EXPECT_EQ(run(import(bad, {QStringLiteral("--yes")})), cli::RunFailed);
    EXPECT_EQ(
        out.split(u'\n').mid(1, 2),
        (QStringList{QStringLiteral("Line 2, column mac: the MAC address 000B82000001 is that of telephone 101 "
                                    "of company AC"),
                     QStringLiteral("Line 3, column mac: the MAC address \"nomac\" is not 12 hexadecimal digits")}));
    EXPECT_EQ(err, bad + QStringLiteral(" was refused with 2 problems: nothing was changed.\n"));

    // What is no plain file is refused unread: an endless device, a FIFO that would wait for a writer.
    const QString fifo = files.filePath(QStringLiteral("fifo.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct
    {
        QStringList args;
        int code;
    } cases[] = {
        {{QStringLiteral("phones"), QStringLiteral("import"), bad, QStringLiteral("--company"), QStringLiteral("AC")},
         cli::Usage},
        {{QStringLiteral("phones"), QStringLiteral("import"), QStringLiteral("--company"), QStringLiteral("AC"),
          QStringLiteral("--model"), QStringLiteral("GXP2000")},
         cli::Usage},
        {{QStringLiteral("phones"), QStringLiteral("export"), QStringLiteral("--company"), QStringLiteral("AC"),
          QStringLiteral("--model"), QStringLiteral("X9")},
         cli::Usage},
        {import(files.filePath(QStringLiteral("missing.csv"))), cli::RunFailed},
        {import(files.path()), cli::RunFailed},
        {import(QStringLiteral("/dev/zero")), cli::RunFailed},
        {import(fifo), cli::RunFailed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(c.args), c.code) << c.args.join(u' ').toStdString() << "\n" << err.toStdString();

    // The engine ends the transaction on the last row: nothing is written and the exit says database.
    const QString good = writeFile(files, QStringLiteral("good.csv"), kExportedFile);
    refuseWrites(working.db, QStringLiteral("INSERT"), QStringLiteral("PHONES"), QStringLiteral("NEW.PH_CODE = '104'"),
                 Refusal::FullDisk);
    EXPECT_EQ(run(import(good, {QStringLiteral("--yes")})), cli::DatabaseFailed);
    EXPECT_TRUE(isFullDiskText(err)) << err.toStdString();
    EXPECT_EQ(telephonesDump(working.db), before);
}

// The import's changes and those of ranges in the history, each record with its old and new values,
// the import's secret masked; a refused import leaves none.
TEST_F(PhonesCli, ImportsAndRangesLeaveTheirChangesInTheHistory)
{
    const QString file = writeFile(files, QStringLiteral("phones.csv"), kExportedFile);
    ASSERT_EQ(run(import(file, {QStringLiteral("--yes")})), cli::Ok) << err.toStdString();
    // This database has no message texts: the range runs say so and end with 1, their codes written.
    const QStringList range = {QStringLiteral("--company"), QStringLiteral("AC"),   QStringLiteral("--from"),
                               QStringLiteral("105"),       QStringLiteral("--to"), QStringLiteral("106"),
                               QStringLiteral("--yes")};
    run(QStringList{QStringLiteral("ranges"), QStringLiteral("add")} + range);
    run(QStringList{QStringLiteral("ranges"), QStringLiteral("delete")} + range.mid(0, 3) +
        QStringList{QStringLiteral("106")} + range.mid(4));
    const QString refused = writeFile(files, QStringLiteral("bad.csv"), "code;description;mac\r\n105;x;nomac\r\n");
    EXPECT_EQ(run(import(refused, {QStringLiteral("--yes")})), cli::RunFailed);

    ASSERT_EQ(run({QStringLiteral("history"), QStringLiteral("--company"), QStringLiteral("AC"),
                   QStringLiteral("--format"), QStringLiteral("tsv")}),
              cli::Ok)
        << err.toStdString();
    QStringList changes;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts).mid(1))
        changes.append(line.section(u'\t', 3));
    const QStringList expected = {
        QStringLiteral("ranges\tdelete\tRANGES\tAC/106\t\t\t"),
        QStringLiteral("ranges\tnew\tRANGES\tAC/106\t\t\t"),
        QStringLiteral("ranges\tnew\tRANGES\tAC/105\t\t\t"),
        QStringLiteral("phones import\tnew\tPHONES\tAC/104\t\t\tEQ_CODE=GXP2000; PH_DESC= Hall ; PH_MAC=000B82000004"),
        QStringLiteral("phones import\tnew\tRANGES\tAC/104\t\t\t"),
        QStringLiteral("phones import\tnew\tPHONES_PARAMETERS\tAC/GXP2000/103/3\t\t\tPA_VALUE=u103"),
        QStringLiteral("phones import\tnew\tPHONES_PARAMETERS\tAC/GXP2000/103/2\t\t\tPA_VALUE=***"),
        QStringLiteral("phones import\tnew\tPHONES\tAC/103\t\t\tEQ_CODE=GXP2000; PH_DESC=Salle \"A\"; étage 2; "
                       "PH_MAC=000b82000003"),
        QStringLiteral("phones import\tedit\tPHONES\tAC/101\tPH_DESC\tDesk\tRéception"),
    };
    EXPECT_EQ(changes, expected) << out.toStdString();
}

#ifdef VOCASET_DEMO_DB
class DemoPhonesCli : public DemoCli
{
protected:
    QTemporaryDir files;
};

// What the generation would refuse is refused by the import's check and by config (the editor's
// checks) in the same words, and nothing is written. The demo company gives its GXP2000 telephones
// their description through "$$N" (value 3), so "&" there would start a parameter of its own.
TEST_F(DemoPhonesCli, TheImportAndTheEditorRefuseTheSameValuesInTheSameWords)
{
    const QString before = telephonesDump(working.db);
    const QString desc = working.db
                             .execute(QStringLiteral("SELECT PH_DESC FROM PHONES WHERE CO_CODE = 'ALPIN' AND "
                                                     "PH_CODE = '201'"))
                             .text(0);
    const QStringList value = {QStringLiteral("PHONES_PARAMETERS"), QStringLiteral("CO_CODE=ALPIN"),
                               QStringLiteral("EQ_CODE=GXP2000"), QStringLiteral("PH_CODE=201"),
                               QStringLiteral("PA_CODE=12")};
    const struct
    {
        QString column;
        QString file;
        QStringList config;
    } cases[] = {
        {QStringLiteral("12"),
         QStringLiteral("code;description;mac;12\r\n201;") + desc + QStringLiteral(";000B82E79E4A;$$Q"),
         value + QStringList{QStringLiteral("PA_VALUE=$$Q")}},
        {QStringLiteral("12"),
         QStringLiteral("code;description;mac;12\r\n201;") + desc + QStringLiteral(";000B82E79E4A;$$P,-1,1"),
         value + QStringList{QStringLiteral("PA_VALUE=$$P,-1,1")}},
        {QStringLiteral("description"),
         QStringLiteral("code;description;mac\r\n201;A & B;000B82E79E4A"),
         {QStringLiteral("PHONES"), QStringLiteral("CO_CODE=ALPIN"), QStringLiteral("PH_CODE=201"),
          QStringLiteral("PH_DESC=A & B")}},
    };
    for (const auto& c : cases) {
        const QString file = writeFile(files, QStringLiteral("phones.csv"), c.file.toUtf8());
        EXPECT_EQ(run({QStringLiteral("phones"), QStringLiteral("import"), file, QStringLiteral("--company"),
                       QStringLiteral("ALPIN"), QStringLiteral("--model"), QStringLiteral("GXP2000"),
                       QStringLiteral("--dry-run")}),
                  cli::RunFailed);
        const QString prefix = QStringLiteral("Line 2, column ") + c.column + QStringLiteral(": ");
        const QStringList refused = out.split(u'\n').filter(prefix);
        ASSERT_EQ(refused.size(), 1) << out.toStdString();
        const QString reason = refused.first().mid(prefix.size());
        EXPECT_EQ(run(QStringList{QStringLiteral("config"), QStringLiteral("set")} + c.config), cli::RunFailed);
        EXPECT_TRUE(err.contains(reason)) << reason.toStdString() << "\n" << err.toStdString();
    }

    // A description written as an empty quoted cell is refused by the check, not by the database.
    const QString empty =
        writeFile(files, QStringLiteral("empty.csv"), "code;description;mac;34\r\n201;\"\";000B82E79E4A;pw\r\n");
    for (const QString& last : {QStringLiteral("--dry-run"), QStringLiteral("--yes")}) {
        EXPECT_EQ(run({QStringLiteral("phones"), QStringLiteral("import"), empty, QStringLiteral("--company"),
                       QStringLiteral("ALPIN"), QStringLiteral("--model"), QStringLiteral("GXP2000"), last}),
                  cli::RunFailed)
            << err.toStdString();
        EXPECT_TRUE(out.contains(QStringLiteral("Line 2, column description: a telephone needs a description")))
            << out.toStdString();
    }
    EXPECT_EQ(telephonesDump(working.db), before);
}
#endif

} // namespace
} // namespace vocaset::test
