#pragma once

#include <QString>

#include "DbError.h"
#include "Session.h"

namespace vocaset {

// When the engine refused a bulk run's write because of a row another operator committed since the
// run read (Dialect::conflictOf: a key taken, a reference added or removed), throws OperatorConflict:
// "Another operator changed <what> meanwhile: <how>. Nothing was saved; try again.", then the
// engine's text. `what` names the row the run was writing, as "code 7050 of company ALPIN". Any other refusal
// returns, for the run to report as it does; so does a broken reference when `references` is Own, for a
// run whose references may be refused for reasons of the database's own (a letter missing from a
// table of codes).
enum class References { Others, Own };
void throwIfConflict(Session& s, const DbError& refusal, const QString& what,
                     References references = References::Others);

} // namespace vocaset
