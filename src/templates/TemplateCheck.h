#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "ModelTemplates.h"
#include "Session.h"
#include "TemplateWriter.h"

namespace vocaset {

// A template's file made for one telephone (a "config" template) or one company (a "phonebook"
// template), as the generation would make it from the database now, or why it would make none.
struct TemplatePreview
{
    QString subject;   // "ALPIN/211" or "ALPIN"
    bool made = false; // the file was made: bytes hold it
    QByteArray bytes;
    QString text;                    // the file as text, for reading; as far as rendered when refused
    QList<TemplateProblem> problems; // why it was not made
    QStringList notes;               // lines the run logs besides (characters written as '?')
};

// Checks a template, saved or not, against the model it is for and the templates of every other
// model, and makes its files without writing any. Reads the database; writes nothing.
class TemplateCheck
{
public:
    TemplateCheck(Session& s, ModelTemplate t);
    ~TemplateCheck();
    Q_DISABLE_COPY_MOVE(TemplateCheck)

    const ModelTemplate& checked() const { return m_t; }
    // False when the text does not parse: no file can be made from it.
    bool parses() const { return !m_compiled.syntaxError(); }
    // Why the template cannot be saved for its model (no such model, not a template model, options
    // none of the stored spellings), or nothing.
    std::optional<QString> modelRefusal();
    // What is wrong whatever the data: its syntax (line and column), names nothing answers,
    // characters the encoding lacks, its size, its file name and the names other models' files or
    // the built-in writers' take, and, for an "xml" template, a file that is not well-formed XML.
    QList<TemplateProblem> templateProblems();
    // The file of one telephone (company and code) or, for a "phonebook" template, of one company.
    TemplatePreview preview(const QString& company, const QString& phone = {});
    // Every telephone of the model, or every company with telephones of it, in code order; progress
    // is told after each one and may stop the check by returning false.
    QList<TemplatePreview> previewAll(const std::function<bool(int, int)>& progress = {});

private:
    Session& m_s;
    ModelTemplate m_t;
    CompiledTemplate m_compiled;
    std::optional<QStringList> m_catalogue;
    const QStringList& catalogue();
};

// What a save did: refused with the problems found (nothing saved), or saved (changed is false when
// the stored template was the same already).
struct TemplateSave
{
    std::optional<QString> refusal;
    QList<TemplateProblem> problems;
    bool changed = false;
    bool saved() const { return !refusal && problems.isEmpty(); }
};

// Checks and saves in one transaction with the change history: the names of the other models'
// templates are read where they are written, so that two colliding names cannot both go in. Needs
// the settings' second password, which the caller has asked for. Refused statements throw DbError.
TemplateSave saveTemplate(Session& s, const ModelTemplate& t);
// Removes a model's template of a kind with its history; false when there was none.
bool deleteTemplate(Session& s, const QString& model, const QString& kind);

// The models whose files come from a template, code and description, in code order.
QList<QPair<QString, QString>> templateModels(Database& db);

// "ALPIN/211: line 3, column 7: text"
QString problemLine(const QString& subject, const TemplateProblem& p);

} // namespace vocaset
