#include <gtest/gtest.h>

#include "F1000Writer.h"
#include "GenerationChoices.h"
#include "Gxp2000Writer.h"
#include "Pap2Writer.h"

namespace vocaset {
namespace {

quint32 wordSum(const QByteArray& b)
{
    quint32 sum = 0;
    for (qsizetype k = 0; k + 1 < b.size(); k += 2)
        sum += (quint8(b[k]) << 8) | quint8(b[k + 1]);
    return sum;
}

PhoneInfo phone(const QString& mac = QStringLiteral("001122aabbcc"))
{
    return {QStringLiteral("AC"), QStringLiteral("101"), QStringLiteral("PAP"), QStringLiteral("Desk"), mac};
}

QList<ParamRow> rows(std::initializer_list<std::pair<const char*, const char*>> list)
{
    QList<ParamRow> out;
    for (const auto& [code, value] : list)
        out.append({QLatin1String(code), QStringLiteral("About ") + QLatin1String(code), QLatin1String(value)});
    return out;
}

QByteArray gxp(const QList<ParamRow>& r, const QString& mac = QStringLiteral("001122aabbcc"))
{
    Cp1252Sink sink;
    return Gxp2000Writer().config(phone(mac), r, sink, nullptr).value_or(QByteArray());
}

TEST(Gxp2000Format, ChecksumOfTheReferenceWords)
{
    const QByteArray words = QByteArray::fromHex("000000000000"
                                                 "1234");
    EXPECT_EQ(gxp2000Checksum(words), 0xEDC8);
    QByteArray file = words;
    file[3] = 4;
    file[4] = char(0xED);
    file[5] = char(0xC8);
    EXPECT_EQ(wordSum(file), 0x10000u);
}

TEST(Gxp2000Format, HeaderBodyAndPadding)
{
    // Ascending rows 1, 10, 2 as the database sorts text; the body runs in descending order.
    const QByteArray file = gxp(rows({{"1", "a"}, {"10", "b&c=d"}, {"2", ""}}));
    ASSERT_GE(file.size(), 16);
    EXPECT_EQ(file.left(2), QByteArray(2, '\0'));
    EXPECT_EQ(file.mid(6, 6), QByteArray::fromHex("001122AABBCC"));
    EXPECT_EQ(file.mid(12, 4), QByteArrayLiteral("\r\n\r\n"));
    const QByteArray body = "P2=&P10=b&c=d&P1=a&gnkey=7d31";
    EXPECT_EQ(file.mid(16, body.size()), body);
    // 16 + 29 bytes is odd: one pad byte, counted by the length word.
    EXPECT_EQ(file.size(), 46);
    EXPECT_EQ(file.back(), '\0');
    EXPECT_EQ((quint8(file[2]) << 8) | quint8(file[3]), 23);
    EXPECT_EQ(wordSum(file) & 0xFFFF, 0u);

    const QByteArray even = gxp(rows({{"1", "ab"}}));
    EXPECT_EQ(even.size(), 16 + 16);
    EXPECT_TRUE(even.endsWith("&gnkey=7d31"));
    EXPECT_EQ(wordSum(even) & 0xFFFF, 0u);
}

TEST(Gxp2000Format, MacDigitsInEitherCaseGiveTheSameHeader)
{
    const auto set = rows({{"9", "x"}});
    EXPECT_EQ(gxp(set, QStringLiteral("001122aabbcc")), gxp(set, QStringLiteral("001122AABBCC")));
    bool ok = true;
    EXPECT_EQ(HexDec(QStringLiteral("fF"), &ok), 255);
    EXPECT_TRUE(ok);
    EXPECT_EQ(HexDec(QStringLiteral("1g"), &ok), 16);
    EXPECT_FALSE(ok);
}

TEST(Gxp2000Format, ChecksumHoldsForManyShapes)
{
    for (int n = 0; n < 40; ++n) {
        QList<ParamRow> set;
        for (int i = 0; i <= n; ++i)
            set.append({QString::number(i * 7), {}, QString(n % 5 + i % 3, QChar(u'a' + n % 26))});
        std::sort(set.begin(), set.end(), [](const ParamRow& a, const ParamRow& b) { return a.code < b.code; });
        const QByteArray file = gxp(set, QStringLiteral("FFFFFFFFFFFF"));
        ASSERT_EQ(file.size() % 2, 0);
        EXPECT_EQ(wordSum(file) & 0xFFFF, 0u) << n;
        EXPECT_EQ((quint8(file[2]) << 8) | quint8(file[3]), file.size() / 2);
    }
}

TEST(Gxp2000Format, RefusesWhatTheLengthWordCannotCount)
{
    const QList<ParamRow> big{{QStringLiteral("1"), {}, QString(Gxp2000Writer::kMaxFileBytes, u'x')}};
    Cp1252Sink sink;
    QString why;
    EXPECT_FALSE(Gxp2000Writer().config(phone(), big, sink, &why));
    EXPECT_FALSE(why.isEmpty());
    // The largest body that still fits is written.
    const qsizetype room = Gxp2000Writer::kMaxFileBytes - 16 - 3 - 11;
    const QList<ParamRow> fits{{QStringLiteral("1"), {}, QString(room, u'x')}};
    const auto file = Gxp2000Writer().config(phone(), fits, sink, &why);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size(), Gxp2000Writer::kMaxFileBytes);
    EXPECT_EQ(quint8((*file)[2]), 0xFF);
    EXPECT_EQ(quint8((*file)[3]), 0xFF);
}

TEST(Gxp2000Format, DecodeReadsBackWhatWasWritten)
{
    const QByteArray file = gxp(rows({{"1", "a&b"}, {"10", "x=y"}, {"2", ""}}));
    const Gxp2000Contents c = decodeGxp2000(file);
    EXPECT_TRUE(c.wellFormed) << c.problem.toStdString();
    EXPECT_TRUE(c.lengthHolds);
    EXPECT_TRUE(c.checksumHolds);
    EXPECT_EQ(c.mac, QStringLiteral("001122AABBCC"));
    const QList<QPair<QString, QString>> expected{{QStringLiteral("2"), QString()},
                                                  {QStringLiteral("10"), QStringLiteral("x=y")},
                                                  {QStringLiteral("1"), QStringLiteral("a&b")}};
    EXPECT_EQ(c.params, expected);

    QByteArray broken = file;
    broken[20] = char(broken[20] + 1);
    EXPECT_FALSE(decodeGxp2000(broken).checksumHolds);
    EXPECT_FALSE(decodeGxp2000(broken).wellFormed);
    EXPECT_FALSE(decodeGxp2000(file.left(file.size() - 2)).lengthHolds);
    EXPECT_FALSE(decodeGxp2000(file.left(10)).wellFormed);
    EXPECT_FALSE(decodeGxp2000(QByteArray(64, 'x')).wellFormed);
}

TEST(Gxp2000Format, SourceListsAscendingWithDescriptions)
{
    Cp1252Sink sink;
    EXPECT_EQ(Gxp2000Writer().source(rows({{"1", "a"}, {"2", "b"}}), sink),
              QByteArray("# About 1\r\nP1 = a\r\n# About 2\r\nP2 = b\r\n"));
}

TEST(Writers, CharactersOutsideTheCodePageAreNamed)
{
    Cp1252Sink sink;
    QList<ParamRow> set{{QStringLiteral("A"), QStringLiteral("ok"), QStringLiteral("caf\u00e9 \u20ac")},
                        {QStringLiteral("B"), QStringLiteral("\u4e2d"), QStringLiteral("x")},
                        {QStringLiteral("C"), QStringLiteral("ok"), QStringLiteral("\u0394\u0394")}};
    const QByteArray f1000 = *F1000Writer().config(phone(), set, sink, nullptr);
    EXPECT_EQ(f1000, QByteArray("A=caf\xe9 \x80\r\nB=x\r\nC=??\r\n"));
    EXPECT_EQ(sink.lossy(), QStringList{QStringLiteral("C")});
    F1000Writer().source(set, sink);
    EXPECT_EQ(sink.lossy(), (QStringList{QStringLiteral("C"), QStringLiteral("B")}));
}

TEST(Writers, Pap2ProfileEscapesValues)
{
    Cp1252Sink sink;
    const auto set = rows({{"Display_Name_1_", "A & B <x>"}, {"Proxy_1_", ""}});
    EXPECT_EQ(*Pap2Writer().config(phone(), set, sink, nullptr),
              QByteArray("<flat-profile>\r\n<Display_Name_1_>A &amp; B &lt;x&gt;</Display_Name_1_>\r\n"
                         "<Proxy_1_></Proxy_1_>\r\n</flat-profile>\r\n"));
    EXPECT_EQ(Pap2Writer().source(set, sink),
              QByteArray("<flat-profile>\r\n<!-- About Display_Name_1_ -->\r\n"
                         "<Display_Name_1_>A &amp; B &lt;x&gt;</Display_Name_1_>\r\n"
                         "<!-- About Proxy_1_ -->\r\n<Proxy_1_></Proxy_1_>\r\n</flat-profile>\r\n"));
    // A description cannot end its comment early.
    const QList<ParamRow> described{{QStringLiteral("Proxy_1_"), QStringLiteral("a --> <b> & c"), QStringLiteral("x")}};
    EXPECT_EQ(Pap2Writer().source(described, sink),
              QByteArray("<flat-profile>\r\n<!-- a --&gt; &lt;b&gt; &amp; c -->\r\n<Proxy_1_>x</Proxy_1_>\r\n"
                         "</flat-profile>\r\n"));
}

TEST(Writers, F1000WritesValuesAsTheyStand)
{
    Cp1252Sink sink;
    const auto set = rows({{"a", "x=y&<z>"}, {"b", ""}});
    EXPECT_EQ(*F1000Writer().config(phone(), set, sink, nullptr), QByteArray("a=x=y&<z>\r\nb=\r\n"));
    EXPECT_EQ(F1000Writer().source(set, sink),
              QByteArray("<!-- About a -->\r\na=x=y&<z>\r\n<!-- About b -->\r\nb=\r\n"));
}

TEST(Writers, FileNamesFollowTheLevelBoxes)
{
    const PhoneInfo p = phone();
    const Gxp2000Writer gxpWriter;
    const Pap2Writer pap;
    const F1000Writer f1000;
    struct Case
    {
        const ConfigWriter* writer;
        LevelChoice levels;
        const char* config;
        const char* source;
    };
    const Case cases[] = {
        {&gxpWriter, {true, false, false}, "cfg001122aabbcc", "101 - 001122aabbcc.TXT"},
        {&gxpWriter, {false, true, false}, "PAP.txt", "PAP.txt"},
        {&gxpWriter, {false, true, true}, "ACPAP.txt", "AC - PAP.txt"},
        {&gxpWriter, {false, false, true}, "PAP.txt", "PAP.txt"},
        {&pap, {true, true, true}, "001122aabbcc.txt", "101 - 001122aabbcc.TXT"},
        {&pap, {false, true, false}, "PAP.txt", "PAP.txt"},
        {&pap, {false, false, true}, "ACPAP.txt", "AC - PAP.txt"},
        {&f1000, {true, false, true}, "ut001122aabbcc.ini", "101 - 001122aabbcc.TXT"},
        {&f1000, {false, true, false}, "PAP.ini", "PAP.txt"},
        {&f1000, {false, true, true}, "ACPAP.ini", "AC - PAP.txt"},
    };
    for (const Case& c : cases) {
        const FileNames n = c.writer->names(p, c.levels);
        EXPECT_EQ(n.config, QLatin1String(c.config));
        EXPECT_EQ(n.source, QLatin1String(c.source));
    }
    // Each module's writer names its files as that model does; other modules write nothing.
    const LevelChoice own{true, false, false};
    const std::pair<const char*, const char*> modules[] = {
        {"GRANDSTREAM", "cfg001122aabbcc"}, {"PAP2", "001122aabbcc.txt"}, {"F1000", "ut001122aabbcc.ini"}};
    for (const auto& [module, config] : modules) {
        const ConfigWriter* writer = writerForModule(QLatin1String(module));
        ASSERT_NE(writer, nullptr) << module;
        EXPECT_EQ(writer->names(p, own).config, QLatin1String(config)) << module;
    }
    EXPECT_EQ(writerForModule(QStringLiteral("NONE")), nullptr);
    EXPECT_EQ(writerForModule(QStringLiteral("pap2")), nullptr);
}

TEST(Writers, MacAddressShape)
{
    EXPECT_TRUE(isMacAddress(QStringLiteral("001122aabbCC")));
    EXPECT_FALSE(isMacAddress(QStringLiteral("001122aabbc")));
    EXPECT_FALSE(isMacAddress(QStringLiteral("001122aabbcg")));
    EXPECT_FALSE(isMacAddress(QStringLiteral("00:11:22:aa:b")));
    EXPECT_FALSE(isMacAddress(QStringLiteral("../../etc/pw")));
}

TEST(LevelBoxes, OneBoxAlwaysStaysTicked)
{
    LevelBoxes boxes;
    EXPECT_TRUE(boxes.set(0, false));
    EXPECT_TRUE(boxes.set(1, false));
    EXPECT_FALSE(boxes.set(2, false));
    EXPECT_TRUE(boxes.ticked(2));

    LevelBoxes a;
    a.applyDefault(QStringLiteral("100"));
    EXPECT_TRUE(a.ticked(0));
    EXPECT_FALSE(a.ticked(1));
    EXPECT_FALSE(a.ticked(2));
    LevelBoxes b;
    b.applyDefault(QStringLiteral("000"));
    EXPECT_FALSE(b.ticked(0));
    EXPECT_FALSE(b.ticked(1));
    EXPECT_TRUE(b.ticked(2));
    LevelBoxes c;
    c.applyDefault(QStringLiteral(" x"));
    EXPECT_FALSE(c.ticked(0));
    EXPECT_TRUE(c.ticked(1));
    EXPECT_TRUE(c.ticked(2)); // a missing character ticks
    c.applyDefault(QStringLiteral("000"));
    EXPECT_TRUE(c.ticked(2));
    EXPECT_FALSE(c.ticked(1));
}

TEST(LevelBoxes, EntryCodeIsTheTextBeforeTheSeparator)
{
    const ListEntry e{QStringLiteral("AC"), QStringLiteral("Acme \\\\ Co")};
    EXPECT_EQ(e.text(), QStringLiteral("AC \\\\ Acme \\\\ Co"));
    EXPECT_EQ(entryCode(e.text()), QStringLiteral("AC"));
    EXPECT_EQ(entryCode(QStringLiteral("plain")), QStringLiteral("plain"));
}

} // namespace
} // namespace vocaset
