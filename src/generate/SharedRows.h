#pragma once

#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "ConfigWriter.h"
#include "Database.h"
#include "GenerationChoices.h"

namespace vocaset {

// The order of "ORDER BY PA_CODE" on both engines: byte order of the UTF-8 text, which is code-point order.
bool codeBefore(const QString& a, const QString& b);

// A row of a level as stored, prepared for the merge: its description taken, and whether it holds
// place-holders to expand for each telephone.
struct StoredRow
{
    ParamRow row;
    bool described = true; // false: the catalogue has no row for the code (description null)
    bool marked = false;

    StoredRow(const QString& code, const QString& desc, bool described, const QString& value, QChar level);
};

// Expands a row's code, description (when the catalogue has one) and value for one telephone, in
// that order; after a failure the rest stay as typed. Returns the place-holder that failed.
std::optional<QString> expandRow(ParamRow& row, bool described, const QString& phoneCode, const QString& phoneDesc);

// Which texts of a row hold a place-holder, as expandRow takes them.
enum PlaceHolderIn : quint8 { InCode = 1, InDesc = 2, InValue = 4 };
quint8 placeHoldersOf(const ParamRow& row, bool described);
// expandRow for the texts the mask names; the same result, without looking at the others.
std::optional<QString> expandRow(ParamRow& row, quint8 mask, const QString& phoneCode, const QString& phoneDesc);

// A telephone's own value (PHONES_PARAMETERS) as stored.
struct OwnValue
{
    QString code;
    QString value;
};
// A telephone's own values in code order (the database's text order).
using OwnValues = QList<OwnValue>;

// What every telephone of one company and model shares at one level choice: the model's catalogue,
// its equipment rows and the company's values as stored, and the two levels merged once, in code
// order. A telephone's set is a copy of the merged rows with only those that hold a place-holder
// expanded, its own values merged in. Nothing in it changes once made, so any number of makers may
// hold one; whoever keeps it decides when it is stale (see SharedRowsCache).
class SharedRows
{
public:
    struct Key
    {
        QString company;
        QString model;
        bool equipmentLevel = true;
        bool companyLevel = true;
        bool operator<(const Key& o) const
        {
            return std::tie(company, model, equipmentLevel, companyLevel) <
                   std::tie(o.company, o.model, o.equipmentLevel, o.companyLevel);
        }
        bool operator==(const Key& o) const
        {
            return company == o.company && model == o.model && equipmentLevel == o.equipmentLevel &&
                   companyLevel == o.companyLevel;
        }
    };
    static Key keyOf(const QString& company, const QString& model, const LevelChoice& levels)
    {
        return {company, model, levels.equipment, levels.company};
    }

    // Reads the catalogue and the rows of the levels the key chooses; refused statements throw DbError.
    static std::shared_ptr<const SharedRows> read(Database& db, const Key& key);
    SharedRows(Key key, QHash<QString, QString> descriptions, QList<StoredRow> equipment, QList<StoredRow> company);

    const Key& key() const { return m_key; }
    // The levels' rows as stored, in the database's code order, for a merge row by row.
    const QList<StoredRow>& equipmentRows() const { return m_equipment; }
    const QList<StoredRow>& companyRows() const { return m_company; }
    // The model's catalogue: each code with its description.
    const QHash<QString, QString>& descriptions() const { return m_descriptions; }
    // A company or telephone value with its description from the model's catalogue.
    StoredRow valueRow(const QString& code, const QString& value, QChar level) const;

    // A telephone's merged set made from the shared rows, with the codes of its rows the catalogue
    // lacks in merge order (equipment, company, then its own). own: its own values, or nullptr
    // without the telephone level. Nothing when the set must be merged row by row, which tells why
    // in its own words: a place-holder that fails, a code two levels give, a code that holds a
    // place-holder.
    // plain: for each row, true when it is known to hold nothing a file format could refuse (see
    // formatMayRefuse), so the caller need not look again.
    struct Merged
    {
        QList<ParamRow> rows;
        QStringList uncatalogued;
        QList<bool> plain;
    };
    // Where the own codes of the last telephone merged went, kept by the caller for the next, whose
    // codes are most likely the same: it saves looking for their places again.
    struct Hint
    {
        quint64 of = 0; // the serial of the shared rows it was made from
        QStringList codes;
        QList<qsizetype> before;    // the merged row each code goes before
        QList<qsizetype> catalogue; // its row in the catalogue, or -1
    };
    std::optional<Merged> merge(const QString& phoneCode, const QString& phoneDesc, const OwnValues* own,
                                Hint* hint = nullptr) const;

private:
    Key m_key;
    quint64 m_serial; // unique for the process's lifetime, so a hint never takes another's places
    QHash<QString, QString> m_descriptions;
    QList<std::pair<QString, QString>> m_catalogue; // the same in code order, walked along a telephone's codes
    QList<StoredRow> m_equipment;
    QList<StoredRow> m_company;
    // The merged rows in code order, as stored, whether each is expanded for a telephone, and the
    // codes the catalogue lacks; m_mergeable false when no telephone can take its set from them.
    QList<ParamRow> m_merged;
    QList<quint8> m_expand; // PlaceHolderIn flags
    QList<bool> m_plain;
    QStringList m_uncatalogued;
    bool m_mergeable = true;
};

// The shared rows a holder keeps between telephones, one per company, model and level choice, for
// as long as the stamp it gives stays the same: the database's change count, say, for a server that
// answers from one connection for hours. A null stamp keeps nothing from one call to the next.
class SharedRowsCache
{
public:
    // Forgets every kept part when the stamp differs from the one given last, or is null.
    void keepWhile(const QVariant& stamp);
    void clear()
    {
        m_kept.clear();
        m_last = nullptr;
    }
    const SharedRows& of(Database& db, const QString& company, const QString& model, const LevelChoice& levels);

private:
    QVariant m_stamp;
    std::map<SharedRows::Key, std::shared_ptr<const SharedRows>> m_kept;
    const SharedRows* m_last = nullptr; // the part asked for last, found again without the map
};

} // namespace vocaset
