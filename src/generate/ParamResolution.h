#pragma once

#include <QString>

#include "Session.h"

namespace vocaset {

// The effective value of one parameter for the telephone s.currentPhone stands on, taken only from
// the level the model's catalogue names ("E" default, "C" company value, "P" telephone value).
// Company and telephone values have their place-holders expanded; equipment defaults do not.
// A missing catalogue row, value row or an unusable level is shown (M1..M5) and gives "".
QString GetParamValue(Session& s, const QString& code);

// Replaces the place-holders "$$P" (telephone code) and "$$N" (description), each optionally
// followed by ",start,length", with the current telephone's texts. A place-holder ends before the
// first apostrophe, else before the first blank, else at the end of the text. A malformed or
// unknown place-holder is shown (M6), sets s.runError and returns the text as expanded so far.
QString ExpandMacros(Session& s, const QString& text);

} // namespace vocaset
