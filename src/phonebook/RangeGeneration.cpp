#include "RangeGeneration.h"

#include "ColumnWidths.h"
#include "Messages.h"
#include "Sql.h"
#include "UiYield.h"

namespace vocaset {
namespace {

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

// The log texts of the run, each read once.
QString RangeGeneration::text(const QString& code)
{
    auto it = m_texts.constFind(code);
    if (it == m_texts.constEnd())
        it = m_texts.insert(code, MessageText(m_s, code));
    return *it;
}

PhoneBookSummary RangeGeneration::run(const RangeRequest& r)
{
    m_stopRequested = false;
    m_texts.clear();
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
    const QString title = QStringLiteral("Range Generation");
    if (!m_s.op.askYesNo(MessageText(m_s, QStringLiteral("M26"), QString::number(count)), title) ||
        (r.remove && !m_s.op.askYesNo(MessageText(m_s, QStringLiteral("M25")), title))) {
        summary.outcome = PhoneBookOutcome::Declined;
        return summary;
    }

    summary.outcome = PhoneBookOutcome::Completed;
    summary.selected = count;
    m_company = r.company;
    const QString company = sqlText(r.company);
    // What exists is read once: a code then costs one statement, or none when the answer is known.
    m_ranges = codes(m_s.db, QStringLiteral("SELECT PH_CODE FROM RANGES WHERE CO_CODE = '") + company + u'\'');
    m_phones = codes(m_s.db, QStringLiteral("SELECT PH_CODE FROM PHONES WHERE CO_CODE = '") + company + u'\'');

    Transaction transaction(m_s.db);
    const QString before = text(QStringLiteral("M27"));
    m_log.progress(0, count);
    // Blocks of consecutive codes: a block whose every code is to be written goes in one statement,
    // which on a server costs one exchange instead of a hundred. The operator's stop takes effect
    // between blocks, so the log always shows what the database holds.
    for (int first = *from; first <= *to; first += kBlock) {
        const int last = std::min(*to, first + kBlock - 1);
        QStringList block;
        for (int n = first; n <= last; ++n)
            block.append(QString::number(n));
        const bool together = writeTogether(block, r.remove);
        for (const QString& code : block) {
            m_log.append(before + code);
            if (r.remove)
                remove(code, together, summary);
            else
                add(code, together, summary);
            m_log.progress(++summary.done, count);
            giveUiTurn();
        }
        if (m_stopRequested && last < *to) {
            summary.outcome = PhoneBookOutcome::Aborted;
            break;
        }
    }
    transaction.commit();
    return summary;
}

bool RangeGeneration::writeTogether(const QStringList& block, bool remove)
{
    if (block.size() != kBlock)
        return false;
    for (const QString& code : block) {
        if (m_phones.contains(code) || m_ranges.contains(code) != remove)
            return false;
    }
    QString sql = remove ? QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = ? AND PH_CODE IN (")
                         : QStringLiteral("INSERT INTO RANGES VALUES");
    QVariantList values;
    if (remove)
        values.append(m_company);
    for (int i = 0; i < kBlock; ++i) {
        if (remove) {
            sql += i == 0 ? QStringLiteral("?") : QStringLiteral(", ?");
            values.append(block[i]);
        } else {
            sql += i == 0 ? QStringLiteral("(?, ?)") : QStringLiteral(", (?, ?)");
            values << m_company << block[i];
        }
    }
    if (remove)
        sql += u')';
    try {
        m_s.db.executeBound(sql, values);
        return true;
    } catch (const TransactionLost&) {
        throw;
    } catch (const DbError&) {
        return false; // each code is then tried on its own, for its own outcome
    }
}

void RangeGeneration::add(const QString& code, bool written, PhoneBookSummary& summary)
{
    // A code in use by a telephone, or listed already, is left as it is (M30): what was asked for is there.
    if (!written && (m_phones.contains(code) || m_ranges.contains(code))) {
        m_log.append(text(QStringLiteral("M30")));
        return;
    }
    try {
        if (!written)
            m_s.db.executeBound(QStringLiteral("INSERT INTO RANGES VALUES(?, ?)"), {m_company, code});
        m_ranges.insert(code);
        m_log.append(text(QStringLiteral("M31")));
        ++summary.succeeded;
    } catch (const TransactionLost&) {
        throw;
    } catch (const DbError&) {
        m_log.append(text(QStringLiteral("M30")));
        ++summary.failed;
    }
}

void RangeGeneration::remove(const QString& code, bool written, PhoneBookSummary& summary)
{
    if (!m_ranges.contains(code))
        return;
    try {
        if (!written)
            m_s.db.executeBound(QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = ? AND PH_CODE =?"),
                                {m_company, code});
        m_ranges.remove(code);
        m_log.append(text(QStringLiteral("M29")));
        ++summary.succeeded;
    } catch (const TransactionLost&) {
        throw;
    } catch (const DbError&) {
        // The database keeps a code that a telephone still uses.
        m_log.append(
            textOr(m_s, QStringLiteral("M300"), QStringLiteral("Not deleted: a telephone still uses this code.")));
        ++summary.failed;
    }
}

} // namespace vocaset
