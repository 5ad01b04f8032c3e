#pragma once

#include <QList>
#include <QStringList>

#include "Session.h"

namespace vocaset {

struct UpgradeStep
{
    QString bound; // the step applies to a database whose version is lower than this
    QStringList statements;
};

// The fixed steps, in ascending order of their bounds.
const QList<UpgradeStep>& upgradeSteps();

struct UpgradeReport
{
    QString storedVersion;
    bool noticeShown = false;
    QStringList stepsRun; // bounds of the steps that ran
};

// Brings the schema to the program's version and stamps it; a database at that version is only read.
// Everything happens in one transaction that holds off a second upgrade until it ends: when a
// statement fails the database is left exactly as it was and DbError is thrown.
UpgradeReport upgradeSchema(Session& s);

} // namespace vocaset
