#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QUrl>

#include "HelpSeed.h"
#include "ManualPage.h"

using namespace vocaset;

namespace {

struct Manual
{
    QString folder;
    QByteArray bytes;
    QString text;
    QStringList ids;
};

Manual readManual()
{
    Manual m;
    m.folder = test::sourceDir() + QStringLiteral("/data");
    QFile file(m.folder + QStringLiteral("/manual.htm"));
    if (file.open(QIODevice::ReadOnly))
        m.bytes = file.readAll();
    m.text = decodeHtmlPage(m.bytes);
    static const QRegularExpression anchor(QStringLiteral("<[a-z0-9]+[^>]*\\s(?:id|name)=\"([^\"]+)\""));
    for (auto it = anchor.globalMatch(m.text); it.hasNext();)
        m.ids << it.next().captured(1);
    return m;
}

QStringList attributes(const QString& text, const QString& name)
{
    QStringList out;
    const QRegularExpression attribute(QStringLiteral("\\s") + name + QStringLiteral("=\"([^\"]*)\""));
    for (auto it = attribute.globalMatch(text); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

} // namespace

TEST(Manual, IsWindows1252WithASectionPerWindow)
{
    const Manual m = readManual();
    ASSERT_FALSE(m.bytes.isEmpty());
    EXPECT_TRUE(m.bytes.left(300).contains("charset=\"windows-1252\""));
    // Saved as UTF-8 by mistake, its accents would show as two characters each.
    if (std::any_of(m.bytes.begin(), m.bytes.end(), [](char c) { return quint8(c) >= 0x80; })) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        [[maybe_unused]] const QString ignored = utf8(m.bytes);
        EXPECT_TRUE(utf8.hasError()) << "manual.htm holds UTF-8";
    }
    for (const char* undefined : {"\x81", "\x8D", "\x8F", "\x90", "\x9D"})
        EXPECT_FALSE(m.bytes.contains(undefined)) << "byte without a Windows-1252 character";

    // F1 opens the manual at the active window's object name.
    for (const char* window : {"FVocaset1", "FGenerate", "FReboot", "FParameters", "FPBGen", "FPBImp", "FPBExp",
                               "FRgen", "frmBrowser", "frmAbout", "lenvik"})
        EXPECT_TRUE(m.ids.contains(QLatin1String(window))) << window;
    EXPECT_EQ(QSet<QString>(m.ids.begin(), m.ids.end()).size(), m.ids.size()) << "an id given twice";
}

TEST(Manual, EveryLinkAnchorAndPictureResolves)
{
    const Manual m = readManual();
    int links = 0;
    for (const QString& href : attributes(m.text, QStringLiteral("href"))) {
        ++links;
        const QUrl url(href);
        if (url.scheme() == u"http" || url.scheme() == u"https" || url.scheme() == u"mailto") {
            EXPECT_TRUE(url.isValid()) << href.toStdString();
            continue;
        }
        ASSERT_TRUE(url.scheme().isEmpty()) << href.toStdString();
        if (url.path().isEmpty()) {
            EXPECT_TRUE(m.ids.contains(url.fragment())) << href.toStdString();
        } else {
            EXPECT_TRUE(QFileInfo::exists(m.folder + u'/' + url.path())) << href.toStdString();
        }
    }
    EXPECT_GT(links, 20);

    const QStringList pictures = attributes(m.text, QStringLiteral("src"));
    EXPECT_FALSE(pictures.isEmpty());
    for (const QString& src : pictures) {
        QImageReader picture(m.folder + u'/' + src);
        EXPECT_TRUE(picture.canRead()) << src.toStdString();
        EXPECT_GT(picture.size().width(), 100) << src.toStdString();
    }
}
