#pragma once

#include <gtest/gtest.h>

#include <QFile>

#include "TestDatabase.h"

namespace vocaset::test {

inline QString sourceDir()
{
    return QStringLiteral(VOCASET_SOURCE_TREE);
}

// Loads the help texts the source database ships.
inline void loadHelpSeed(TestSession& t)
{
    QFile seed(sourceDir() + QStringLiteral("/data/seed/60-help.sql"));
    ASSERT_TRUE(seed.open(QIODevice::ReadOnly));
    for (const QString& line : QString::fromUtf8(seed.readAll()).split(u'\n')) {
        if (line.startsWith(QLatin1String("INSERT")))
            t.exec(line.trimmed().chopped(1));
    }
}

} // namespace vocaset::test
