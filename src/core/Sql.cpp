#include "Sql.h"

namespace vocaset {

bool isPlainIdentifier(const QString& name)
{
    if (name.isEmpty() || name.size() > 128 || name[0].isDigit())
        return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'_';
        if (!ok)
            return false;
    }
    return true;
}

} // namespace vocaset
