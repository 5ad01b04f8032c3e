// vocaset-cli template show, set, check and delete on a working copy of the demo database.

#include <QFile>

#include <gtest/gtest.h>

#include "DemoCli.h"

namespace vocaset::test {
namespace {

class TemplateCli : public DemoCli
{
protected:
    QString write(const char* name, const QString& text)
    {
        const QString path = demoDir.filePath(QLatin1String(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        return path;
    }
    int admin(QStringList args)
    {
        return run(QStringList{QStringLiteral("--password-file"), write("pw", QStringLiteral("vocaset-admin"))} + args);
    }
};

TEST_F(TemplateCli, SetChecksFirstCheckListsEveryProblemAndShowReadsBackWhatSetTook)
{
    const QStringList kv = {QStringLiteral("--model"), QStringLiteral("SIPKV")};
    ASSERT_EQ(run(QStringList{QStringLiteral("template"), QStringLiteral("show"), QStringLiteral("--text")} + kv),
              cli::Ok);
    const QString stored = out;
    EXPECT_TRUE(stored.startsWith(QStringLiteral("# {{model.name}}"))) << stored.toStdString();
    ASSERT_EQ(run(QStringList{QStringLiteral("template"), QStringLiteral("check")} + kv), cli::Ok) << out.toStdString();
    EXPECT_EQ(out.trimmed(), QStringLiteral("3 telephones checked, 0 problems"));

    // Each problem with its place, the telephone's refusal once per telephone it refuses; exit 1.
    const QString bad =
        write("bad.txt", QStringLiteral("{{#params}}\n{{code}}={{valeu}}\n{{/params}}\n{{phone.description}}\n"));
    ASSERT_EQ(run({QStringLiteral("template"), QStringLiteral("check"), bad, QStringLiteral("--model"),
                   QStringLiteral("SIPKV"), QStringLiteral("--file-name"), QStringLiteral("ut{{mac}}.ini")}),
              cli::RunFailed);
    QStringList lines = out.trimmed().split(u'\n');
    EXPECT_EQ(lines.value(0), QStringLiteral("line 2, column 10: \"valeu\" names nothing a template can use"));
    EXPECT_TRUE(lines.value(1).startsWith(QStringLiteral("file name: \"ut{{mac}}.ini\" can name the same files as "
                                                         "the F1000 files")))
        << out.toStdString();
    EXPECT_EQ(lines.last(), QStringLiteral("3 telephones checked, 2 problems")) << out.toStdString();
    // A value the file cannot carry refuses that telephone only, and check names it.
    working.db.executeBound(QStringLiteral("UPDATE PHONES SET PH_DESC = ? WHERE CO_CODE = 'ALPIN' AND PH_CODE = '213'"),
                            {QStringLiteral("Yard\ngate")});
    ASSERT_EQ(run(QStringList{QStringLiteral("template"), QStringLiteral("check")} + kv), cli::RunFailed);
    lines = out.trimmed().split(u'\n');
    ASSERT_EQ(lines.size(), 2) << out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Telephone ALPIN/213, parameter account.1.display_name: the value "
                                                   "holds a line feed")))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("3 telephones checked, 1 problem"));

    // set refuses without the second password, then what check found, saving nothing.
    const QString good = write("good.txt", QStringLiteral("{{#params}}\r\n{{code}} = {{value}}\r\n{{/params}}\r\n"));
    const QStringList set = {QStringLiteral("template"), QStringLiteral("set"),   good,
                             QStringLiteral("--model"),  QStringLiteral("SIPKV"), QStringLiteral("--eol"),
                             QStringLiteral("lf")};
    EXPECT_EQ(run(set), cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("second password"))) << err.toStdString();
    EXPECT_EQ(admin({QStringLiteral("template"), QStringLiteral("set"), bad, QStringLiteral("--model"),
                     QStringLiteral("SIPKV")}),
              cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("not saved: 1 problem"))) << err.toStdString();
    ASSERT_EQ(admin(set), cli::Ok) << err.toStdString();
    EXPECT_EQ(out.trimmed(), QStringLiteral("Template saved: SIPKV (config)"));
    ASSERT_EQ(run(QStringList{QStringLiteral("template"), QStringLiteral("show")} + kv), cli::Ok);
    EXPECT_TRUE(out.startsWith(QStringLiteral("Model:        SIPKV\nKind:         config\nFile name:    "
                                              "{{mac_lower}}.cfg\nEscape:       none\nEncoding:     Windows-1252\n"
                                              "Line ends:    LF\n")))
        << out.toStdString();
    EXPECT_TRUE(out.endsWith(QStringLiteral("\n\n{{#params}}\r\n{{code}} = {{value}}\r\n{{/params}}\r\n")));
    ASSERT_EQ(run({QStringLiteral("history"), QStringLiteral("--table"), QStringLiteral("MODEL_TEMPLATES")}), cli::Ok);
    EXPECT_TRUE(out.contains(QStringLiteral("MODEL_TEMPLATES SIPKV/config  MT_TEXT: # {{model.name}}")))
        << out.toStdString();

    // Usage errors before anything is opened; a model that is not a template model; delete.
    EXPECT_EQ(run({QStringLiteral("template"), QStringLiteral("set"), good, QStringLiteral("--model"),
                   QStringLiteral("SIPKV"), QStringLiteral("--escape"), QStringLiteral("html")}),
              cli::Usage);
    EXPECT_EQ(run({QStringLiteral("template"), QStringLiteral("show")}), cli::Usage);
    EXPECT_EQ(admin({QStringLiteral("template"), QStringLiteral("set"), good, QStringLiteral("--model"),
                     QStringLiteral("F1000"), QStringLiteral("--file-name"), QStringLiteral("f{{mac}}.cfg")}),
              cli::RunFailed);
    EXPECT_TRUE(err.contains(QStringLiteral("writer module is not TEMPLATE"))) << err.toStdString();
    ASSERT_EQ(
        admin({QStringLiteral("--yes"), QStringLiteral("template"), QStringLiteral("delete"), QStringLiteral("--model"),
               QStringLiteral("SIPXML"), QStringLiteral("--kind"), QStringLiteral("phonebook")}),
        cli::Ok)
        << err.toStdString();
    EXPECT_EQ(run({QStringLiteral("template"), QStringLiteral("show"), QStringLiteral("--model"),
                   QStringLiteral("SIPXML"), QStringLiteral("--kind"), QStringLiteral("phonebook")}),
              cli::RunFailed);
}

TEST_F(TemplateCli, GenerateExplainAndPhoneBookTreatATemplateModelAsTheBuiltInOnes)
{
    ASSERT_EQ(run({QStringLiteral("generate"), QStringLiteral("--company"), QStringLiteral("ALPIN"),
                   QStringLiteral("--model"), QStringLiteral("SIPKV"), QStringLiteral("--out"), demoDir.path()}),
              cli::Ok)
        << "OUT[" << out.toStdString() << "]ERR[" << err.toStdString() << "]";
    QFile file(demoDir.filePath(QStringLiteral("02a1c0000213.cfg")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("# Key = value desk telephone (template): 213 Yard & gate, Alpine Logistics SA\n"
                                 "account.1.auth_name=sip213\n"))
        << bytes.constData();
    ASSERT_EQ(run({QStringLiteral("generate"), QStringLiteral("--company"), QStringLiteral("ALPIN"),
                   QStringLiteral("--model"), QStringLiteral("SIPKV"), QStringLiteral("--out"), demoDir.path(),
                   QStringLiteral("--dry-run")}),
              cli::Ok);
    EXPECT_TRUE(err.contains(QStringLiteral("3 unchanged, 0 new, 0 changed, 0 refused"))) << err.toStdString();
    ASSERT_EQ(run({QStringLiteral("explain"), QStringLiteral("--company"), QStringLiteral("ALPIN"),
                   QStringLiteral("--phone"), QStringLiteral("213")}),
              cli::Ok);
    EXPECT_TRUE(out.contains(QStringLiteral("file 02a1c0000213.cfg"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("account.1.password SIP password of line 1 [P]: *** from P")))
        << out.toStdString();

    ASSERT_EQ(run({QStringLiteral("phonebook"), QStringLiteral("generate"), QStringLiteral("--company"),
                   QStringLiteral("ALPIN"), QStringLiteral("--model"), QStringLiteral("SIPXML"),
                   QStringLiteral("--out"), demoDir.path()}),
              cli::Ok)
        << "OUT[" << out.toStdString() << "]ERR[" << err.toStdString() << "]";
    QFile book(demoDir.filePath(QStringLiteral("directory.xml")));
    ASSERT_TRUE(book.open(QIODevice::ReadOnly));
    EXPECT_TRUE(book.readAll().startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<directory"));
}

} // namespace
} // namespace vocaset::test
