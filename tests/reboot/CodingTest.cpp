#include <gtest/gtest.h>

#include <QCryptographicHash>

#include "Base64.h"
#include "CMD5.h"
#include "HttpExchange.h"
#include "RebootDialogues.h"

namespace vocaset {
namespace {

QString referenceMd5(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

TEST(CMD5, ReproducesTheRfc1321Suite)
{
    const CMD5 md5;
    const std::pair<const char*, const char*> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"}};
    for (const auto& [message, digest] : suite)
        EXPECT_EQ(md5.MD5(QLatin1String(message)), QLatin1String(digest)) << message;
}

TEST(CMD5, PaddingBoundariesAndLongMessagesMatchAReference)
{
    const CMD5 md5;
    for (int length : {55, 56, 57, 63, 64, 65, 119, 120, 128, 1000}) {
        QByteArray bytes;
        for (int i = 0; i < length; ++i)
            bytes.append(char(' ' + (i * 7) % 90));
        const QString digest = md5.MD5(QString::fromLatin1(bytes));
        EXPECT_EQ(digest, referenceMd5(bytes)) << length;
        EXPECT_EQ(digest.size(), 32);
    }
}

TEST(CMD5, EachCharacterIsItsLowByte)
{
    const CMD5 md5;
    // ISO-8859-1 characters hash as their single byte.
    EXPECT_EQ(md5.MD5(QStringLiteral("caf\u00e9")), referenceMd5(QByteArray("caf\xe9")));
    // U+0141 contributes 0x41, that is "A".
    EXPECT_EQ(md5.MD5(QStringLiteral("x\u0141y")), md5.MD5(QStringLiteral("xAy")));
    // The digest of a Digest answer, computed by hand: RFC 2617's own example.
    const QString ha1 = md5.MD5(QStringLiteral("Mufasa:testrealm@host.com:Circle Of Life"));
    const QString ha2 = md5.MD5(QStringLiteral("GET:/dir/index.html"));
    EXPECT_EQ(md5.MD5(ha1 + QStringLiteral(":dcd98b7102dd2f0e8b11d0f600bfb0c093:00000001:0a4f113b:auth:") + ha2),
              QStringLiteral("6629fae49393a05397450978507c4ef1"));
}

TEST(Encode64, ReproducesTheRfc4648VectorsAndPads)
{
    const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    for (const auto& [text, encoded] : vectors)
        EXPECT_EQ(Encode64(QLatin1String(text)), QLatin1String(encoded)) << text;
    // Characters are taken as their Windows-1252 bytes: the euro sign is 0x80.
    EXPECT_EQ(Encode64(QStringLiteral("\u20ac\u00ff")), QStringLiteral("gP8="));
}

TEST(Encode64, BreaksLinesAfterEveryFortiethCharacterOnly)
{
    const QString thirty(30, u'a');
    const QString full = QString::fromLatin1(QByteArray(30, 'a').toBase64());
    EXPECT_EQ(Encode64(thirty), full + QStringLiteral("\r\n"));
    EXPECT_EQ(Encode64(thirty + u'b'), full + QStringLiteral("\r\nYg=="));
    // 29 bytes give 39 characters and one pad: the pad completes the line without breaking it.
    EXPECT_EQ(Encode64(QString(29, u'a')), QString::fromLatin1(QByteArray(29, 'a').toBase64()));
    for (int length = 0; length < 100; ++length) {
        // Bytes below 0x80 and from 0xA0 up are their own characters in Windows-1252.
        QByteArray bytes;
        QString text;
        for (int i = 0; i < length; ++i) {
            const int b = (i * 37 + 11) % 224;
            const uchar byte = uchar(b < 128 ? b : b + 32);
            bytes.append(char(byte));
            text.append(QChar(char16_t(byte)));
        }
        const QString encoded = Encode64(text);
        QString joined = encoded;
        joined.remove(QStringLiteral("\r\n"));
        EXPECT_EQ(joined, QString::fromLatin1(bytes.toBase64())) << length;
        const QStringList lines = encoded.split(QStringLiteral("\r\n"));
        for (qsizetype i = 0; i + 1 < lines.size(); ++i)
            EXPECT_EQ(lines[i].size(), 40) << length;
        EXPECT_LE(lines.last().size(), 40) << length;
    }
}

TEST(RebootDialogues, BasicCredentialsAreOneLineWithoutPads)
{
    EXPECT_EQ(RebootDialogues::basicCredentials(QStringLiteral("admin"), QStringLiteral("pw")),
              QStringLiteral("YWRtaW46cHc")); // "YWRtaW46cHc=" without its pad
    const QString longPassword = QStringLiteral("a-password-much-longer-than-thirty-characters");
    QString expected = QString::fromLatin1(QByteArray("admin:" + longPassword.toLatin1()).toBase64());
    expected.remove(u'=');
    EXPECT_EQ(RebootDialogues::basicCredentials(QStringLiteral("admin"), longPassword), expected);
}

TEST(RebootDialogues, HelpersForFormCookieAndQop)
{
    EXPECT_EQ(RebootDialogues::formEncode(QStringLiteral("Abc-1._*")), QStringLiteral("Abc-1._*"));
    EXPECT_EQ(RebootDialogues::formEncode(QStringLiteral("a&b=c d+%\u00e9")), QStringLiteral("a%26b%3Dc+d%2B%25%E9"));

    EXPECT_EQ(RebootDialogues::cookieOf(QStringLiteral("HTTP/1.0 200 OK\r\nSet-Cookie: session=42; path=/\r\n")),
              QStringLiteral("session=42"));
    // Without the blank the value keeps its first character.
    EXPECT_EQ(RebootDialogues::cookieOf(QStringLiteral("Set-Cookie:session=42;")), QStringLiteral("session=42"));
    // Without ";" on its line the value ends at the line end, never in a later header.
    EXPECT_EQ(RebootDialogues::cookieOf(QStringLiteral("Set-Cookie: s=1\r\nX-A: b; c\r\n")), QStringLiteral("s=1"));
    EXPECT_EQ(RebootDialogues::cookieOf(QStringLiteral("Set-Cookie: s=1")), QStringLiteral("s=1"));

    EXPECT_EQ(RebootDialogues::chooseQop(QStringLiteral("auth")), QStringLiteral("auth"));
    EXPECT_EQ(RebootDialogues::chooseQop(QStringLiteral("auth-int,auth")), QStringLiteral("auth"));
    EXPECT_EQ(RebootDialogues::chooseQop(QStringLiteral("auth, auth-int")), QStringLiteral("auth"));
    EXPECT_EQ(RebootDialogues::chooseQop(QStringLiteral("auth-int")), QStringLiteral("auth-int"));
}

TEST(RecVal, FindsTheFirstQuotedValueOfAKey)
{
    const QString challenge = QStringLiteral(
        "WWW-Authenticate: Digest qop=\"auth\", realm=\"Cisco\", nonce=\"4f1a\", opaque=\"\", domain=\"/x\"\r\n");
    EXPECT_EQ(RecVal(QStringLiteral("nonce"), challenge), QStringLiteral("4f1a"));
    EXPECT_EQ(RecVal(QStringLiteral("qop"), challenge), QStringLiteral("auth"));
    EXPECT_EQ(RecVal(QStringLiteral("realm"), challenge), QStringLiteral("Cisco"));
    EXPECT_EQ(RecVal(QStringLiteral("opaque"), challenge), QString());
    // A key that is the tail of another key matches there: the first occurrence wins.
    EXPECT_EQ(RecVal(QStringLiteral("nonce"), QStringLiteral("cnonce=\"c1\" nonce=\"n1\"")), QStringLiteral("c1"));
    // A blank before "=" is no match; a missing key gives an empty text.
    EXPECT_EQ(RecVal(QStringLiteral("realm"), QStringLiteral("realm = \"x\"")), QString());
    EXPECT_EQ(RecVal(QStringLiteral("Realm"), challenge), QString());
    // A value without its closing quote ends at its line.
    EXPECT_EQ(RecVal(QStringLiteral("nonce"), QStringLiteral("nonce=\"abc\r\nX: y\"")), QStringLiteral("abc"));
}

TEST(HttpExchange, AddressesMayCarryAPort)
{
    EXPECT_EQ(splitAddress(QStringLiteral("10.0.0.7")).host, QStringLiteral("10.0.0.7"));
    EXPECT_EQ(splitAddress(QStringLiteral("10.0.0.7")).port, 80);
    EXPECT_EQ(splitAddress(QStringLiteral("10.0.0.7:8080")).host, QStringLiteral("10.0.0.7"));
    EXPECT_EQ(splitAddress(QStringLiteral("10.0.0.7:8080")).port, 8080);
    // Anything that is no port stays part of the host, which then fails to resolve.
    EXPECT_EQ(splitAddress(QStringLiteral("10.0.0.7:x")).host, QStringLiteral("10.0.0.7:x"));
    EXPECT_EQ(splitAddress(QStringLiteral("10.0.0.7:70000")).port, 80);
    EXPECT_EQ(splitAddress(QStringLiteral("10.0.0.7:0")).host, QStringLiteral("10.0.0.7:0"));
    EXPECT_EQ(splitAddress(QStringLiteral("10.0.0.7:0")).port, 80);
}

} // namespace
} // namespace vocaset
