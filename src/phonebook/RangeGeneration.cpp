#include "RangeGeneration.h"

#include "ChangeHistory.h"
#include "ColumnWidths.h"
#include "Messages.h"
#include "OperatorConflicts.h"
#include "Sql.h"
#include "UiYield.h"

namespace vocaset {
namespace {

// Up to this many codes written the history of a run compares only them; more codes are most of a
// company's anyway, and their list would only lengthen the statements.
constexpr int kScopedCodes = 1000;

QSet<QString> codes(Database& db, const QString& sql)
{
    QSet<QString> out;
    const Recordset rs = db.execute(sql);
    out.reserve(rs.count());
    for (const QVariantList& row : rs.rows())
        out.insert(row.at(0).toString());
    return out;
}

} // namespace

std::optional<int> RangeGeneration::boundValue(const QString& text)
{
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    QString digits = text;
    while (digits.size() > 1 && digits.startsWith(u'0'))
        digits.remove(0, 1);
    // A number too wide for a code is reported by the caller; this only keeps it from overflowing.
    if (digits.size() > 9)
        return 999999999;
    return digits.toInt();
}

PhoneBookSummary RangeGeneration::run(const RangeRequest& r)
{
    m_stopRequested = false;
    m_texts.reset();
    PhoneBookSummary summary;
    summary.outcome = PhoneBookOutcome::Refused;
    const std::optional<int> from = boundValue(r.from);
    const std::optional<int> to = boundValue(r.to);
    if (!from) {
        showPhoneBookText(m_s, QStringLiteral("M297"), QStringLiteral("The first code \"$$\" is not a whole number."),
                          r.from);
        return summary;
    }
    if (!to) {
        showPhoneBookText(m_s, QStringLiteral("M298"), QStringLiteral("The last code \"$$\" is not a whole number."),
                          r.to);
        return summary;
    }
    // The bounds compare as numbers: 9 to 10 is two codes.
    if (*to < *from) {
        ShowMessage(m_s, QStringLiteral("M24"));
        return summary;
    }
    const ColumnWidths widths(m_s.db, QStringLiteral("RANGES"));
    if (!widths.fits(QStringLiteral("PH_CODE"), QString::number(*to))) {
        showPhoneBookText(m_s, QStringLiteral("M299"),
                          QStringLiteral("The code $$ is longer than five characters and cannot be stored."),
                          QString::number(*to));
        return summary;
    }
    if (const std::optional<QString> tooLong = widths.refusal(m_s, QStringLiteral("CO_CODE"), r.company)) {
        m_s.op.showMessage(*tooLong);
        return summary;
    }

    const int count = *to - *from + 1;
    // The window's caption, as every message box of the program is titled.
    const QString title = textOr(m_s, QStringLiteral("FRGEN"), QStringLiteral("Ranges Generation"));
    if (!m_s.op.askYesNo(MessageText(m_s, QStringLiteral("M26"), QString::number(count)), title) ||
        (r.remove && !m_s.op.askYesNo(MessageText(m_s, QStringLiteral("M25")), title))) {
        summary.outcome = PhoneBookOutcome::Declined;
        return summary;
    }

    summary.outcome = PhoneBookOutcome::Completed;
    summary.selected = count;
    m_summary = summary;
    m_company = r.company;
    m_texts.emplace(m_s);
    m_blocks.emplace(m_s.db);
    m_kind = m_blocks->kind(
        r.remove ? BlockShape(QStringLiteral("RANGES"))
                       .text(QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = ? AND PH_CODE IN ("), {m_company})
                       .rows(QStringLiteral("?"))
                       .text(QStringLiteral(")"))
                 : BlockShape::insert(QStringLiteral("RANGES"), QStringLiteral("(?, ?)")));

    Transaction transaction(m_s.db);
    // Another bulk run of the company (a second range run, an import) waits for this one to end, and
    // the codes a deletion reads are held from then on: what the run reads, counts and records in the
    // history is what it changes.
    m_s.db.lockName(companyWriters(r.company));
    // What exists is read once: a code then costs its share of a block, or nothing when its outcome
    // is known.
    const QString company = sqlText(r.company);
    m_ranges = codes(m_s.db, QStringLiteral("SELECT PH_CODE FROM RANGES WHERE CO_CODE = '") + company + u'\'' +
                                 (r.remove ? Dialect::forUpdate(m_s.db.engine()) : QString()));
    m_phones = codes(m_s.db, QStringLiteral("SELECT PH_CODE FROM PHONES WHERE CO_CODE = '") + company + u'\'');
    // The codes the run will write, known from what exists: when they are few, the history compares
    // those only, however many codes the company has (none when every code is there already).
    QStringList planned;
    for (int n = *from; n <= *to && planned.size() <= kScopedCodes; ++n) {
        const QString code = QString::number(n);
        if (!m_phones.contains(code) && m_ranges.contains(code) == r.remove)
            planned.append(code);
    }
    std::optional<TableSnapshot::Scope> scope;
    if (planned.size() <= kScopedCodes)
        scope = TableSnapshot::Scope{QStringLiteral("PH_CODE"), planned};
    TableSnapshot ranges(m_s.db, QStringLiteral("RANGES"), QStringLiteral("CO_CODE"), r.company, scope);
    m_s.db.reached(u"ranges.read");
    m_before = m_texts->message(QStringLiteral("M27"));
    m_count = count;
    m_log.progress(0, count);
    for (int n = *from; n <= *to; ++n) {
        const QString code = QString::number(n);
        if (r.remove)
            remove(code);
        else
            add(code);
        giveUiTurn();
        // The codes queued go first, so the log shows what the database holds.
        if (m_stopRequested && n < *to) {
            m_blocks->flush();
            m_summary.outcome = PhoneBookOutcome::Aborted;
            break;
        }
    }
    m_blocks->flush();
    ChangeRecorder history(m_s, QStringLiteral("ranges"));
    ranges.record(history);
    transaction.commit();
    m_blocks->refreshStatistics();
    return m_summary;
}

QString RangeGeneration::codeText(const QString& code) const
{
    return QStringLiteral("the code %1 of company %2").arg(code, m_company);
}

void RangeGeneration::started(const QString& code)
{
    m_log.append(m_before + code);
}

void RangeGeneration::finished()
{
    m_log.progress(++m_summary.done, m_count);
}

// A code's first line is told as soon as the codes before it are, its other lines and its progress with
// its outcome: a code known beforehand is one step of the writer, a code sent one step and its row. A
// run meets each code once, so what it reads of the company's codes needs no update as it goes.
void RangeGeneration::add(const QString& code)
{
    // A code in use by a telephone, or listed already, is left as it is (M30): what was asked for is there.
    if (m_phones.contains(code) || m_ranges.contains(code)) {
        m_blocks->then([this, code] {
            started(code);
            m_log.append(m_texts->message(QStringLiteral("M30")));
            finished();
        });
        return;
    }
    m_blocks->then([this, code] { started(code); });
    m_blocks->add(m_kind, {m_company, code}, [this, code](const DbError* refusal) {
        if (refusal) {
            // The codes were read under the run's lock: a key taken now is another operator's.
            throwIfConflict(m_s, *refusal, codeText(code));
            m_log.append(m_texts->message(QStringLiteral("M30")));
            ++m_summary.failed;
        } else {
            m_log.append(m_texts->message(QStringLiteral("M31")));
            ++m_summary.succeeded;
        }
        finished();
    });
}

void RangeGeneration::remove(const QString& code)
{
    if (!m_ranges.contains(code)) {
        m_blocks->then([this, code] {
            started(code);
            finished();
        });
        return;
    }
    // The database keeps a code that a telephone still uses; one known to be used is not even sent.
    const auto kept = [this] {
        m_log.append(
            m_texts->text(QStringLiteral("M300"), QStringLiteral("Not deleted: a telephone still uses this code.")));
        ++m_summary.failed;
    };
    if (m_phones.contains(code)) {
        m_blocks->then([this, code, kept] {
            started(code);
            kept();
            finished();
        });
        return;
    }
    m_blocks->then([this, code] { started(code); });
    m_blocks->add(m_kind, {code},
                  {QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = ? AND PH_CODE =?"), {m_company, code}},
                  [this, code, kept](const DbError* refusal) {
                      if (refusal) {
                          // A telephone given the code since the run read the company's codes.
                          throwIfConflict(m_s, *refusal, codeText(code));
                          kept();
                      } else {
                          m_log.append(m_texts->message(QStringLiteral("M29")));
                          ++m_summary.succeeded;
                      }
                      finished();
                  });
}

} // namespace vocaset
