#pragma once

#include <array>
#include <optional>

#include <QList>
#include <QString>

#include "SelectionList.h"
#include "Session.h"

namespace vocaset {

// The parameter levels a run merges: telephone "P", company "C", equipment "E".
struct LevelChoice
{
    bool phone = true;
    bool company = true;
    bool equipment = true;
};

// The three level boxes of the generation window (0 telephone, 1 company, 2 equipment). At least
// one always stays ticked: a change that would leave none ticks that box again.
class LevelBoxes
{
public:
    bool ticked(int box) const { return m_ticked.at(box); }
    // Returns true when the box ends in the requested state.
    bool set(int box, bool on);
    // A "$$DEFGEN" value: character k+1 for box k; "0" or a blank clears, anything else (or a missing
    // character) ticks. Boxes change in order, each under the rule above.
    void applyDefault(const QString& flags);
    LevelChoice choice() const { return {m_ticked[0], m_ticked[1], m_ticked[2]}; }

private:
    std::array<bool, 3> m_ticked{true, true, true};
};

// Telephones of the company and model, from the first code given (all when empty).
QList<ListEntry> phoneEntries(Database& db, const QString& company, const QString& model,
                              const QString& from = QString());

// "$$DEFGEN" or "$$GENPATH" of a company and model; nothing when the row is missing.
std::optional<QString> generationSetting(Database& db, const QString& company, const QString& model,
                                         const QString& subCode);
// The output folder of a company and model as the window shows it: "$$GENPATH" less one trailing
// separator, or empty; with the program's folder given, resolved against it.
QString defaultFolder(Database& db, const QString& company, const QString& model, const QString& appDir = {});

// The folder a folder text names before any run: resolved against the program's folder, then
// place-holders expanded for the first telephone of the company and model; the current telephone
// of the session is left where it was.
QString folderForFirstPhone(Session& s, const QString& company, const QString& model, const QString& folderText);

} // namespace vocaset
