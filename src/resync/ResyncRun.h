#pragma once

#include <QStringList>

#include "Interaction.h"
#include "RebootRun.h"
#include "Session.h"
#include "SipNotifier.h"

namespace vocaset {

// Asks telephones over SIP to check their configuration: one out-of-dialogue NOTIFY each, with the
// event the model's settings name, to the address the reboot finds (or the one of the telephone's
// last recorded fetch). No administrator password is needed.
class ResyncRun final
{
public:
    using Outcome = RebootRun::Outcome;
    using Summary = RebootRun::Summary;

    struct Choice
    {
        QString company;
        QString model;
        QString first; // empty: from the first telephone of the model
        QString last;  // empty: to the last
        bool staleOnly = false;   // only the telephones the fleet lists as stale
        bool fetchAddress = false; // always the client address of the last recorded fetch
        QStringList codes{};       // when given, only these telephones of the model
    };

    ResyncRun(Session& session, RunLog& log, int t1Ms = 500);
    Q_DISABLE_COPY_MOVE(ResyncRun)

    // Empty when the model can be resynchronised, else why not (the settings row to add).
    QString refusal(const QString& model);
    // Sends the NOTIFY requests. A refused statement throws DbError.
    Outcome run(const Choice& choice);
    const Summary& summary() const { return m_summary; }

    void abort() { m_notifier.abort(); }
    SipNotifier& notifier() { return m_notifier; }

private:
    QString setting(const QString& model, const QString& key, bool* found = nullptr);

    Session& m_s;
    RunLog& m_log;
    SipNotifier m_notifier;
    Summary m_summary;
};

} // namespace vocaset
