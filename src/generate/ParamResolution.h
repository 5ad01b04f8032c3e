#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "Session.h"

namespace vocaset {

// Place-holders of a text expanded for one telephone.
struct Expansion
{
    QString text;                    // as expanded; after a failure, as expanded so far
    std::optional<QString> badToken; // the place-holder that could not be expanded
    QStringList inserted;            // the values put in, in order
};
// ExpandMacros without the session: the telephone's code and description are given, and a failure
// is returned rather than shown.
Expansion expandPlaceHolders(const QString& text, const QString& code, const QString& description);

// GetParamValue without its box, for a run that logs the reason instead: missing is the message
// (M1..M5, taking the parameter's code) that tells why there is no value, empty when one was found.
struct ParamValue
{
    QString value;
    QString missing;
};
ParamValue findParamValue(Session& s, const QString& code);

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
