// Several operators on one database: a bulk run whose write meets a row another operator committed
// after the run read ends in the program's words, with nothing of it kept.

#include <gtest/gtest.h>

#include "DemoCli.h"
#include "Dialect.h"
#include "Interleaving.h"
#include "Schema.h"

namespace vocaset::test {
namespace {

class Conflicts : public DemoCli
{
protected:
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = demoDir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
};

// At the point where each run has read what it will write, another operator commits a row with a
// key the run is about to write. On the server the run ends with exit 1 and a line naming that row
// and saying to try again, then the engine's text; of the run nothing is kept. On SQLite the run's
// write transaction keeps the other operator out, and the run goes through. Either way the other
// operator's statement, sent again, is a key taken in the classifier's reading of the engine's
// answer; a reference broken either way is read as such.
TEST_F(Conflicts, ABulkWriteMeetingAnotherOperatorsRowEndsInTheProgramsWords)
{
    const bool server = working.engine() == Engine::PostgreSQL;
    writeFile(QStringLiteral("confUsers.ini"), "[Users]\r\n[User1]\r\nName=Cleo\r\nSurname=Dunn\r\nExtension=901\r\n"
                                               "[User2]\r\nName=Ivo\r\nSurname=Berg\r\nExtension=902\r\n");
    const QString phones =
        writeFile(QStringLiteral("phones.csv"), "code;description;mac\r\n5101;Hall;000B82A00001\r\n"
                                                "5102;Lab;000B82A00002\r\n5103;Desk;000B82A00003\r\n");
    const QStringList alpin = {QStringLiteral("--company"), QStringLiteral("ALPIN")};
    const QStringList gxp = {QStringLiteral("--model"), QStringLiteral("GXP2000")};
    const auto words = [](const QString& what) -> QString {
        return QStringLiteral("Another operator changed ") + what +
               QStringLiteral(" meanwhile: a record with the same key is there now. Nothing was saved; try again.\n");
    };
    const struct
    {
        QStringList run;
        const char* point;
        QString other; // the other operator's row, committed at the point
        QString undo;  // takes it away again
        QString what;  // how the run names it
    } cases[] = {
        {QStringList{QStringLiteral("ranges"), QStringLiteral("add"), QStringLiteral("--from"), QStringLiteral("5000"),
                     QStringLiteral("--to"), QStringLiteral("5009"), QStringLiteral("--yes")} +
             alpin,
         "ranges.read", QStringLiteral("INSERT INTO RANGES VALUES('ALPIN', '5005')"),
         QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = 'ALPIN' AND PH_CODE = '5005'"),
         QStringLiteral("the code 5005 of company ALPIN")},
        {QStringList{QStringLiteral("phonebook"), QStringLiteral("import"), QStringLiteral("--dir"), demoDir.path(),
                     QStringLiteral("--yes")} +
             alpin + gxp,
         "phonebook.read",
         QStringLiteral("INSERT INTO PHONE_BOOK VALUES('ALPIN', '902', 'Bob''s', 'H', '', '', '', '')"),
         QStringLiteral("DELETE FROM PHONE_BOOK WHERE CO_CODE = 'ALPIN' AND BK_NUM = '902'"),
         QStringLiteral("the phone-book entry 902 of company ALPIN")},
        {QStringList{QStringLiteral("phones"), QStringLiteral("import"), phones, QStringLiteral("--yes")} + alpin + gxp,
         "import.checked", QStringLiteral("INSERT INTO RANGES VALUES('ALPIN', '5102')"),
         QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = 'ALPIN' AND PH_CODE = '5102'"),
         QStringLiteral("the telephone 5102 of company ALPIN (line 3)")},
        {QStringList{QStringLiteral("rename"), QStringLiteral("telephone"), QStringLiteral("201"),
                     QStringLiteral("5201"), QStringLiteral("--yes")} +
             alpin,
         "rename.read", QStringLiteral("INSERT INTO RANGES VALUES('ALPIN', '5201')"),
         QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = 'ALPIN' AND PH_CODE = '5201'"),
         QStringLiteral("the telephone 201 of company ALPIN (being renamed 5201)")},
    };
    // What the engine answers a statement, in the classifier's reading.
    const auto conflictOf = [this](const QString& sql) {
        try {
            working.db.execute(sql);
        } catch (const DbError& e) {
            return Dialect::conflictOf(e.code(), e.text(), working.engine());
        }
        return Dialect::Conflict::None;
    };
    qputenv("VOCASET_PASSWORD", "vocaset-admin");
    for (const auto& c : cases) {
        const std::string what = c.run.join(u' ').toStdString();
        const QStringList before = rows(true);
        OtherOperator other(working);
        interleaving = other.hook();
        QString refusal = QStringLiteral("not reached");
        other.at(QLatin1String(c.point), [&] { refusal = other.attempt(c.other); });
        const int exit = run(c.run);
        interleaving = {};
        if (server) {
            EXPECT_EQ(refusal, QString()) << what;
            EXPECT_EQ(exit, cli::RunFailed) << what << ": " << err.toStdString();
            // The program's line, then the engine's own text on the line after it.
            const qsizetype at = err.indexOf(words(c.what));
            EXPECT_GE(at, 0) << what << ": " << err.toStdString();
            EXPECT_TRUE(err.mid(at).contains(QLatin1String("duplicate key value")))
                << what << ": " << err.toStdString();
            EXPECT_EQ(conflictOf(c.other), Dialect::Conflict::KeyTaken) << what;
            EXPECT_EQ(other.attempt(c.undo), QString()) << what;
            EXPECT_EQ(rows(true), before) << what;
        } else {
            EXPECT_TRUE(OtherOperator::lockedOut(refusal)) << what << ": " << refusal.toStdString();
            EXPECT_EQ(exit, cli::Ok) << what << ": " << err.toStdString();
            EXPECT_FALSE(err.contains(QLatin1String("Another operator"))) << what << ": " << err.toStdString();
            EXPECT_NE(rows(true), before) << what;
            EXPECT_EQ(conflictOf(c.other), Dialect::Conflict::KeyTaken) << what;
        }
    }
    qunsetenv("VOCASET_PASSWORD");
    // A telephone of a code the company's range lacks, a range code a telephone still uses.
    EXPECT_EQ(conflictOf(QStringLiteral("INSERT INTO PHONES VALUES('ALPIN', '5998', 'GXP2000', 'Gone', '')")),
              Dialect::Conflict::Reference);
    EXPECT_EQ(conflictOf(QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = 'ALPIN' AND PH_CODE = '202'")),
              Dialect::Conflict::Reference);
    EXPECT_EQ(conflictOf(QStringLiteral("INSERT INTO NO_SUCH_TABLE VALUES(1)")), Dialect::Conflict::None);
}

} // namespace
} // namespace vocaset::test
