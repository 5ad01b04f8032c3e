#pragma once

#include "Interaction.h"
#include "PhoneBookChoices.h"

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

// "&", "<" and ">" as the XML parser of the telephone reads them.
QString xmlEscaped(const QString& text);

// True when a value can go into a one-line text field: no line break and no other control character
// but the tab.
bool fitsOneLine(const QString& text);

} // namespace vocaset
