#include "SelectionList.h"

namespace vocaset {
namespace {
const QLatin1String kSeparator(" \\\\ ");
} // namespace

QString listEntry(const QString& code, const QString& description)
{
    return code + kSeparator + description;
}

QString entryCode(const QString& shown)
{
    const qsizetype sep = shown.indexOf(kSeparator);
    return sep < 0 ? shown : shown.left(sep);
}

} // namespace vocaset
