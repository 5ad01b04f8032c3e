// Templates as the engine renders them, without a database: what each name gives, escaping and
// refusals by kind, places of problems, caps, and the file-name patterns the server reads backwards.

#include <gtest/gtest.h>

#include "FileNamePattern.h"
#include "TemplateWriter.h"
#include "TextFile.h"

namespace vocaset::test {
namespace {

const QList<ParamRow> kRows = {
    {QStringLiteral("account.1.user_name"), QStringLiteral("User name"), QStringLiteral("a&b<c>\"d'e"), u'C'},
    {QStringLiteral("code.{{mac}}"), QStringLiteral("Odd code"), QStringLiteral("{{mac}}"), u'E'},
    {QStringLiteral("lcd.banner"), QStringLiteral("Banner"), QStringLiteral("Fa\u00e7ade \u2192 east"), u'P'},
};
const QSet<QString> kCatalogue = {QStringLiteral("account.1.user_name"), QStringLiteral("code.{{mac}}"),
                                  QStringLiteral("lcd.banner"), QStringLiteral("absent")};

RenderedFile render(const QString& text, const QString& escape = QStringLiteral("none"),
                    const QString& encoding = QStringLiteral("UTF-8"), const QString& eol = QStringLiteral("LF"),
                    const QList<ParamRow>& rows = kRows)
{
    ModelTemplate t{
        QStringLiteral("M"), QStringLiteral("config"), QStringLiteral("{{mac}}.cfg"), escape, encoding, eol};
    t.text = text;
    const CompiledTemplate compiled(t);
    const TemplateSubject subject{QStringLiteral("001122aabbcc"),
                                  QStringLiteral("101"),
                                  QStringLiteral("Desk"),
                                  QStringLiteral("CO"),
                                  QStringLiteral("O'Hara & Sons"),
                                  QStringLiteral("M"),
                                  QStringLiteral("Model M"),
                                  &rows,
                                  &kCatalogue};
    // Rendered twice: the second render reuses what the first allocated and gives the same bytes.
    const RenderedFile first = compiled.render(subject);
    const RenderedFile again = compiled.render(subject);
    EXPECT_EQ(first.bytes, again.bytes) << text.toStdString();
    return first;
}

TEST(TemplateRender, EachNameGivesItsValueEscapedByKindAndNeverReadAsTemplateText)
{
    struct Case
    {
        const char* text;
        const char* escape;
        const char* expected;
    };
    const Case cases[] = {
        {"{{mac}} {{mac_lower}} {{mac_colons}} {{mac_dashes}}", "none",
         "001122AABBCC 001122aabbcc 00:11:22:AA:BB:CC 00-11-22-AA-BB-CC"},
        {"{{phone.code}}/{{phone.description}} {{company.code}} {{company.name}} {{model.code}} {{model.name}}", "none",
         "101/Desk CO O'Hara & Sons M Model M"},
        {"<x>{{#phone}}{{code}}{{/phone}} {{#company}}{{name}}{{/company}}</x>", "xml",
         "<x>101 O&apos;Hara &amp; Sons</x>"},
        // A code with dots is one parameter's code, not a path.
        {"[{{param.account.1.user_name}}]", "none", "[a&b<c>\"d'e]"},
        {"<x a=\"{{param.account.1.user_name}}\"/>", "xml", "<x a=\"a&amp;b&lt;c&gt;&quot;d&apos;e\"/>"},
        // Every value is escaped, whichever tag writes it.
        {"<x>{{{param.account.1.user_name}}} {{&param.account.1.user_name}}</x>", "xml",
         "<x>a&amp;b&lt;c&gt;&quot;d&apos;e a&amp;b&lt;c&gt;&quot;d&apos;e</x>"},
        // A value that looks like a tag is text.
        {"{{#params}}{{code}}={{value}}[{{level}}] {{/params}}", "none",
         "account.1.user_name=a&b<c>\"d'e[C] code.{{mac}}={{mac}}[E] lcd.banner=Fa\u00e7ade \u2192 east[P] "},
        {"{{#params}}{{description}};{{/params}}", "none", "User name;Odd code;Banner;"},
        // A catalogue code without a value reads as false: its section is left out, its inverse shown.
        {"<{{#param.absent}}set{{/param.absent}}{{^param.absent}}unset{{/param.absent}}>", "none", "<unset>"},
        {"<{{#param.lcd.banner}}{{.}}{{/param.lcd.banner}}>", "none", "<Fa\u00e7ade \u2192 east>"},
        {"{{! a comment }}{{=<% %>=}}<% mac %>", "none", "001122AABBCC"},
    };
    for (const Case& c : cases) {
        const RenderedFile r = render(QString::fromUtf8(c.text), QLatin1String(c.escape));
        ASSERT_TRUE(r.bytes) << c.text << ": " << r.refusal.toStdString();
        EXPECT_EQ(QString::fromUtf8(*r.bytes), QString::fromUtf8(c.expected)) << c.text;
    }
}

TEST(TemplateRender, EncodingLineEndsAndRefusals)
{
    // Windows-1252: a character it lacks becomes '?' and the parameter is named for the run's line.
    const RenderedFile cp = render(QStringLiteral("{{param.lcd.banner}}\n{{param.account.1.user_name}}\r\n"),
                                   QStringLiteral("none"), QStringLiteral("Windows-1252"), QStringLiteral("CRLF"));
    ASSERT_TRUE(cp.bytes);
    EXPECT_EQ(*cp.bytes, QByteArray("Fa\xe7"
                                    "ade ? east\r\na&b<c>\"d'e\r\n"));
    EXPECT_EQ(cp.lossy, QStringList{QStringLiteral("lcd.banner")});
    const RenderedFile utf8 = render(QStringLiteral("{{param.lcd.banner}}\r\n"));
    EXPECT_EQ(*utf8.bytes, QStringLiteral("Fa\u00e7ade \u2192 east\n").toUtf8());
    EXPECT_TRUE(utf8.lossy.isEmpty());

    // A line break or a NUL in anything the file gets refuses the telephone, naming what held it.
    QList<ParamRow> rows = kRows;
    rows[2].desc = QStringLiteral("two\nlines");
    const RenderedFile broken = render(QStringLiteral("{{#params}}{{description}}{{/params}}"), QStringLiteral("none"),
                                       QStringLiteral("UTF-8"), QStringLiteral("LF"), rows);
    EXPECT_FALSE(broken.bytes);
    EXPECT_TRUE(broken.refusal.startsWith(QStringLiteral("the description of parameter lcd.banner holds a line feed")))
        << broken.refusal.toStdString();
    // Not used, not refused.
    EXPECT_TRUE(
        render(QStringLiteral("{{mac}}"), QStringLiteral("none"), QStringLiteral("UTF-8"), QStringLiteral("LF"), rows)
            .bytes);
}

TEST(TemplateRender, ProblemsNameTheirLineAndColumn)
{
    struct Case
    {
        const char* text;
        const char* escape;
        TemplateProblem::In in;
        int line;
        int column;
        const char* says;
    };
    const Case cases[] = {
        {"a\n{{#params}}\n{{code}}\n", "none", TemplateProblem::In::Template, 2, 1, "section \"params\" is not closed"},
        {"ab\ncd {{/params}}", "none", TemplateProblem::In::Template, 2, 4, "closed but was never opened"},
        {"x\n\u00e9\u00e9 {{mac", "none", TemplateProblem::In::Template, 2, 4, "a tag is not closed"},
        {"{{mac}}\n\n  {{ phone.nmae }}", "none", TemplateProblem::In::Template, 3, 3, "\"phone.nmae\" names nothing"},
        {"{{#params}}\n {{valeu}}{{/params}}", "none", TemplateProblem::In::Template, 2, 2, "\"valeu\" names nothing"},
        {"{{param.nope.nope}}", "none", TemplateProblem::In::Template, 1, 1, "parameter nope.nope is not in"},
        {"\n{{> other}}", "none", TemplateProblem::In::Template, 2, 1, "partials are off"},
        {"<a>\n<b>{{mac}}</a>\n", "xml", TemplateProblem::In::File, 2, 20, ""},
    };
    for (const Case& c : cases) {
        const RenderedFile r = render(QString::fromUtf8(c.text), QLatin1String(c.escape));
        EXPECT_FALSE(r.bytes) << c.text;
        ASSERT_TRUE(r.problem) << c.text << ": " << r.refusal.toStdString();
        EXPECT_EQ(r.problem->in, c.in) << c.text;
        EXPECT_EQ(r.problem->at.line, c.line) << c.text << ": " << r.problem->located().toStdString();
        EXPECT_EQ(r.problem->at.column, c.column) << c.text << ": " << r.problem->located().toStdString();
        EXPECT_TRUE(r.problem->text.contains(QString::fromUtf8(c.says))) << r.problem->text.toStdString();
        EXPECT_TRUE(r.refusal.contains(QStringLiteral("line %1").arg(c.line))) << r.refusal.toStdString();
    }

    // Names in sections no data enters are found too: every list is tried full and empty.
    ModelTemplate t{QStringLiteral("M"), QStringLiteral("config"), QStringLiteral("{{mac}}.cfg")};
    t.text = QStringLiteral("{{#params}}{{cdoe}}{{/params}}\n{{^params}}{{nothing}}{{/params}}{{#param.absent}}"
                            "{{inner}}{{/param.absent}}");
    QStringList found;
    for (const TemplateProblem& p : CompiledTemplate(t).nameProblems({QStringLiteral("absent")}))
        found.append(p.located());
    EXPECT_EQ(found, (QStringList{QStringLiteral("line 1, column 12: \"cdoe\" names nothing a template can use"),
                                  QStringLiteral("line 2, column 12: \"nothing\" names nothing a template can use"),
                                  QStringLiteral("line 2, column 51: \"inner\" names nothing a template can use")}));
}

TEST(TemplateRender, OutputAndWorkAreCapped)
{
    QList<ParamRow> many;
    for (int i = 0; i < 200; ++i)
        many.append({QStringLiteral("p%1").arg(i, 3, 10, QLatin1Char('0')), {}, QStringLiteral("v"), u'E'});
    // 200^3 sections entered would take minutes: stopped by its work.
    const RenderedFile loops = render(QStringLiteral("{{#params}}{{#params}}{{#params}}{{value}}{{/params}}{{/params}}"
                                                     "{{/params}}"),
                                      QStringLiteral("none"), QStringLiteral("UTF-8"), QStringLiteral("LF"), many);
    EXPECT_FALSE(loops.bytes);
    EXPECT_TRUE(loops.refusal.contains(QStringLiteral("loops too often"))) << loops.refusal.toStdString();
    // 40 000 lines: 2.4 MB pass, 4.8 MB are more than the cap.
    const auto lines = [&](int width) {
        return render(QStringLiteral("{{#params}}{{#params}}") + QString(width, u'x') +
                          QStringLiteral("\n{{/params}}{{/params}}"),
                      QStringLiteral("none"), QStringLiteral("UTF-8"), QStringLiteral("LF"), many);
    };
    const RenderedFile large = lines(59);
    ASSERT_TRUE(large.bytes) << large.refusal.toStdString();
    EXPECT_EQ(large.bytes->size(), 200 * 200 * 60);
    const RenderedFile larger = lines(119);
    EXPECT_FALSE(larger.bytes);
    EXPECT_TRUE(larger.refusal.contains(QStringLiteral("larger than"))) << larger.refusal.toStdString();
}

TEST(FileNamePattern, NamesTheMacOnceReadsNamesBackAndFindsNamesTwoPatternsShare)
{
    struct Parse
    {
        const char* pattern;
        bool withMac;
        const char* name; // for MAC 00a0c8e7eef1; nullptr: refused
    };
    const Parse parses[] = {
        {"{{mac_lower}}.cfg", true, "00a0c8e7eef1.cfg"},
        {"SEP{{ mac }}.cnf.xml", true, "SEP00A0C8E7EEF1.cnf.xml"},
        {"p-{{mac_dashes}}", true, "p-00-A0-C8-E7-EE-F1"},
        {"directory.xml", false, "directory.xml"},
        {"{{mac}}{{mac}}.cfg", true, nullptr},
        {"plain.cfg", true, nullptr},
        {"{{mac_colons}}.cfg", true, nullptr},
        {"{{phone.code}}.cfg", true, nullptr},
        {"../{{mac}}", true, nullptr},
        {"a\\{{mac}}", true, nullptr},
        {"{{mac}}.xml", false, nullptr},
        {"..", false, nullptr},
    };
    for (const Parse& p : parses) {
        QString why;
        const auto pattern = FileNamePattern::parse(QLatin1String(p.pattern), p.withMac, &why);
        ASSERT_EQ(pattern.has_value(), p.name != nullptr) << p.pattern;
        if (!pattern) {
            EXPECT_FALSE(why.isEmpty());
            continue;
        }
        const QString name = pattern->nameFor(QStringLiteral("00a0c8e7eef1"));
        EXPECT_EQ(name, QLatin1String(p.name));
        if (p.withMac) {
            // The digits come in either case; the text around them as the pattern has it.
            EXPECT_EQ(pattern->macOf(name), QStringLiteral("00A0C8E7EEF1"));
            const bool upperText = QLatin1String(p.pattern).startsWith(QLatin1String("SEP"));
            EXPECT_EQ(pattern->macOf(name.toLower()),
                      upperText ? std::nullopt : std::optional(QStringLiteral("00A0C8E7EEF1")))
                << p.pattern;
            EXPECT_FALSE(pattern->macOf(name + u'x'));
            EXPECT_FALSE(
                pattern->macOf(QString(name).replace(QStringLiteral("c8"), QStringLiteral("g8"), Qt::CaseInsensitive)));
        }
    }

    struct Pair
    {
        const char* a;
        const char* b;
        bool shared;
    };
    const Pair pairs[] = {
        {"a{{mac}}", "{{mac}}a", true},  // aaaaaaaaaaaaa
        {"x{{mac}}", "{{mac}}x", false}, // x is no hexadecimal digit
        {"{{mac}}.cfg", "{{mac_lower}}.cfg", true},
        {"{{mac}}.cfg", "{{mac}}.CFG", false},
        {"{{mac_dashes}}", "{{mac}}-----", false},
        {"p{{mac}}.xml", "phone{{mac}}.xml", false},
        {"cfg{{mac_lower}}", "cfg{{mac}}", true},
        {"abcdef012345.xml", "{{mac}}.xml", true},
        {"directory.xml", "directory.xml", true},
    };
    for (const Pair& p : pairs) {
        const auto a = FileNamePattern::parse(QLatin1String(p.a), QLatin1String(p.a).contains(QLatin1String("{{")));
        const auto b = FileNamePattern::parse(QLatin1String(p.b), QLatin1String(p.b).contains(QLatin1String("{{")));
        ASSERT_TRUE(a && b) << p.a << " " << p.b;
        EXPECT_EQ(a->overlaps(*b), p.shared) << p.a << " " << p.b;
        EXPECT_EQ(b->overlaps(*a), p.shared) << p.b << " " << p.a;
    }
    // The built-in writers' names are patterns no template may share.
    const auto gxp = FileNamePattern::parse(QStringLiteral("cfg{{mac_lower}}"), true);
    const auto own = FileNamePattern::parse(QStringLiteral("cfg{{mac_lower}}.xml"), true);
    const auto& builtIn = FileNamePattern::builtIn();
    EXPECT_TRUE(std::any_of(builtIn.begin(), builtIn.end(), [&](const auto& n) { return gxp->overlaps(n.pattern); }));
    EXPECT_FALSE(std::any_of(builtIn.begin(), builtIn.end(), [&](const auto& n) { return own->overlaps(n.pattern); }));
}

} // namespace
} // namespace vocaset::test
