#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "AddressHistory.h"
#include "HelpSeed.h"
#include "HelpTexts.h"
#include "ManualPage.h"
#include "Messages.h"
#include "SystemInformation.h"
#include "TextFile.h"

using namespace vocaset;
using vocaset::test::TestSession;

TEST(AddressHistory, MostRecentFirstEachOnce)
{
    const struct
    {
        const char* visits;
        const char* entries;
        int limit;
    } cases[] = {
        {"a a", "a", 50},          {"a b a", "a b", 50},
        {"a b c b", "b c a", 50},  {"m#X m M", "M m m#X", 50}, // the section is part of the address; case counts
        {"1 2 3 4 2", "2 4 3", 3},
    };
    for (const auto& c : cases) {
        AddressHistory h(c.limit);
        for (const QString& v : QString::fromLatin1(c.visits).split(u' '))
            h.visited(v);
        h.visited({});
        EXPECT_EQ(h.entries().join(u' '), QLatin1String(c.entries)) << c.visits;
    }
}

TEST(ManualPage, AddressFromTheProgramFolderAndTypedAddresses)
{
    // A '#', '%' or blank in a folder name stays part of the path, and the list's text leads back.
    for (const char* folder : {"/opt/vocaset/bin", "/home/ops/Vocaset 1.1", "/srv/tel#2/bin", "/srv/100%/bin"}) {
        const QUrl url = manualUrl(QString::fromUtf8(folder));
        EXPECT_EQ(url.toLocalFile(), QString::fromUtf8(folder) + QStringLiteral("/manual.htm")) << folder;
        EXPECT_EQ(addressUrl(url.toDisplayString(), {}), url) << folder;
    }
    EXPECT_EQ(manualUrl(QStringLiteral("/opt/v"), QStringLiteral("FGenerate")).toString(),
              QStringLiteral("file:///opt/v/manual.htm#FGenerate"));
    EXPECT_EQ(manualUrl(QStringLiteral("\\\\server\\share")).toString(),
              QStringLiteral("file://server/share/manual.htm"));

    EXPECT_EQ(addressUrl(QStringLiteral(" About:Blank "), {}), QUrl(QStringLiteral("about:blank")));
    EXPECT_EQ(addressUrl(QStringLiteral("manual.htm#FReboot"), QStringLiteral("/opt/v")).toString(),
              QStringLiteral("file:///opt/v/manual.htm#FReboot"));
    EXPECT_EQ(addressUrl(QStringLiteral("https://vocaset.example.org/"), {}).scheme(), QStringLiteral("https"));
}

TEST(AboutTexts, VersionAuthorshipAndLanguages)
{
    TestSession t;
    // Without the rows (a database from before them): the built-in English texts.
    const AboutTexts bare = aboutTexts(t.s);
    EXPECT_EQ(bare.caption, QStringLiteral("About Vocaset"));
    EXPECT_EQ(bare.version, QStringLiteral("Version 1.1.42"));
    EXPECT_TRUE(bare.description.endsWith(QStringLiteral("public domain: use, copy and change it freely.\n"
                                                         "https://vocaset.example.org/")));

    test::loadHelpSeed(t);
    t.s.language = QStringLiteral("FR");
    t.s.programVersion = QStringLiteral("020310");
    const AboutTexts fr = aboutTexts(t.s);
    EXPECT_EQ(fr.caption, QStringLiteral("À propos de Vocaset"));
    EXPECT_EQ(fr.version, QStringLiteral("Version 2.3.10"));
    EXPECT_EQ(textOr(t.s, QLatin1String(helpkey::kLoading), {}), QStringLiteral("Traitement en cours..."));
    t.s.language = QStringLiteral("DE"); // no rows: the English ones
    EXPECT_EQ(aboutTexts(t.s).caption, QStringLiteral("About Vocaset"));
    for (const char* stored : {"", "1.1.42", "01014"})
        EXPECT_EQ(dottedVersion(QLatin1String(stored)), QLatin1String(stored));

    // Every text in both languages, every message code in the help range.
    const auto codes = [&](const char* language) {
        QStringList out;
        for (auto rs = t.tdb.db.execute(QStringLiteral("SELECT SY_SUBCODE FROM SYSTEM_PARAMETERS WHERE SY_CODE = "
                                                       "'$$DESC_") +
                                        QLatin1String(language) + QStringLiteral("' ORDER BY SY_SUBCODE"));
             !rs.eof(); rs.moveNext())
            out << rs.text(0);
        return out;
    };
    EXPECT_EQ(codes("EN"), codes("FR"));
    for (const QString& code : codes("EN"))
        EXPECT_TRUE(!code.startsWith(u'M') || (code.mid(1).toInt() >= 350 && code.mid(1).toInt() <= 369))
            << code.toStdString();
}

TEST(SystemInformation, FirstExecutableProgramOfTheList)
{
    QTemporaryDir a, b;
    const auto program = [](const QString& path, bool executable) {
        writeFileAtomically(path, "#!/bin/sh\n");
        QFile::setPermissions(path, executable ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
    };
    EXPECT_TRUE(findSystemInfoProgram({a.path(), b.path()}).isEmpty());
    EXPECT_FALSE(startSystemInfo({a.path()}));
    program(a.path() + QStringLiteral("/hardinfo"), false); // not executable: no program
    program(b.path() + QStringLiteral("/gnome-system-monitor"), true);
    EXPECT_EQ(findSystemInfoProgram({a.path(), b.path()}), b.path() + QStringLiteral("/gnome-system-monitor"));
    program(b.path() + QStringLiteral("/hardinfo"), true); // the list's order wins over the folders'
    QDir(b.path()).mkdir(QStringLiteral("hardinfo2"));     // a folder is no program
    EXPECT_EQ(findSystemInfoProgram({a.path(), b.path()}), b.path() + QStringLiteral("/hardinfo"));
}
