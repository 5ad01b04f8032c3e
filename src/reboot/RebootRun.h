#pragma once

#include <optional>

#include <QStringList>

#include "HttpExchange.h"
#include "Interaction.h"
#include "RebootDialogues.h"
#include "SelectionList.h"
#include "Session.h"

namespace vocaset {

// Restarts a range of telephones of one company and one model, one after the other, each with the
// dialogue of its model's writer module. Lines go to the log, message boxes to the session's operator.
class RebootRun final
{
public:
    enum class Outcome {
        Completed, // every selected telephone had its turn
        Stopped,   // a telephone's equipment could not be resolved (M9, M10)
        Aborted    // the operator cancelled
    };

    // What the last run did, for its closing line and its exit code.
    struct Summary
    {
        Outcome outcome = Outcome::Completed;
        int selected = 0;   // telephones of the range
        int done = 0;       // telephones whose turn ended
        int restarted = 0;  // telephones that accepted the reboot
        QStringList failed; // codes of the telephones that had their turn and did not restart
        QStringList accepted; // codes of the telephones that accepted, in code order

        // Telephones not restarted, those an early end left out included; a model without a reboot
        // dialogue ("NONE") counts as neither.
        int failures() const { return int(failed.size()) + selected - done; }
        // "3 telephone(s) selected, 1 restarted, 2 failed: 101, 102", with how an early end came.
        QString line() const;
    };

    RebootRun(Session& session, RunLog& log, int deadlineMs = HttpExchange::kDefaultDeadlineMs);
    Q_DISABLE_COPY_MOVE(RebootRun)

    // The four selection lists, as entries.
    QStringList companies();
    QStringList equipments(const QString& company);
    QStringList phonesFrom(const QString& equipment);
    QStringList phonesTo(const QString& equipment, const QString& first);

    // The run over the telephones of the company and model whose codes lie between first and last.
    // A refused statement throws DbError; the run is then over.
    // No telephone in the range shows M8.
    Outcome run(const QString& company, const QString& equipment, const QString& first, const QString& last);
    // The same over the telephones of a company with these codes, whatever their models, in code order.
    Outcome runTelephones(const QString& company, const QStringList& codes);
    const Summary& summary() const { return m_summary; }

    // The operator's Cancel: the exchange under way fails, the run ends after the current telephone.
    void abort() { m_x.abort(); }
    bool running() const { return m_running; }
    void closeSocket() { m_x.closeSocket(); }

    void setWaitIfBusy(bool wait) { m_dialogues.setWaitIfBusy(wait); }
    HttpExchange& exchange() { return m_x; }

private:
    // Restarts the telephones selected into the session's current set.
    Outcome runSelected();
    // Each true when the telephone accepted the reboot.
    bool GXP2000();
    bool PAP2();
    bool F1000();
    // The values of the parameters the settings name for each key, or nothing after M20.
    std::optional<QStringList> settingValues(const QStringList& keys);
    QStringList entries(const QString& sql);

    Session& m_s;
    RunLog& m_log;
    HttpExchange m_x;
    RebootDialogues m_dialogues;
    QString m_equipment;
    bool m_stopRun = false;
    bool m_running = false;
    Summary m_summary;
};

} // namespace vocaset
