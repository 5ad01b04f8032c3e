#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "AddressHistory.h"
#include "HelpSeed.h"
#include "HelpTexts.h"
#include "ManualPage.h"
#include "Messages.h"
#include "SystemInformation.h"
#include "TestDatabase.h"
#include "TextFile.h"

using namespace vocaset;
using vocaset::test::loadHelpSeed;
using vocaset::test::TestSession;

namespace {

void makeProgram(const QString& path, QFile::Permissions permissions)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    file.setPermissions(permissions);
}

} // namespace

TEST(AddressHistory, MostRecentFirstEachOnce)
{
    const struct
    {
        QStringList visits;
        QStringList entries;
    } cases[] = {
        {{QStringLiteral("a"), QStringLiteral("a")}, {QStringLiteral("a")}},
        {{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("a")}, {QStringLiteral("a"), QStringLiteral("b")}},
        {{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("b")},
         {QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("a")}},
        // The section is part of the address; case matters on this file system.
        {{QStringLiteral("m.htm#X"), QStringLiteral("m.htm"), QStringLiteral("M.htm")},
         {QStringLiteral("M.htm"), QStringLiteral("m.htm"), QStringLiteral("m.htm#X")}},
        {{QString(), QStringLiteral("a"), QString()}, {QStringLiteral("a")}},
    };
    for (const auto& c : cases) {
        AddressHistory h;
        for (const QString& v : c.visits)
            h.visited(v);
        EXPECT_EQ(h.entries(), c.entries) << c.visits.join(u',').toStdString();
    }

    AddressHistory small(3);
    for (const char* v : {"1", "2", "3", "4", "2"})
        small.visited(QLatin1String(v));
    EXPECT_EQ(small.entries(), (QStringList{QStringLiteral("2"), QStringLiteral("4"), QStringLiteral("3")}));
}

TEST(ManualPage, AddressFromTheProgramFolder)
{
    // The address box shows the menu's address; the link keeps odd folder names as part of the path.
    for (const char* folder : {"/opt/vocaset/bin", "/home/ops/Vocaset 1.1", "/srv/tel#2/bin", "/srv/100%/bin"}) {
        const QString dir = QString::fromUtf8(folder);
        const QUrl url = manualUrl(dir);
        EXPECT_EQ(url.toLocalFile(), dir + QStringLiteral("/manual.htm")) << folder;
        EXPECT_TRUE(url.fragment().isEmpty()) << folder;
        EXPECT_EQ(addressUrl(url.toDisplayString(), {}), url) << folder; // an entry of the list leads back
    }
    EXPECT_EQ(manualUrl(QStringLiteral("/opt/vocaset/bin")).toString(),
              QStringLiteral("file:///opt/vocaset/bin/manual.htm"));
    EXPECT_EQ(manualUrl(QStringLiteral("/opt/v"), QStringLiteral("FGenerate")).toString(),
              QStringLiteral("file:///opt/v/manual.htm#FGenerate"));
    EXPECT_EQ(manualUrl(QStringLiteral("\\\\server\\share")).toString(),
              QStringLiteral("file://server/share/manual.htm"));

    EXPECT_EQ(addressUrl(QStringLiteral(" About:Blank "), {}), QUrl(QStringLiteral("about:blank")));
    EXPECT_EQ(addressUrl(QStringLiteral("manual.htm#FReboot"), QStringLiteral("/opt/v")).toString(),
              QStringLiteral("file:///opt/v/manual.htm#FReboot"));
    EXPECT_EQ(addressUrl(QStringLiteral("/tmp/x.htm"), QStringLiteral("/opt/v")).toLocalFile(),
              QStringLiteral("/tmp/x.htm"));
    EXPECT_EQ(addressUrl(QStringLiteral("https://vocaset.example.org/"), {}).scheme(), QStringLiteral("https"));
}

TEST(ManualPage, PagesReadInTheirDeclaredCharacterSet)
{
    const QString text = QStringLiteral("Générer — 5 €");
    const QByteArray cp = toCp1252(text);
    const QByteArray utf = text.toUtf8();
    const auto page = [](const char* meta, const QByteArray& body) {
        QByteArray bytes(meta);
        bytes.append(body);
        return bytes;
    };
    EXPECT_TRUE(decodeHtmlPage(page("<meta charset=\"windows-1252\">", cp)).endsWith(text));
    EXPECT_TRUE(decodeHtmlPage(page("<META http-equiv=Content-Type content='text/html; charset=ISO-8859-1'>", cp))
                    .endsWith(text));
    EXPECT_TRUE(decodeHtmlPage(page("<meta charset=utf-8>", utf)).endsWith(text));
    // Undeclared: UTF-8 when the bytes are valid UTF-8, else the manual's code page.
    EXPECT_EQ(decodeHtmlPage(utf), text);
    EXPECT_EQ(decodeHtmlPage(cp), text);

    EXPECT_EQ(locationName(QUrl(QStringLiteral("file:///a/manual.htm#X")), QStringLiteral(" Vocaset manual ")),
              QStringLiteral("Vocaset manual"));
    EXPECT_EQ(locationName(QUrl(QStringLiteral("file:///a/manual.htm#X")), {}), QStringLiteral("manual.htm"));
    EXPECT_EQ(locationName(QUrl(QStringLiteral("about:blank")), {}), QStringLiteral("about:blank"));
}

TEST(AboutTexts, VersionAuthorshipAndLanguages)
{
    TestSession t;
    // Without the rows (a database from before them): the built-in English texts.
    AboutTexts bare = aboutTexts(t.s);
    EXPECT_EQ(bare.caption, QStringLiteral("About Vocaset"));
    EXPECT_EQ(bare.title, QStringLiteral("Vocaset"));
    EXPECT_EQ(bare.version, QStringLiteral("Version 1.1.42"));
    EXPECT_TRUE(bare.description.endsWith(QStringLiteral("\nhttps://vocaset.example.org/")));
    EXPECT_TRUE(bare.description.contains(QStringLiteral("public domain")));

    loadHelpSeed(t);
    t.s.language = QStringLiteral("FR");
    t.s.programVersion = QStringLiteral("020310");
    const AboutTexts fr = aboutTexts(t.s);
    EXPECT_EQ(fr.caption, QStringLiteral("À propos de Vocaset"));
    EXPECT_EQ(fr.version, QStringLiteral("Version 2.3.10"));
    EXPECT_TRUE(fr.description.startsWith(QStringLiteral("Écrit par")));
    EXPECT_EQ(textOr(t.s, QLatin1String(helpkey::kSysInfoMissing), {}),
              QStringLiteral("Les informations système ne sont pas disponibles actuellement"));
    EXPECT_EQ(textOr(t.s, QLatin1String(helpkey::kLoading), {}), QStringLiteral("Traitement en cours..."));

    // A language without rows reads English rows.
    t.s.language = QStringLiteral("DE");
    EXPECT_EQ(aboutTexts(t.s).caption, QStringLiteral("About Vocaset"));

    for (const char* stored : {"", "1.1.42", "01014"})
        EXPECT_EQ(dottedVersion(QLatin1String(stored)), QLatin1String(stored));
    EXPECT_EQ(dottedVersion(QStringLiteral("000000")), QStringLiteral("0.0.0"));
}

TEST(AboutTexts, EveryHelpTextHasEnglishAndFrench)
{
    TestSession t;
    loadHelpSeed(t);
    const QString codes = QStringLiteral("SELECT SY_SUBCODE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$DESC_");
    QStringList en, fr;
    for (auto rs = t.tdb.db.execute(codes + QStringLiteral("EN' ORDER BY SY_SUBCODE")); !rs.eof(); rs.moveNext())
        en << rs.text(0);
    for (auto rs = t.tdb.db.execute(codes + QStringLiteral("FR' ORDER BY SY_SUBCODE")); !rs.eof(); rs.moveNext())
        fr << rs.text(0);
    EXPECT_EQ(en, fr);
    for (const QString& code : en) {
        if (code.startsWith(u'M')) {
            EXPECT_TRUE(code.mid(1).toInt() >= 350 && code.mid(1).toInt() <= 369) << code.toStdString();
        }
    }
}

TEST(SystemInformation, FirstExecutableProgramOfTheList)
{
    QTemporaryDir a, b;
    const auto exec = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    EXPECT_TRUE(findSystemInfoProgram({a.path(), b.path()}).isEmpty());
    EXPECT_FALSE(startSystemInfo({a.path()}));

    // Not executable: no program.
    makeProgram(a.path() + QStringLiteral("/hardinfo"), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_TRUE(findSystemInfoProgram({a.path()}).isEmpty());

    makeProgram(b.path() + QStringLiteral("/gnome-system-monitor"), exec);
    EXPECT_EQ(findSystemInfoProgram({a.path(), b.path()}), b.path() + QStringLiteral("/gnome-system-monitor"));
    // The list's order wins over the folders' order.
    makeProgram(b.path() + QStringLiteral("/hardinfo"), exec);
    EXPECT_EQ(findSystemInfoProgram({a.path(), b.path()}), b.path() + QStringLiteral("/hardinfo"));
    QDir(b.path()).mkdir(QStringLiteral("hardinfo2")); // a folder is no program
    EXPECT_EQ(findSystemInfoProgram({b.path()}), b.path() + QStringLiteral("/hardinfo"));
}
