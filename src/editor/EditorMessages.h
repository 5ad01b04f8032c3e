#pragma once

#include <QString>

#include "Session.h"

namespace vocaset {

// The editor's own messages (M260 to M289): the stored text in the user's language, else English.
enum class EditorText {
    NotATable,        // M260 table name
    NoPrimaryKey,     // M261 table name
    ListFailed,       // M262 the engine's text
    LookupFailed,     // M263 the engine's text
    BadMac,           // M264 the MAC typed
    BadValue,         // M265 parameter and reason
    SystemKeyNeeded,  // M266 column
    SystemKeyRefused, // M267 column
    AbandonRecord,    // M268
    RecordCount,      // M269 number of records
    EngineReason,     // M270 the engine's text, after M17, M18 or M19
    RecordGone,       // M700
};

QString editorText(Session& s, EditorText which, const QString& argument = {});

} // namespace vocaset
