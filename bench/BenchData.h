#pragma once

#include <QString>

#include "Database.h"

namespace vocaset::bench {

inline const QString kCompany = QStringLiteral("BENCH");
inline const QString kModel = QStringLiteral("MODEL");

// Fills an empty database with the schema and one company whose N telephones all have one model of
// 150 parameters: 100 at the equipment level, 30 at the company level, 20 at the telephone level,
// with a value for every company and telephone parameter. Some values carry place-holders.
void buildDataSet(Database& db, int phones);

} // namespace vocaset::bench
