#pragma once

#include <optional>

#include <QHash>
#include <QSet>

#include "Interaction.h"
#include "PhoneBookChoices.h"

namespace vocaset {

// What the operator chose: the company, the two bounds as typed and whether to delete.
struct RangeRequest
{
    QString company;
    QString from;
    QString to;
    bool remove = false;
};

// Fills RANGES with the codes of a numeric interval for a company, or removes them again, one code
// at a time, logging each. The whole interval is one transaction; a run stopped by the operator keeps
// the codes done so far, as its log shows them. A failure that ends the transaction (a full disk, a
// lost connection) stops the run with TransactionLost and keeps nothing.
class RangeGeneration
{
public:
    RangeGeneration(Session& session, RunLog& log) : m_s(session), m_log(log) {}
    Q_DISABLE_COPY_MOVE(RangeGeneration)

    // A bound as a number: digits only (leading zeros dropped); nothing when it is not one.
    static std::optional<int> boundValue(const QString& text);

    PhoneBookSummary run(const RangeRequest& request);
    void requestStop() { m_stopRequested = true; }

private:
    static constexpr int kBlock = 100;
    // Writes a whole block in one statement when every code of it is to be written; false otherwise.
    bool writeTogether(const QStringList& block, bool remove);
    // One code's turn; written when its block's statement already did the work.
    void add(const QString& code, bool written, PhoneBookSummary& summary);
    void remove(const QString& code, bool written, PhoneBookSummary& summary);
    QString text(const QString& code);

    Session& m_s;
    RunLog& m_log;
    QString m_company;
    QSet<QString> m_ranges; // the company's codes in RANGES
    QSet<QString> m_phones; // the company's codes in PHONES
    QHash<QString, QString> m_texts;
    bool m_stopRequested = false;
};

} // namespace vocaset
