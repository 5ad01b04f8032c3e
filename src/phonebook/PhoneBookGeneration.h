#pragma once

#include <functional>
#include <optional>

#include "Interaction.h"
#include "PhoneBookChoices.h"
#include "TemplateWriter.h"

namespace vocaset {

// The address book a GXP2000 telephone loads: the company's published entries (flag other than
// "H") in name order, written as "gs_phonebook.xml" into the chosen folder.
class PhoneBookGeneration
{
public:
    PhoneBookGeneration(Session& session, RunLog& log) : m_s(session), m_log(log) {}
    Q_DISABLE_COPY_MOVE(PhoneBookGeneration)

    static QString fileName() { return QStringLiteral("gs_phonebook.xml"); }

    // Selects the company's telephones of the model, checks the folder and the model, and writes
    // the file. Refused statements throw DbError.
    PhoneBookSummary run(const PhoneBookRequest& request);
    // Asks a run that is giving the user interface a turn to stop; the file is then not written.
    void requestStop() { m_stopRequested = true; }

private:
    Session& m_s;
    RunLog& m_log;
    bool m_stopRequested = false;
};

// The company's published entries in name order, as the address book lists them.
Recordset addressBookEntries(Database& db, const QString& company);

// What became of one entry of the address book.
enum class EntryFate {
    Written,
    Lossy,  // written, with '?' for characters the code page lacks
    LeftOut // a line break or another control character: a one-line field cannot carry it
};
// The address book's bytes, from the first entry on. each(entry, fate) is called after every entry
// ("number - name"); returning false stops, and nothing is returned.
std::optional<QByteArray> addressBookBytes(Recordset& entries,
                                           const std::function<bool(const QString&, EntryFate)>& each = {});

// The address book of a template model's "phonebook" template for a company: the same entries in
// the same order, those the template cannot carry on one line left out; nothing with the reason when
// the template refuses. each(entry, fate) is called for every entry once the file is made.
struct TemplateBook
{
    std::optional<QByteArray> bytes;
    QString refusal;
    std::optional<TemplateProblem> problem; // where the template or the file says, with the refusal
    QString text;                           // the file as rendered, for a preview
};
TemplateBook templateAddressBook(Database& db, const CompiledTemplate& book, const QString& company,
                                 const QString& model, const std::function<bool(const QString&, EntryFate)>& each = {});

// "&", "<" and ">" as the XML parser of the telephone reads them.
QString xmlEscaped(const QString& text);

// True when a value can go into a one-line text field: no line break and no other control character
// but the tab.
bool fitsOneLine(const QString& text);

} // namespace vocaset
