#include "PhoneBookGeneration.h"

#include <QFileInfo>

#include "Messages.h"
#include "ModelTemplates.h"
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

TemplateBook templateAddressBook(Database& db, const CompiledTemplate& book, const QString& company,
                                 const QString& model, const std::function<bool(const QString&, EntryFate)>& each)
{
    Recordset rows = addressBookEntries(db, company);
    const char* const fields[] = {"BK_NUM", "BK_NAME", "BK_FLAG", "BK_EXTNUM", "BK_FAX", "BK_GSM", "BK_MAIL"};
    QList<BookEntry> entries;
    QList<std::pair<QString, bool>> listed; // each entry's text, and whether the template gets it
    for (int n = 0; !rows.eof(); rows.moveNext(), ++n) {
        BookEntry e{n};
        QString* values[] = {&e.number, &e.name, &e.flag, &e.extension, &e.fax, &e.mobile, &e.mail};
        bool fits = true;
        for (int i = 0; i < int(std::size(fields)); ++i) {
            *values[i] = rows.text(QLatin1String(fields[i]));
            fits = fits && fitsOneLine(*values[i]);
        }
        listed.append({e.number + QStringLiteral(" - ") + e.name, fits});
        if (fits)
            entries.append(e);
    }
    const Recordset names = db.executeBound(
        QStringLiteral("SELECT (SELECT CO_DESC FROM COMPANY WHERE CO_CODE = ?), (SELECT EQ_DESC FROM EQUIPMENT "
                       "WHERE EQ_CODE = ?)"),
        {company, model});
    TemplateSubject subject;
    subject.companyCode = company;
    subject.companyName = names.text(0);
    subject.modelCode = model;
    subject.modelName = names.text(1);
    subject.entries = &entries;
    RenderedFile file = book.render(subject);
    if (!file.bytes)
        return {std::nullopt, file.refusal, file.problem, file.text};
    for (const auto& [entry, fits] : std::as_const(listed)) {
        const EntryFate fate = !fits                        ? EntryFate::LeftOut
                               : file.lossy.contains(entry) ? EntryFate::Lossy
                                                            : EntryFate::Written;
        if (each && !each(entry, fate))
            return {};
    }
    return {std::move(file.bytes), {}, std::nullopt, file.text};
}

PhoneBookSummary PhoneBookGeneration::run(const PhoneBookRequest& r)
{
    m_stopRequested = false;
    PhoneBookSummary summary;
    const ReadSnapshot snapshot(m_s.db);
    // A template model's own address book, where it has one; the GXP2000's otherwise.
    const std::optional<ModelTemplate> own = ModelTemplates::read(m_s.db, r.model, QStringLiteral("phonebook"));
    const std::optional<QString> folder = checkRequest(m_s, r, !own, summary);
    if (!folder)
        return summary;

    Recordset entries = addressBookEntries(m_s.db, r.company);
    summary.selected = entries.count();
    summary.file = *folder + u'/' + (own ? own->fileName : fileName());
    m_log.progress(0, summary.selected);
    const auto each = [&](const QString& entry, EntryFate fate) {
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
    };
    std::optional<QByteArray> out;
    if (own) {
        // The name comes from the template only once it is one a file can carry.
        QString why;
        TemplateBook book;
        if (!FileNamePattern::parse(own->fileName, false, &why) || !isSafeFileName(own->fileName))
            book.refusal = QStringLiteral("the file name \"%1\": %2").arg(own->fileName, why);
        else
            book = templateAddressBook(m_s.db, CompiledTemplate(*own), r.company, r.model, each);
        if (!book.refusal.isEmpty()) {
            m_log.append(QStringLiteral("The address book of %1 for %2 is not written: %3")
                             .arg(r.company, r.model, book.refusal));
            summary.outcome = PhoneBookOutcome::Refused;
            summary.failed = summary.selected;
            return summary;
        }
        out = std::move(book.bytes);
    } else {
        out = addressBookBytes(entries, each);
    }
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
