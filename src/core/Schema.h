#pragma once

#include <QStringList>

namespace vocaset::Schema {

// The CREATE TABLE statements, each table after the tables its foreign keys name.
const QStringList& createStatements();
// The tables a creation run copies, referenced tables first; EQ_TEMP is scratch and not copied.
const QStringList& copyOrder();

} // namespace vocaset::Schema
