#include <gtest/gtest.h>

#include "PhoneBookFixture.h"
#include "PhoneBookImport.h"

namespace vocaset::test {
namespace {

const QString AC = QStringLiteral("AC");
const QString BC = QStringLiteral("BC");

QByteArray users(const QList<QByteArrayList>& blocks)
{
    QByteArray out = "[Users]\r\n";
    int n = 0;
    for (const QByteArrayList& b : blocks) {
        out += "[User" + QByteArray::number(++n) + "]\r\n";
        for (const QByteArray& line : b)
            out += line + "\r\n";
    }
    return out;
}

QByteArrayList user(const QByteArray& first, const QByteArray& last, const QByteArray& ext)
{
    return {"Name=" + first, "Surname=" + last, "Extension=" + ext};
}

struct Import : PhoneBookData
{
    PhoneBookSummary run(const QByteArray& file, const QString& co = QStringLiteral("AC"))
    {
        write(QStringLiteral("confUsers.ini"), file);
        log.lines.clear();
        PhoneBookImport import(s, log);
        return import.run({co, QStringLiteral("GXP2000"), files.path()});
    }
};

// The state table of the import for one company, while the other company's entries (some with the
// same extensions) stay exactly as they were.
TEST(PhoneBookImport, BringsTheChosenCompanyInLineWithTheFile)
{
    Import t;
    t.entry(AC, QStringLiteral("100"), QStringLiteral("Old name"), QStringLiteral("V"));
    t.entry(AC, QStringLiteral("101"), QStringLiteral("Gone"), QStringLiteral("V"));
    t.entry(AC, QStringLiteral("102"), QStringLiteral("Hidden"), QStringLiteral("H"));
    t.entry(AC, QStringLiteral("103"), QStringLiteral("By hand"), QStringLiteral("M"));
    t.entry(AC, QStringLiteral("104"), QStringLiteral("By hand too"), QStringLiteral("M"));
    t.entry(BC, QStringLiteral("100"), QStringLiteral("Other"), QStringLiteral("V"));
    t.entry(BC, QStringLiteral("101"), QStringLiteral("Other gone"), QStringLiteral("V"));
    const QStringList otherCompany = t.book(BC);

    const QByteArray file = users({
        user("Ann", "Lee", "100"),
        user("Hid", "Den", "102"),
        user("Man", "Ual", "103"),
        user("Siobhan", "O'Brien", "105"),
        user("Again", "Twice", "105"),
        {"Name=No", "Extension=106"},   // no surname line
        user("Empty", "Extension", ""), // empty extension
        {"Name=\xDCmit",
         "Surname=\xC7"
         "elik",
         "Extension=107"}, // Windows-1252 letters
    });
    const PhoneBookSummary first = t.run(file);
    EXPECT_EQ(first.outcome, PhoneBookOutcome::Completed);
    EXPECT_EQ(first.selected, 6);
    EXPECT_EQ(first.succeeded, 3);
    EXPECT_EQ(t.log.lines, (QStringList{QStringLiteral("100 - Ann Lee  - Updated"),
                                        QStringLiteral("102 - Hid Den  - Ignored, Hidden or Manual"),
                                        QStringLiteral("103 - Man Ual  - Ignored, Hidden or Manual"),
                                        QStringLiteral("105 - Siobhan O'Brien  - Added"),
                                        QStringLiteral("105 - Again Twice  - Ignored, Hidden or Manual"),
                                        QStringLiteral("107 - Ümit Çelik  - Added")}));
    EXPECT_EQ(t.book(AC), (QStringList{QStringLiteral("100=Ann Lee /V"), QStringLiteral("101=Gone/H"),
                                       QStringLiteral("102=Hidden/H"), QStringLiteral("103=By hand/M"),
                                       QStringLiteral("104=By hand too/M"), QStringLiteral("105=Siobhan O'Brien /V"),
                                       QStringLiteral("107=Ümit Çelik /V")}));
    EXPECT_EQ(t.book(BC), otherCompany);

    // The same file again: every imported user is refreshed, nothing more is hidden.
    t.run(file);
    EXPECT_EQ(t.log.lines.filter(QStringLiteral(" - Updated")).size(), 3);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONE_BOOK WHERE BK_FLAG = 'H'")), 2);

    // A list of no users hides every imported entry of the company, and only of it.
    t.run("[Users]\r\n");
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONE_BOOK WHERE CO_CODE = 'AC' AND BK_FLAG = 'V'")), 0);
    EXPECT_EQ(t.book(BC), otherCompany);
}

// Reading follows the header rules exactly: a line taken as a block's Name=, Surname= or Extension=
// line is never a header itself; lines may end in LF alone.
TEST(PhoneBookImport, ReadsOnlyWellFormedUserBlocks)
{
    const struct
    {
        QByteArray text;
        QStringList expected; // extension=name
    } cases[] = {
        {"[User1]\nName=A\nSurname=B\nExtension=1\n", {QStringLiteral("1=A B ")}},
        {"[Users]\r\n[User1]\r\nName=A\r\nSurname=B\r\nExtension=1", {QStringLiteral("1=A B ")}},
        {"[User1]\r\n[User2]\r\nName=A\r\nSurname=B\r\nExtension=2\r\n", {}},
        {"[User1]\r\nName=A\r\n[User2]\r\nName=C\r\nSurname=D\r\nExtension=3\r\n", {}},
        {"[User1]\r\nName=A\r\nSurname=B\r\nExtension=1\r\n[User2]\r\nName=C\r\nSurname=D\r\nExtension=2\r\n",
         {QStringLiteral("1=A B "), QStringLiteral("2=C D ")}},
        {"[User1]\r\nname=A\r\nSurname=B\r\nExtension=1\r\n", {}},
        {" [User1]\r\nName=A\r\nSurname=B\r\nExtension=1\r\n", {}},
        {"[User1]\r\nName=\r\nSurname=\r\nExtension=9\r\nExtra=1\r\n", {QStringLiteral("9=  ")}},
    };
    for (const auto& c : cases) {
        const UserList list = parseUserList(c.text);
        EXPECT_EQ(list.problem, UserList::None);
        QStringList got;
        for (const ImportedUser& u : list.users)
            got.append(u.extension + u'=' + u.name);
        EXPECT_EQ(got, c.expected) << c.text.constData();
    }
}

// A file that is not a user list, or none at all, changes nothing and says why.
TEST(PhoneBookImport, RefusedFilesChangeNothing)
{
    Import t;
    t.entry(AC, QStringLiteral("100"), QStringLiteral("Kept"), QStringLiteral("V"));
    QByteArray many = "[Users]\r\n";
    for (int n = 0; n <= UserList::kMaxUsers; ++n)
        many += "[User]\r\nName=A\r\nSurname=B\r\nExtension=" + QByteArray::number(n) + "\r\n";
    const struct
    {
        QByteArray file;
        const char* message;
    } cases[] = {
        {QByteArray("[Users]\r\n[User1]\r\nName=A\0B\r\n", 25), "M293:"},
        {"[Users]\r\n" + QByteArray(UserList::kMaxLine + 1, 'x') + "\r\n", "M294:"},
        {many, "M295:"},
    };
    for (const auto& c : cases) {
        t.op.messages.clear();
        EXPECT_EQ(t.run(c.file).outcome, PhoneBookOutcome::Refused) << c.message;
        EXPECT_EQ(t.op.messages, QStringList{QLatin1String(c.message) + t.path(QStringLiteral("confUsers.ini"))});
        EXPECT_EQ(t.book(AC), QStringList{QStringLiteral("100=Kept/V")}) << c.message;
    }

    QFile::remove(t.path(QStringLiteral("confUsers.ini")));
    t.op.messages.clear();
    PhoneBookImport import(t.s, t.log);
    EXPECT_EQ(import.run({AC, QStringLiteral("GXP2000"), t.files.path()}).outcome, PhoneBookOutcome::FileMissing);
    EXPECT_EQ(t.op.messages, QStringList{QStringLiteral("M16:") + t.path(QStringLiteral("confUsers.ini"))});
    EXPECT_EQ(import.run({BC, QStringLiteral("PAP2"), t.files.path()}).outcome, PhoneBookOutcome::NotSupported);
}

// A refused statement logs M17 with the reason and the import goes on; a stopped import keeps nothing.
TEST(PhoneBookImport, FailedStepsAreLoggedAndAStopKeepsNothing)
{
    Import t;
    t.entry(AC, QStringLiteral("100"), QStringLiteral("Old"), QStringLiteral("V"));
    t.exec(QStringLiteral("DELETE FROM CREATION_FLAGS WHERE FL_CODE = 'M'"));
    const QByteArray longName(60, 'n');
    // Inserting needs the letter V in the flag table; updates work without new letters.
    t.exec(QStringLiteral("UPDATE PHONE_BOOK SET BK_FLAG = 'H'"));
    t.exec(QStringLiteral("DELETE FROM CREATION_FLAGS WHERE FL_CODE = 'V'"));
    const PhoneBookSummary s = t.run(users({user("New", "One", "200"), user(longName, "X", "201")}));
    EXPECT_EQ(s.outcome, PhoneBookOutcome::Completed);
    EXPECT_EQ(s.failed, 2);
    ASSERT_EQ(t.log.lines.size(), 3);
    EXPECT_EQ(t.log.lines[0], QStringLiteral("M17:"));
    EXPECT_TRUE(t.log.lines[1].startsWith(QStringLiteral("200 - New One : "))) << t.log.lines[1].toStdString();
    EXPECT_TRUE(t.log.lines[2].startsWith(QStringLiteral("M301:201 - ")));
    EXPECT_EQ(t.book(AC), QStringList{QStringLiteral("100=Old/H")});

    t.exec(QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('V', 'flag', 'N')"));
    t.exec(QStringLiteral("UPDATE PHONE_BOOK SET BK_FLAG = 'V'"));
    struct StopAfterFirst : RunLog
    {
        PhoneBookImport* import = nullptr;
        void append(const QString&) override { import->requestStop(); }
    } stopper;
    t.write(QStringLiteral("confUsers.ini"), users({user("A", "B", "300"), user("C", "D", "301")}));
    PhoneBookImport import(t.s, stopper);
    stopper.import = &import;
    const PhoneBookSummary stopped = import.run({AC, QStringLiteral("GXP2000"), t.files.path()});
    EXPECT_EQ(stopped.outcome, PhoneBookOutcome::Aborted);
    EXPECT_EQ(stopped.done, 1);
    EXPECT_EQ(t.book(AC), QStringList{QStringLiteral("100=Old/V")});
}

} // namespace
} // namespace vocaset::test
