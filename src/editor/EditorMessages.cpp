#include "EditorMessages.h"

#include "Messages.h"

namespace vocaset {

namespace {

struct Entry
{
    const char* code;
    const char* english;
};

// Kept in the order of EditorText.
constexpr Entry kTexts[] = {
    {"M260", "The table \"$$\" does not exist or is not a plain table name."},
    {"M261", "The table $$ has no primary key: its rows are listed read-only."},
    {"M262", "The records could not be listed: $$"},
    {"M263", "The drop-down values could not be read: $$"},
    {"M264", "The MAC address \"$$\" is not 12 hexadecimal digits; the record is not saved."},
    {"M265", "The record is not saved: $$."},
    {"M266", "With the second password only system rows are saved: $$ must begin with two dollar signs."},
    {"M267", "System rows need the second password: $$ must not begin with two dollar signs."},
    {"M268", "Abandon the record being edited?"},
    {"M269", "$$ records"},
    {"M270", "The database answered: $$"},
    {"M700", "The record is no longer there: another operator deleted it or changed its key since it was "
             "listed. Nothing was saved; list the records again."},
};

} // namespace

QString editorText(Session& s, EditorText which, const QString& argument)
{
    // The count of records reads "1 record" from a row of its own.
    if (which == EditorText::RecordCount) {
        static constexpr CountedText records{"M269", "$$ records", "M440", "$$ record"};
        return textOr(s, records, argument.toLongLong(), argument);
    }
    const Entry& e = kTexts[int(which)];
    return textOr(s, QLatin1String(e.code), QLatin1String(e.english), argument);
}

} // namespace vocaset
