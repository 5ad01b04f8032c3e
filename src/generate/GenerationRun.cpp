#include "GenerationRun.h"

#include <QFileInfo>

#include "FileBatch.h"
#include "FolderSetting.h"
#include "Messages.h"
#include "ParamResolution.h"
#include "Sql.h"
#include "TelephoneFiles.h"

namespace vocaset {
namespace {

// A value a place-holder puts into the output folder must stay one folder name.
bool plainFolderName(const QString& value)
{
    return !value.contains(u'/') && !value.contains(u'\\') && !value.contains(QChar(0)) && value != u"." &&
           value != u"..";
}

// The rows of a telephone whose merge failed stay in EQ_TEMP for inspection.
void keepInScratch(Database& db, const QList<ParamRow>& rows)
{
    for (const ParamRow& row : rows)
        db.executeBound(QStringLiteral("INSERT INTO EQ_TEMP VALUES(?, ?, ?, ?)"),
                        {row.code, row.desc.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(row.desc),
                         row.value, QString(row.level)});
}

} // namespace

// The columns of the run's telephones, found once: each turn reads its telephone by position.
struct PhoneColumns
{
    explicit PhoneColumns(const Recordset& phones)
        : company(phones.fieldIndex(QStringLiteral("CO_CODE"))), code(phones.fieldIndex(QStringLiteral("PH_CODE"))),
          model(phones.fieldIndex(QStringLiteral("EQ_CODE"))),
          description(phones.fieldIndex(QStringLiteral("PH_DESC"))), mac(phones.fieldIndex(QStringLiteral("PH_MAC")))
    {
    }
    PhoneInfo of(const Recordset& phones) const
    {
        return {phones.text(company), phones.text(code), phones.text(model), phones.text(description),
                phones.text(mac)};
    }
    int company, code, model, description, mac;
};

// One run's turns: each telephone's folder, its files from the maker, and writing them.
class GenerationRun::Turns
{
public:
    Turns(GenerationRun& run, const GenerationRequest& request)
        : m_s(run.m_s), m_log(run.m_log), m_request(request), m_maker(m_s.db, m_s.language),
          m_folder(resolveFolderSetting(request.folder, m_s.appDir)), m_columns(m_s.currentPhone)
    {
        if (request.levels.phone)
            m_own.emplace(m_s.db, request.company, request.model, codesLeft(m_s.currentPhone));
    }

    // Every telephone's turn, in code order, until one ends the run.
    RunOutcome all(RunSummary& summary, const bool& stopRequested)
    {
        for (; !m_s.currentPhone.eof(); m_s.currentPhone.moveNext()) {
            if (const std::optional<RunOutcome> end = telephone(summary))
                return *end;
            m_s.db.reached(u"telephone.done");
            m_log.progress(++summary.done, summary.selected);
            if (m_s.runError)
                return RunOutcome::Stopped;
            if (stopRequested) {
                m_log.append(QStringLiteral("Run stopped by the operator after %1 of %2 telephones")
                                 .arg(summary.done)
                                 .arg(summary.selected));
                return RunOutcome::Cancelled;
            }
        }
        return RunOutcome::Completed;
    }

    // Puts the pending files in place; telephones whose files did not land no longer count as written.
    void commit(RunSummary& summary)
    {
        QString error;
        if (const int failed = m_batch.commit(&error); failed > 0) {
            summary.written -= failed;
            fail(error);
        }
    }

private:
    // One telephone's turn; an outcome when the run ends without its clean-up.
    std::optional<RunOutcome> telephone(RunSummary& summary)
    {
        const PhoneInfo phone = m_columns.of(m_s.currentPhone);
        QString folder = m_folder;
        if (folder.contains(QLatin1String("$$"))) {
            const Expansion e = expandPlaceHolders(folder, phone.code, phone.description);
            if (e.badToken) {
                ShowMessage(m_s, QStringLiteral("M6"), *e.badToken);
                m_s.runError = true;
            }
            // A description such as "../elsewhere" must not lead the files out of the chosen folder.
            for (const QString& value : e.inserted) {
                if (!plainFolderName(value)) {
                    const QString line = QStringLiteral("Telephone %1/%2: a place-holder puts \"%3\" into the output "
                                                        "folder, which must stay one folder name; no file written")
                                             .arg(phone.company, phone.code, value);
                    m_s.op.showMessage(line);
                    m_log.append(line);
                    refuse(summary, phone);
                    return std::nullopt;
                }
            }
            folder = e.text;
        }
        if (!QFileInfo(folder).isDir()) {
            ShowMessage(m_s, QStringLiteral("M7"));
            return RunOutcome::FolderMissing;
        }
        if (m_s.runError) {
            m_log.append(MessageText(m_s, QStringLiteral("M12")));
            return RunOutcome::MergeFailed;
        }

        const TelephoneFiles files =
            m_maker.make(phone, m_request.levels, m_request.source, m_own ? &m_own->of(phone.code) : nullptr);
        replay(files.lines);
        switch (files.status) {
        case FilesStatus::MergeFailed:
            m_s.runError = true;
            keepInScratch(m_s.db, files.params);
            return RunOutcome::MergeFailed;
        case FilesStatus::ModuleFailed:
            m_s.runError = true;
            break;
        case FilesStatus::Refused:
            refuse(summary, phone);
            break;
        case FilesStatus::Ready:
            if (write(folder, files)) {
                replay(files.afterWrite);
                ++summary.written;
                if (m_batch.due())
                    commit(summary);
            }
            break;
        case FilesStatus::Empty:
        case FilesStatus::NoFile:
        case FilesStatus::NotFound:
            break;
        }
        return std::nullopt;
    }

    // The codes of the telephones from the current one on, in their order.
    static QStringList codesLeft(const Recordset& phones)
    {
        const int code = phones.fieldIndex(QStringLiteral("PH_CODE"));
        QStringList codes;
        for (qsizetype i = phones.position() - 1; i >= 0 && i < phones.count(); ++i)
            codes.append(phones.rows().at(i).value(code).toString());
        return codes;
    }

    static void refuse(RunSummary& summary, const PhoneInfo& phone)
    {
        ++summary.skipped;
        summary.refused.append(phone.code);
    }

    void replay(const QList<TurnLine>& lines)
    {
        for (const TurnLine& line : lines) {
            if (line.kind == TurnLine::Kind::Shown)
                m_s.op.showMessage(line.text);
            else
                m_log.append(line.text);
        }
    }

    // The telephone's files join the batch, source file first.
    bool write(const QString& folder, const TelephoneFiles& files)
    {
        const QString base = folder + u'/';
        QList<FileBatch::File> group;
        if (files.source)
            group.append({base + files.names.source, *files.source});
        group.append({base + files.names.config, files.config});
        QString error;
        if (m_batch.add(group, &error))
            return true;
        fail(error);
        return false;
    }

    void fail(const QString& error)
    {
        m_s.op.showError(error);
        m_s.runError = true;
    }

    Session& m_s;
    RunLog& m_log;
    const GenerationRequest& m_request;
    TelephoneFileMaker m_maker;
    std::optional<OwnValueBlocks> m_own; // with the telephone level
    const QString m_folder;
    const PhoneColumns m_columns;
    FileBatch m_batch;
};

void GenerationRun::preparePrivateScratch(Database& db)
{
    db.execute(
        QStringLiteral("CREATE TEMPORARY TABLE IF NOT EXISTS EQ_TEMP (PA_CODE nvarchar(50), "
                       "PA_DESC nvarchar(255), PA_VALUE nvarchar(255), LE_CODE nvarchar(1), PRIMARY KEY (PA_CODE))"));
}

int GenerationRun::selectTelephones(Session& s, const GenerationRequest& r)
{
    QString sql = QStringLiteral("SELECT * FROM PHONES WHERE CO_CODE = '") + sqlText(r.company) +
                  QStringLiteral("' AND EQ_CODE = '") + sqlText(r.model) + QStringLiteral("' ");
    if (r.levels.phone)
        sql += QStringLiteral("AND PH_CODE BETWEEN '") + sqlText(r.firstPhone) + QStringLiteral("' AND '") +
               sqlText(r.lastPhone) + QStringLiteral("' ");
    s.currentPhone = s.db.execute(sql + QStringLiteral("ORDER BY PH_CODE"));
    const int telephones = s.currentPhone.count();
    if (telephones == 0) {
        ShowMessage(s, QStringLiteral("M8"));
        return 0;
    }
    // With the equipment level alone every telephone would write the same model-wide file in turn:
    // it is written once, for the last telephone, whose file is the one that would remain.
    const bool oneTurn = r.levels.equipment && !r.levels.company && !r.levels.phone;
    if (oneTurn)
        s.currentPhone.moveTo(telephones);
    return oneTurn ? 1 : telephones;
}

RunSummary GenerationRun::run(const GenerationRequest& r)
{
    m_s.runError = false;
    m_stopRequested = false;
    RunSummary summary;
    preparePrivateScratch(m_s.db);
    // One state of the database for the whole run: a rename or an import committed meanwhile is in
    // every file or in none.
    const ReadSnapshot snapshot(m_s.db);

    summary.selected = selectTelephones(m_s, r);
    if (summary.selected == 0) {
        summary.outcome = RunOutcome::NoTelephones;
        return summary;
    }

    // EQ_TEMP is only filled for a telephone whose merge failed; a run starts with it empty.
    m_s.db.execute(QStringLiteral("DELETE FROM EQ_TEMP"));
    Turns turns(*this, r);
    m_log.progress(0, summary.selected);
    try {
        summary.outcome = turns.all(summary, m_stopRequested);
    } catch (const DbError&) {
        // The telephones done so far keep their files, as if each had been written at once.
        turns.commit(summary);
        throw;
    }
    turns.commit(summary);
    if (summary.outcome == RunOutcome::FolderMissing || summary.outcome == RunOutcome::MergeFailed)
        return summary;
    if (m_s.runError)
        summary.outcome = RunOutcome::Stopped;
    m_s.db.execute(QStringLiteral("DELETE FROM EQ_TEMP"));
    summary.cleanedUp = true;
    return summary;
}

} // namespace vocaset
