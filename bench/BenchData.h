#pragma once

#include <optional>

#include <QString>
#include <QStringList>
#include <QTextStream>

#include "Database.h"
#include "Interaction.h"

namespace vocaset::bench {

inline const QString kCompany = QStringLiteral("BENCH");
inline const QString kModel = QStringLiteral("MODEL");

// Fills an empty database with the schema and one company whose N telephones all have one model of
// 150 parameters: 100 at the equipment level, 30 at the company level, 20 at the telephone level,
// with a value for every company and telephone parameter. Some values carry place-holders.
void buildDataSet(Database& db, int phones);

// Gives the model a template that lays its file out as the F1000 writer does (one code=value line
// per parameter, Windows-1252, CR LF), so the two can be timed on the same data. Returns the file
// name's form, %1 standing for the MAC.
QString addF1000Template(Database& db);

// The number after the option name among a benchmark's arguments, or the fallback.
int option(const QStringList& args, const QString& name, int fallback);

// User and system CPU seconds a process of this machine has used so far; 0 when it cannot be read.
double cpuSecondsOf(qint64 pid);

// Answers Yes and takes every default; shown messages go to standard error, so a benchmark that
// stops on one says why.
class SilentOperator final : public Operator
{
public:
    void showMessage(const QString& text, const QString&) override { QTextStream(stderr) << text << Qt::endl; }
    bool askYesNo(const QString&, const QString&) override { return true; }
    std::optional<QString> askText(const QString&, const QString& d) override { return d; }
};

} // namespace vocaset::bench
