#include <gtest/gtest.h>

#include <sys/stat.h>

#include "ChangeHistory.h"
#include "FullDisk.h"
#include "Interleaving.h"
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
    EXPECT_EQ(t.log.lines,
              (QStringList{t.path(QStringLiteral("confUsers.ini")) + QStringLiteral(" was read as Windows-1252."),
                           QStringLiteral("100 - Ann Lee  - Updated"),
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

    // A list of one user hides every other imported entry of the company, and only of it.
    t.op.yesNo.enqueue(true);
    t.run(users({user("Ann", "Lee", "100")}));
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONE_BOOK WHERE CO_CODE = 'AC' AND BK_FLAG = 'V'")), 1);
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
        // The "[Users]" line is needed, and is never a user's header; a list of no user is none.
        const UserList list = parseUserList(c.text.startsWith("[Users]") ? c.text : "[Users]\n" + c.text);
        EXPECT_EQ(list.problem, c.expected.isEmpty() ? UserList::NoUsers : UserList::None);
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
        // A failed copy leaves an empty file, or one of the section alone; a file without the
        // section is some other file.
        {"", "M431:"},
        {"[User1]\r\nName=A\r\nSurname=B\r\nExtension=100\r\n", "M431:"},
        {"[Users]\r\n", "M757:"},
        {"[Users]\r\n[User1]\r\nName=A\r\nExtension=100\r\n", "M757:"},
    };
    for (const auto& c : cases) {
        t.op.messages.clear();
        EXPECT_EQ(t.run(c.file).outcome, PhoneBookOutcome::Refused) << c.message;
        EXPECT_EQ(t.op.messages, QStringList{QLatin1String(c.message) + t.path(QStringLiteral("confUsers.ini"))});
        EXPECT_EQ(t.book(AC), QStringList{QStringLiteral("100=Kept/V")}) << c.message;
    }
    // Neither a device nor a FIFO is read: one would never end, the other block the program.
    const QString file = t.path(QStringLiteral("confUsers.ini"));
    for (const bool fifo : {false, true}) {
        QFile::remove(file);
        ASSERT_TRUE(fifo ? ::mkfifo(QFile::encodeName(file).constData(), 0600) == 0
                         : QFile::link(QStringLiteral("/dev/zero"), file));
        t.op.messages.clear();
        EXPECT_EQ(PhoneBookImport(t.s, t.log).run({AC, QStringLiteral("GXP2000"), t.files.path()}).outcome,
                  PhoneBookOutcome::Refused);
        EXPECT_EQ(t.op.messages, QStringList{QStringLiteral("M296:") + file +
                                             QStringLiteral(": is not a regular file (a device, FIFO or socket)")});
    }
    EXPECT_EQ(t.book(AC), QStringList{QStringLiteral("100=Kept/V")});

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
    ASSERT_EQ(t.log.lines.size(), 5);
    EXPECT_EQ(t.log.lines[1], QStringLiteral("M17:"));
    EXPECT_TRUE(t.log.lines[2].startsWith(QStringLiteral("200 - New One : "))) << t.log.lines[2].toStdString();
    EXPECT_TRUE(t.log.lines[3].startsWith(QStringLiteral("M301:201 - ")));
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

// A user that is in the file but cannot be imported keeps the entry it had: a name too long for its
// column (refused alike on both engines) and an update the database refuses.
TEST(PhoneBookImport, ARefusedUserKeepsItsEntry)
{
    Import t;
    t.entry(AC, QStringLiteral("100"), QStringLiteral("Old"), QStringLiteral("V"));
    t.entry(AC, QStringLiteral("101"), QStringLiteral("Kept"), QStringLiteral("V"));
    t.entry(AC, QStringLiteral("102"), QStringLiteral("Gone"), QStringLiteral("V"));
    refuseWrites(t.tdb.db, QStringLiteral("UPDATE OF BK_NAME"), QStringLiteral("PHONE_BOOK"),
                 QStringLiteral("NEW.BK_NUM = '101'"), Refusal::Row);
    const PhoneBookSummary s =
        t.run(users({user(QByteArray(60, 'n'), "X", "100"), user("New", "Name", "101"), user("A", "B", "103")}));
    EXPECT_EQ(s.failed, 2);
    EXPECT_TRUE(
        t.log.lines.contains(QStringLiteral("The value of BK_NAME is longer than the 50 characters the column holds.")))
        << t.log.lines.join(u'\n').toStdString();
    EXPECT_TRUE(t.log.lines.contains(QStringLiteral("M17:")));
    EXPECT_EQ(t.book(AC), (QStringList{QStringLiteral("100=Old/V"), QStringLiteral("101=Kept/V"),
                                       QStringLiteral("102=Gone/H"), QStringLiteral("103=A B /V")}));
}

// Users go in blocks; a user the database refuses inside a block is logged and counted alone, in its
// place in the file, and every other user of the block still goes in. A user listed twice is decided
// on what the first one left.
TEST(PhoneBookImport, ARefusedUserInsideABlockLeavesTheOthersIn)
{
    Import t;
    for (int n = 1000; n < 1600; ++n)
        t.entry(AC, QString::number(n), QStringLiteral("Old"), QStringLiteral("V"));
    refuseWrites(t.tdb.db, QStringLiteral("UPDATE OF BK_NAME"), QStringLiteral("PHONE_BOOK"),
                 QStringLiteral("NEW.BK_NUM = '1300'"), Refusal::Row);
    refuseWrites(t.tdb.db, QStringLiteral("INSERT"), QStringLiteral("PHONE_BOOK"),
                 QStringLiteral("NEW.BK_NUM = '1900'"), Refusal::Row);
    QList<QByteArrayList> blocks;
    QStringList expectedLog, expectedBook;
    for (int n = 1000; n < 2200; ++n) {
        const QByteArray ext = QByteArray::number(n);
        blocks.append(user("U" + ext, "S", ext));
        const QString entry = QString::number(n) + QStringLiteral(" - U") + QString::number(n) + QStringLiteral(" S ");
        const bool refused = n == 1300 || n == 1900;
        if (refused)
            expectedLog << QStringLiteral("M17:") << entry;
        else
            expectedLog << entry + (n < 1600 ? QStringLiteral(" - Updated") : QStringLiteral(" - Added"));
        if (n != 1900)
            expectedBook << QString::number(n) + u'=' +
                                (n == 1300 ? QStringLiteral("Old")
                                           : u'U' + QString::number(n) + QStringLiteral(" S ")) +
                                QStringLiteral("/V");
    }
    blocks.append(user("Again", "S", "2199"));
    expectedLog << QStringLiteral("2199 - Again S  - Ignored, Hidden or Manual");

    const PhoneBookSummary s = t.run(users(blocks));
    EXPECT_EQ(s.outcome, PhoneBookOutcome::Completed);
    EXPECT_EQ(s.done, 1201);
    EXPECT_EQ(s.succeeded, 1198);
    EXPECT_EQ(s.failed, 2);
    QStringList log = t.log.lines.mid(1); // after the encoding line
    for (QString& line : log) {
        if (line.contains(QLatin1String("refused by a rule")))
            line = line.section(QStringLiteral(": "), 0, 0);
    }
    EXPECT_EQ(log, expectedLog);
    EXPECT_EQ(t.book(AC), expectedBook);
}

// The history holds what the import changed in the end, one row per record added and per column
// changed, and nothing for a user the engine refused, an entry left as it was or another company.
TEST(PhoneBookImport, TheHistoryHoldsWhatTheImportChanged)
{
    Import t;
    t.entry(AC, QStringLiteral("1"), QStringLiteral("Old"), QStringLiteral("V"));
    t.entry(AC, QStringLiteral("2"), QStringLiteral("Same S "), QStringLiteral("V"));
    t.entry(AC, QStringLiteral("3"), QStringLiteral("Gone"), QStringLiteral("V"), QStringLiteral("g@x"));
    t.entry(AC, QStringLiteral("4"), QStringLiteral("Kept"), QStringLiteral("H"));
    t.entry(AC, QStringLiteral("6"), QStringLiteral("Old"), QStringLiteral("V"));
    t.entry(BC, QStringLiteral("1"), QStringLiteral("Other"), QStringLiteral("V"));
    refuseWrites(t.tdb.db, QStringLiteral("INSERT"), QStringLiteral("PHONE_BOOK"), QStringLiteral("NEW.BK_NUM = '5'"),
                 Refusal::Row);
    refuseWrites(t.tdb.db, QStringLiteral("UPDATE OF BK_NAME"), QStringLiteral("PHONE_BOOK"),
                 QStringLiteral("NEW.BK_NUM = '6'"), Refusal::Row);
    const PhoneBookSummary s =
        t.run(users({user("New", "S", "1"), user("Same", "S", "2"), user("Kept", "S", "4"), user("Five", "S", "5"),
                     user("Six", "S", "6"), user("O'Neil", "S", "7/b\\c")}));
    EXPECT_EQ(s.failed, 2);
    QStringList recorded;
    for (const HistoryEntry& e : readHistory(t.tdb.db, {})) {
        recorded.append(
            QStringList{e.source, e.operation, e.table, e.key, e.column, e.oldValue, e.newValue, e.company, e.phone}
                .join(u'|'));
    }
    recorded.sort();
    EXPECT_EQ(recorded, QStringList({
                            QStringLiteral("phone-book import|edit|PHONE_BOOK|AC/1|BK_NAME|Old|New S |AC|"),
                            QStringLiteral("phone-book import|edit|PHONE_BOOK|AC/3|BK_FLAG|V|H|AC|"),
                            QStringLiteral("phone-book import|new|PHONE_BOOK|AC/7\\/b\\\\c|||BK_NAME=O'Neil S ; "
                                           "BK_FLAG=V|AC|"),
                        }));
}

// Control characters never reach a name or an extension: the old end-of-file mark after the last
// line ends the file, any other refuses its line, and a file with a refused line hides nothing.
// A UTF-8 list is read as UTF-8, with or without its byte-order mark.
TEST(PhoneBookImport, ControlCharactersAndEncodings)
{
    const struct
    {
        QByteArray text;
        QStringList users; // extension=name
        QList<qsizetype> refused;
        bool utf8;
    } cases[] = {
        {users({user("A", "B", "201"), user("C", "D", "202")}) + "\x1a",
         {QStringLiteral("201=A B "), QStringLiteral("202=C D ")},
         {},
         true},
        {"[Users]\r\n[User1]\r\nName=A\r\nSurname=B\r\nExtension=202\x1a\r\n\x1a",
         {QStringLiteral("202=A B ")},
         {},
         true},
        {users({user("A\vX", "B", "201"), user("C", "D", "202")}), {QStringLiteral("202=C D ")}, {3}, true},
        {users({user("A", "B", "201\f"), user("C", "D", "202")}), {QStringLiteral("202=C D ")}, {5}, true},
        {users({user("A", "B",
                     "201\x1a"
                     "9"),
                user("C", "D", "202")}),
         {QStringLiteral("202=C D ")},
         {5},
         true},
        // Tab and the Unicode line and paragraph separators too.
        {users({user("A\tT", "B", "201"), user("C", "D", "202")}), {QStringLiteral("202=C D ")}, {3}, true},
        {users({user("A", "B", "2\t01"), user("C", "D", "202")}), {QStringLiteral("202=C D ")}, {5}, true},
        {users({user("A", "B\xe2\x80\xa8X", "201"), user("C", "D", "202")}), {QStringLiteral("202=C D ")}, {4}, true},
        {users({user("A", "B",
                     "20\xe2\x80\xa9"
                     "1"),
                user("C", "D", "202")}),
         {QStringLiteral("202=C D ")},
         {5},
         true},
        {users({user("Zo\xc3\xab",
                     "\xc3\x87"
                     "elik",
                     "201")}),
         {QStringLiteral("201=Zo\u00eb \u00c7elik ")},
         {},
         true},
        {"\xef\xbb\xbf" + users({user("Zo\xc3\xab", "B", "201")}), {QStringLiteral("201=Zo\u00eb B ")}, {}, true},
        {users({user("Zo\xeb", "\x80", "201")}), {QStringLiteral("201=Zo\u00eb \u20ac ")}, {}, false},
        {users({user("A\xc2\x85", "B", "201")}), {}, {3}, true}, // a C1 control in UTF-8
    };
    for (const auto& c : cases) {
        const UserList list = parseUserList(c.text);
        QStringList got;
        for (const ImportedUser& u : list.users)
            got.append(u.extension + u'=' + u.name);
        EXPECT_EQ(list.problem, UserList::None) << c.text.toStdString();
        EXPECT_EQ(got, c.users) << c.text.toStdString();
        EXPECT_EQ(list.refusedLines, c.refused) << c.text.toStdString();
        EXPECT_EQ(list.utf8, c.utf8) << c.text.toStdString();
    }

    Import t;
    t.entry(AC, QStringLiteral("201"), QStringLiteral("Kept"), QStringLiteral("V"));
    t.entry(AC, QStringLiteral("202"), QStringLiteral("Real"), QStringLiteral("V"));
    t.entry(AC, QStringLiteral("203"), QStringLiteral("Not listed"), QStringLiteral("V"));
    const PhoneBookSummary s = t.run(users({user("A\vX", "B", "201"), user("Zo\xc3\xab", "C", "202")}) + "\x1a");
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(t.log.lines.mid(0, 2),
              (QStringList{t.path(QStringLiteral("confUsers.ini")) + QStringLiteral(" was read as UTF-8."),
                           QStringLiteral("Line 3 holds a control character and was not read; nothing is hidden.")}));
    EXPECT_EQ(t.book(AC), (QStringList{QStringLiteral("201=Kept/V"), QStringLiteral("202=Zo\u00eb C /V"),
                                       QStringLiteral("203=Not listed/V")}));
}

// An import that would hide more than half of the company's visible entries asks first; No
// changes nothing. A file holding only "[Users]" is refused, as an empty one is: it hides nothing.
TEST(PhoneBookImport, HidingMostOfThePhoneBookIsAskedFirst)
{
    Import t;
    for (const char* n : {"100", "101", "102", "103"})
        t.entry(AC, QLatin1String(n), QStringLiteral("Name"), QStringLiteral("V"));
    t.entry(AC, QStringLiteral("104"), QStringLiteral("Name"), QStringLiteral("H"));
    t.entry(BC, QStringLiteral("100"), QStringLiteral("Other"), QStringLiteral("V"));
    const QStringList before = t.book(AC);

    t.run(users({user("A", "B", "100"), user("C", "D", "101")})); // half: no question
    EXPECT_TRUE(t.op.questions.isEmpty());
    t.exec(QStringLiteral("UPDATE PHONE_BOOK SET BK_FLAG = 'V' WHERE BK_NUM IN ('102', '103')"));

    t.op.yesNo.enqueue(false);
    EXPECT_EQ(t.run(users({user("A", "B", "100")})).outcome, PhoneBookOutcome::Declined);
    EXPECT_EQ(t.op.questions.value(0),
              QStringLiteral("This import would hide 3 of the 4 visible entries of company "
                             "AC. Hidden entries are never brought back by an import. Go on?"));
    EXPECT_TRUE(t.log.lines.contains(QStringLiteral("Import not confirmed: nothing was changed.")));
    EXPECT_EQ(t.book(AC).size(), before.size());
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONE_BOOK WHERE CO_CODE = 'AC' AND BK_FLAG = 'V'")), 4);

    EXPECT_EQ(t.run("[Users]\r\n").outcome, PhoneBookOutcome::Refused);
    EXPECT_EQ(t.op.questions.size(), 1);
    EXPECT_EQ(t.count(QStringLiteral("SELECT * FROM PHONE_BOOK WHERE BK_FLAG = 'V'")), 5);
}

// Two operators import a user list into one company at once: the second waits for the first, then
// finds every entry there and changes nothing. The history holds the first run's entries, once.
TEST(PhoneBookImport, TwoImportsOfOneCompanyAtOnceRecordWhatEachChanged)
{
    Import t;
    t.entry(AC, QStringLiteral("100"), QStringLiteral("Old name"), QStringLiteral("V"));
    QList<QByteArrayList> list = {user("Ann", "Lee", "100")};
    for (int i = 0; i < 30; ++i)
        list.append(user("User", QByteArray::number(i), QByteArray::number(200 + i)));
    t.write(QStringLiteral("confUsers.ini"), users(list));
    ConcurrentOperator second(t.tdb);
    PhoneBookSummary secondDid;
    OtherOperator points(t.tdb);
    points.at(QStringLiteral("phonebook.read"), [&] {
        second.start([&](Session& s) {
            secondDid = PhoneBookImport(s, second.log).run({AC, QStringLiteral("GXP2000"), t.files.path()});
        });
    });
    const PhoneBookSummary firstDid = t.run(users(list));
    EXPECT_EQ(second.finish(), QString());
    EXPECT_EQ(firstDid.succeeded, 31);
    EXPECT_TRUE(points.passed.contains(QStringLiteral("phonebook.read")));
    EXPECT_EQ(secondDid.succeeded, 31) << "each entry is there as the file has it";
    QStringList recorded;
    for (const HistoryEntry& e : readHistory(t.tdb.db, {}))
        recorded.append(e.operation + u' ' + e.key + u' ' + e.column + u' ' + e.oldValue);
    recorded.sort();
    EXPECT_EQ(recorded.size(), 31) << recorded.join(u'\n').toStdString();
    EXPECT_EQ(recorded.count(QStringLiteral("edit AC/100 BK_NAME Old name")), 1);
    EXPECT_EQ(t.book(AC).size(), 31);
}

} // namespace
} // namespace vocaset::test
