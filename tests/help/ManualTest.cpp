#include <gtest/gtest.h>

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

QStringList captures(const QString& text, const QString& pattern)
{
    QStringList out;
    for (auto it = QRegularExpression(pattern).globalMatch(text); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

// The section anchors of a manual, in their order.
QStringList anchors(const QString& name)
{
    QFile file(test::sourceDir() + QStringLiteral("/data/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return captures(decodeHtmlPage(file.readAll()), QStringLiteral("<[a-z0-9]+[^>]*\\s(?:id|name)=\"([^\"]+)\""));
}

} // namespace

// F1 lands on the same section in either language: the French manual has the English one's anchors, in order.
TEST(Manual, TheFrenchManualHasTheEnglishSections)
{
    const QStringList english = anchors(QStringLiteral("manual.htm"));
    ASSERT_GT(english.size(), 20);
    EXPECT_EQ(anchors(QStringLiteral("manual.fr.htm")), english);
}

class Manuals : public ::testing::TestWithParam<const char*>
{
};

INSTANTIATE_TEST_SUITE_P(EnglishAndFrench, Manuals, ::testing::Values("manual.htm", "manual.fr.htm"));

TEST_P(Manuals, Windows1252WithASectionPerWindowAndEveryLinkAnchorAndPictureResolved)
{
    const QString folder = test::sourceDir() + QStringLiteral("/data");
    QFile file(folder + u'/' + QLatin1String(GetParam()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.left(300).contains("charset=\"windows-1252\""));
    // Saved as UTF-8 by mistake, its accents would show as two characters each.
    QStringDecoder utf8(QStringDecoder::Utf8);
    [[maybe_unused]] const QString asUtf8 = utf8(bytes);
    EXPECT_TRUE(utf8.hasError() || !std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; }));
    for (const char* undefined : {"\x81", "\x8D", "\x8F", "\x90", "\x9D"})
        EXPECT_FALSE(bytes.contains(undefined)) << "a byte without a Windows-1252 character";

    const QString text = decodeHtmlPage(bytes);
    const QStringList ids = anchors(QLatin1String(GetParam()));
    EXPECT_EQ(QSet<QString>(ids.begin(), ids.end()).size(), ids.size()) << "an id given twice";
    // F1 opens the manual at the active window's object name.
    for (const char* window : {"FVocaset1", "FGenerate", "FReboot", "FParameters", "FPBGen", "FPBImp", "FPBExp",
                               "FRgen", "FPhImp", "FFleet", "FModelTemplates", "frmBrowser", "frmAbout", "lenvik"})
        EXPECT_TRUE(ids.contains(QLatin1String(window))) << window;

    const QStringList links = captures(text, QStringLiteral("\\shref=\"([^\"]*)\""));
    EXPECT_GT(links.size(), 20);
    for (const QString& href : links) {
        const QUrl url(href);
        if (url.scheme().isEmpty() && url.path().isEmpty())
            EXPECT_TRUE(ids.contains(url.fragment())) << href.toStdString();
        else if (url.scheme().isEmpty())
            EXPECT_TRUE(QFileInfo::exists(folder + u'/' + url.path())) << href.toStdString();
        else
            EXPECT_TRUE(url.isValid() && url.scheme().startsWith(QLatin1String("http"))) << href.toStdString();
    }
    const QStringList pictures = captures(text, QStringLiteral("\\ssrc=\"([^\"]*)\""));
    EXPECT_FALSE(pictures.isEmpty());
    for (const QString& src : pictures) {
        QImageReader picture(folder + u'/' + src);
        EXPECT_GT(picture.size().width(), 100) << src.toStdString();
    }
}
