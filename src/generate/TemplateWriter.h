#pragma once

#include <memory>
#include <optional>

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "ConfigWriter.h"
#include "Database.h"
#include "FileNamePattern.h"
#include "ModelTemplates.h"

namespace vocaset {

// A place in a template's text or in the file it renders, counted from 1; line 0 when there is none.
struct TemplatePlace
{
    int line = 0;
    int column = 0;
};

struct TemplateProblem
{
    enum class In { Template, FileName, File }; // the template's text, its file-name pattern, the rendered file
    In in = In::Template;
    TemplatePlace at;
    QString text;
    // "line 3, column 7: text", "line 3, column 7 of the file: text", "file name: text", or the text
    // alone without a place.
    QString located() const;
};

// One entry of a company's address book as a "phonebook" template lists it; index is its place in
// the address book's order, also when an entry before it was left out.
struct BookEntry
{
    int index = 0;
    QString number{}, name{}, flag{}, extension{}, fax{}, mobile{}, mail{};
};

// What a template is rendered for. A "config" template reads the telephone, its company and model and
// the merged parameter set; a "phonebook" template the company, the model and the entries.
struct TemplateSubject
{
    QString mac;
    QString phoneCode;
    QString phoneDescription;
    QString companyCode;
    QString companyName;
    QString modelCode;
    QString modelName;
    const QList<ParamRow>* params = nullptr;  // in ascending code order
    const QSet<QString>* catalogue = nullptr; // the model's codes: named but absent from the set, they read as false
    const QList<BookEntry>* entries = nullptr;
};

struct RenderedFile
{
    std::optional<QByteArray> bytes;        // encoded, with the template's line ends; nothing when refused
    QString text;                           // the file as rendered, LF line ends; empty when rendering stopped
    QString refusal;                        // why there are no bytes
    std::optional<TemplateProblem> problem; // the same with its place, where the template or the file gives one
    QStringList lossy;                      // what had characters written as '?' (parameter codes, entries)
};

// One template parsed once, by the Mustache library: rendered for many telephones, each render
// reusing what the one before allocated. Partials are off and nothing a value holds is read as
// template text: the data hold no lambdas. Renders are capped in output and in work. Not for two
// threads at once.
class CompiledTemplate
{
public:
    explicit CompiledTemplate(ModelTemplate t);
    ~CompiledTemplate();
    Q_DISABLE_COPY_MOVE(CompiledTemplate)

    static constexpr qsizetype kMaxOutputBytes = 4 * 1024 * 1024;

    const ModelTemplate& stored() const;
    bool phoneBook() const;
    // Where the text does not parse; nothing when it does.
    const std::optional<TemplateProblem>& syntaxError() const;

    // Without withText the file's text is left empty where its bytes do not need it.
    RenderedFile render(const TemplateSubject& subject, bool withText = true) const;
    // The names the template uses that no telephone or address book of the model has, and partials,
    // whatever the data: rendered with every list holding entries and every catalogue code present,
    // then with every list empty and every code absent, so every section is entered once.
    QList<TemplateProblem> nameProblems(const QStringList& catalogue) const;
    // The place of a byte of the text as the library counts (UTF-8).
    TemplatePlace placeOf(qsizetype offset) const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

// Where the text is not well-formed XML (a document with one root element); nothing when it is.
std::optional<TemplateProblem> xmlProblem(const QString& text);

// The writer of a model whose EQ_MODULE is TEMPLATE: its "config" template compiled once, the file
// name from its pattern. Reads the company's name the first time it meets the company.
class TemplateWriter final : public ConfigWriter
{
public:
    // catalogue: the model's codes. Without a template the writer makes no file and says why.
    TemplateWriter(Database& db, const std::optional<ModelTemplate>& stored, const QString& model,
                   QSet<QString> catalogue);
    ~TemplateWriter() override;
    Q_DISABLE_COPY_MOVE(TemplateWriter)

    // Why no telephone of the model gets a file (no template, a syntax error, a pattern that cannot
    // name files); empty when the writer works.
    const QString& problem() const { return m_problem; }
    const CompiledTemplate* compiled() const { return m_compiled.get(); }
    // What the writer renders a telephone's file from.
    TemplateSubject subject(const PhoneInfo& phone, const QList<ParamRow>& rows) const;

    FileNames names(const PhoneInfo& phone, const LevelChoice& levels) const override;
    std::optional<QByteArray> config(const PhoneInfo& phone, const QList<ParamRow>& rows, Cp1252Sink& sink,
                                     QString* refusal) const override;
    // "# description" and "code = value" for each parameter, as the GXP2000 source reads.
    QByteArray source(const QList<ParamRow>& rows, Cp1252Sink& sink) const override;
    bool windows1252() const override;

private:
    Database& m_db;
    std::unique_ptr<CompiledTemplate> m_compiled;
    std::optional<FileNamePattern> m_pattern;
    QString m_model;
    QString m_modelName;
    QSet<QString> m_catalogue;
    QString m_problem;
    mutable QHash<QString, QString> m_companies;
};

} // namespace vocaset
