#pragma once

#include <optional>

#include <QSet>

#include "BlockWriter.h"
#include "Interaction.h"
#include "Messages.h"
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

// Fills RANGES with the codes of a numeric interval for a company, or removes them again, logging
// each code. The whole interval is one transaction; the codes go in blocks (BlockWriter), and a code
// the database refuses is refused alone while the others go in. A run stopped by the operator keeps
// the codes done so far, as its log shows them. A failure that ends the transaction (a full disk, a
// lost connection, another operator's lock or a time-out) stops the run with TransactionLost and
// keeps nothing; so does a code another operator added, or gave a telephone, after the run read the
// company's codes (OperatorConflict).
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
    // One code's turn: its statement queued, or its outcome logged when it is known already.
    void add(const QString& code);
    void remove(const QString& code);
    // A code's first log line, and the progress once its lines are told.
    void started(const QString& code);
    void finished();
    // "the code 7050 of company ALPIN", for a conflict with another operator.
    QString codeText(const QString& code) const;

    Session& m_s;
    RunLog& m_log;
    QString m_company;
    QSet<QString> m_ranges; // the company's codes in RANGES
    QSet<QString> m_phones; // the company's codes in PHONES
    std::optional<RunTexts> m_texts;
    std::optional<BlockWriter> m_blocks;
    BlockWriter::Kind m_kind = 0;
    PhoneBookSummary m_summary;
    QString m_before; // the text before each code's number in its first line
    int m_count = 0;
    bool m_stopRequested = false;
};

} // namespace vocaset
