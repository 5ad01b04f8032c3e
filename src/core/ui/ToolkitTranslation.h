#pragma once

#include <QString>

namespace vocaset {

// The toolkit's own texts (Yes, No, OK, Cancel, the input dialog's buttons) in the user's language,
// from the translations installed with the toolkit. English needs none; a language without them
// keeps English. Returns whether a translation was installed.
bool installToolkitTranslation(const QString& language);

} // namespace vocaset
