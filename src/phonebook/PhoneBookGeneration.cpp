#include "PhoneBookGeneration.h"

#include <QFileInfo>

#include "Messages.h"
#include "Sql.h"
#include "TextFile.h"
#include "UiYield.h"

namespace vocaset {

QString xmlEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'&')
            out += QLatin1String("&amp;");
        else if (c == u'<')
            out += QLatin1String("&lt;");
        else if (c == u'>')
            out += QLatin1String("&gt;");
        else
            out += c;
    }
    return out;
}

bool fitsOneLine(const QString& text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 && c != u'\t'; });
}

Recordset addressBookEntries(Database& db, const QString& company)
{
    return db.execute(QStringLiteral("SELECT * FROM PHONE_BOOK WHERE CO_CODE = '") + sqlText(company) +
                      QStringLiteral("' AND BK_FLAG <> 'H' ORDER BY BK_NAME"));
}

std::optional<QByteArray> addressBookBytes(Recordset& entries,
                                           const std::function<bool(const QString&, EntryFate)>& each)
{
    const int numField = entries.fieldIndex(QStringLiteral("BK_NUM"));
    const int nameField = entries.fieldIndex(QStringLiteral("BK_NAME"));
    QByteArray out;
    out.reserve(160 * (entries.count() + 1));
    const auto line = [&out](const QString& text, bool* lossy = nullptr) {
        out += toCp1252(text, lossy);
        out += "\r\n";
    };
    line(QStringLiteral("<?xml version=\"1.0\"?>"));
    line(QStringLiteral("<AddressBook>"));
    // accountindex is the entry's place in the query's result, also when an entry before it is left out.
    for (int n = 0; !entries.eof(); entries.moveNext(), ++n) {
        const QString num = entries.text(numField);
        const QString name = entries.text(nameField);
        EntryFate fate = EntryFate::LeftOut;
        if (fitsOneLine(num) && fitsOneLine(name)) {
            bool lossy = false;
            line(QStringLiteral("<Contact>"));
            line(QStringLiteral("<LastName>") + xmlEscaped(name) + QStringLiteral("</LastName>"), &lossy);
            line(QStringLiteral("<FirstName></FirstName>"));
            line(QStringLiteral("<Phone>"));
            line(QStringLiteral("<phonenumber>") + xmlEscaped(num) + QStringLiteral("</phonenumber>"), &lossy);
            line(QStringLiteral("<accountindex>") + QString::number(n) + QStringLiteral("</accountindex>"));
            line(QStringLiteral("</Phone>"));
            line(QStringLiteral("</Contact>"));
            fate = lossy ? EntryFate::Lossy : EntryFate::Written;
        }
        if (each && !each(num + QStringLiteral(" - ") + name, fate))
            return std::nullopt;
    }
    line(QStringLiteral("</AddressBook>"));
    return out;
}

PhoneBookSummary PhoneBookGeneration::run(const PhoneBookRequest& r)
{
    m_stopRequested = false;
    PhoneBookSummary summary;
    const std::optional<QString> folder = checkRequest(m_s, r, true, summary);
    if (!folder)
        return summary;

    Recordset entries = addressBookEntries(m_s.db, r.company);
    summary.selected = entries.count();
    summary.file = *folder + u'/' + fileName();
    m_log.progress(0, summary.selected);
    const std::optional<QByteArray> out = addressBookBytes(entries, [&](const QString& entry, EntryFate fate) {
        if (fate == EntryFate::LeftOut) {
            m_log.append(entryLeftOutText(m_s, entry));
            ++summary.failed;
        } else {
            m_log.append(entry);
            if (fate == EntryFate::Lossy)
                m_log.append(entryLossyText(m_s, entry));
            ++summary.succeeded;
        }
        m_log.progress(++summary.done, summary.selected);
        giveUiTurn();
        return !m_stopRequested;
    });
    if (!out) {
        summary.outcome = PhoneBookOutcome::Aborted;
        return summary;
    }

    QString error;
    if (!writeFileAtomically(summary.file, *out, &error)) {
        showWriteFailure(m_s, error);
        summary.outcome = PhoneBookOutcome::WriteFailed;
        summary.failed = summary.selected;
        summary.succeeded = 0;
    }
    return summary;
}

} // namespace vocaset
