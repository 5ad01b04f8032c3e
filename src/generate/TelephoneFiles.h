#pragma once

#include <memory>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "ConfigWriter.h"
#include "Database.h"
#include "GenerationChoices.h"
#include "ModelTemplates.h"
#include "SharedRows.h"

namespace vocaset {

// One line of a telephone's turn as the generation run hands it on: a line of the run's log, or a
// message the operator is shown (in a window a message box, in vocaset-cli standard error).
struct TurnLine
{
    enum class Kind { Log, Shown };
    Kind kind = Kind::Log;
    QString text;
};

enum class FilesStatus {
    Ready,        // names and bytes are set: write them
    Empty,        // no parameter at the levels chosen: nothing to write (the turn logs M14)
    NoFile,       // the model's writer module is "NONE": it has no file
    Refused,      // this telephone gets no file (MAC or file name unusable, file too large, a value
                  // the format cannot carry); a run goes on with the next telephone
    MergeFailed,  // a place-holder failed or a parameter came from two levels (M12): a run stops
    ModuleFailed, // the model has no row or an unknown writer module (M9, M10): a run stops
    NotFound      // no telephone with that company and code
};

// What one telephone's turn makes, in memory: exactly the bytes and lines the generation run
// writes for it.
struct TelephoneFiles
{
    FilesStatus status = FilesStatus::NotFound;
    PhoneInfo phone;
    // The files' names (both formed whenever the module has a writer) and, when Ready, their bytes.
    // source is set only when source files were asked for and the name differs from the
    // configuration file's (where they coincide the configuration file wins).
    FileNames names;
    QByteArray config;
    std::optional<QByteArray> source;
    // The merged set in ascending code order (the database's text order), each row with the level
    // that gave its value and the value as stored before its place-holders were expanded. After a
    // failed merge: the rows merged so far, as the run leaves them in EQ_TEMP.
    QList<ParamRow> params;
    // Rows left out of the set because their code already came from another level; problem says so.
    QList<ParamRow> rejected;
    // The turn's lines in order, up to the writing of the files; then those that follow a
    // successful write (characters written as '?', M15).
    QList<TurnLine> lines;
    QList<TurnLine> afterWrite;
    // Unless Ready, Empty or NoFile: the log texts that say why, as the run logs or shows them.
    QStringList errors;

    bool ready() const { return status == FilesStatus::Ready; }
};

// Makes telephones' files in memory, for the generation run and for anything that serves a
// telephone its file on request. Works on any open Database: one maker per connection and thread.
//
// Rows that are the same for every telephone of a company and model (the model's catalogue, its
// writer module, the equipment defaults and the company's values) are read on the first telephone
// of that model, and of that pair and level choice, merged once (SharedRows), and kept for every
// pair it meets, until keepWhile is given another stamp; each telephone's own values are read
// through one prepared statement, unless the caller read them already (with the telephone's row, or
// a block of telephones at a time). So a maker reflects the database as it was at its first
// telephone of a pair: make a new one (cheap: it sends nothing until asked), or give it a new stamp,
// to see rows changed since.
//
// The messages in the lines (M6, M9 to M15) are looked up in the language given, once per maker;
// a missing message gives the fallback text and a Shown line, as everywhere else. Nothing is shown
// or logged by the maker itself. Refused statements throw DbError.
class TelephoneFileMaker
{
public:
    // How a telephone's set is merged: from the rows its company and model share, or each level's
    // rows in turn for every telephone. Both give the same files and lines; the second is what the
    // first falls back on for a telephone whose merge fails.
    enum class Merge { Shared, RowByRow };

    TelephoneFileMaker(Database& db, const QString& language, Merge merge = Merge::Shared);
    ~TelephoneFileMaker();
    Q_DISABLE_COPY_MOVE(TelephoneFileMaker)

    // The files of the telephone with this company and code (status NotFound when there is none).
    TelephoneFiles make(const QString& company, const QString& phone, const LevelChoice& levels,
                        bool withSource = false);
    // The same for a telephone row already read; with own, the telephone's own values read already.
    TelephoneFiles make(const PhoneInfo& phone, const LevelChoice& levels, bool withSource = false,
                        const OwnValues* own = nullptr);

    // Forgets every row read so far when the stamp differs from the one given last, or is null: a
    // holder that keeps the maker between requests gives the database's change count, say.
    void keepWhile(const QVariant& stamp);

    // From now on the model's files come from this template instead of the one stored (a template
    // being edited, shown before it is saved).
    void useTemplate(const ModelTemplate& t);
    // The writer of the telephone's model; nullptr for a model without one (a missing row, "NONE").
    const ConfigWriter* writerFor(const PhoneInfo& phone);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The own values of a run's telephones, all of one company and model, read a block of telephones at
// a time: one statement per block instead of one per telephone, which is what a run pays on a
// database across a network. The codes are given in the database's order (ORDER BY PH_CODE), so a
// block is the range from its first code to its last. Blocks grow from one telephone to blockSize,
// doubling, so a run reads little ahead of the telephones it has written: a database that fails
// early in a run stops it early, as reading one telephone at a time did.
class OwnValueBlocks
{
public:
    OwnValueBlocks(Database& db, QString company, QString model, QStringList phones, int blockSize = 500);
    Q_DISABLE_COPY_MOVE(OwnValueBlocks)

    // The values of one of the telephones given, reading the block that starts with it when they
    // are not at hand.
    const OwnValues& of(const QString& phone);

private:
    Database& m_db;
    QString m_company;
    QString m_model;
    QStringList m_phones;
    QHash<QString, qsizetype> m_index;
    int m_blockSize;
    int m_nextSize = 1;
    // The block at hand: the values of m_phones[m_first] on, and a code not given, read by itself.
    qsizetype m_first = -1;
    QList<OwnValues> m_block;
    qsizetype m_next = 0; // where the next telephone asked for is, most likely
    QString m_alone;
    OwnValues m_aloneValues;
};

// One telephone's files with a maker of its own, so every row is read as it is now.
TelephoneFiles makeTelephoneFiles(Database& db, const QString& language, const QString& company, const QString& phone,
                                  const LevelChoice& levels, bool withSource = false);

} // namespace vocaset
