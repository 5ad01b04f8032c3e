#pragma once

#include <QString>

#include "HttpExchange.h"
#include "Interaction.h"
#include "Session.h"

namespace vocaset {

// The three ways a telephone is told to restart through its web server, one per family. Each writes
// its progress into the run log; none stops the run. The telephone named in the first line is the
// row s.currentPhone stands on.
class RebootDialogues final
{
public:
    static constexpr auto kGnKey = "7d31";
    static constexpr auto kUser = "admin";
    static constexpr auto kNc = "00000001";
    static constexpr auto kCnonce = "5c1e0a7b93d24f86a0e3b7c9d15f2a48";

    RebootDialogues(Session& session, RunLog& log, HttpExchange& exchange) : m_s(session), m_log(log), m_x(exchange) {}

    // Busy GXP2000 telephones are asked again after each deadline when set.
    void setWaitIfBusy(bool wait) { m_waitIfBusy = wait; }
    bool waitIfBusy() const { return m_waitIfBusy; }

    // Each returns true when the telephone accepted the reboot (the M15 line).
    // Form login, cookie, reboot page.
    bool RebootGXP2000(const QString& address, const QString& password);
    // The reboot page behind HTTP Digest authentication.
    bool RebootPAP2(const QString& address, const QString& password);
    // HTTP Basic authentication, then the reboot form.
    bool RebootF1000(const QString& address, const QString& password);

    // The value of the first Set-Cookie header, up to its first ";" or the line end.
    static QString cookieOf(const QString& reply);
    // Form encoding of a field value: letters, digits and "*-._" as they are, blank as "+",
    // every other byte (Windows-1252) as %XX.
    static QString formEncode(const QString& value);
    // The qop to answer a challenge with: "auth" when offered in a list, else the value as received.
    static QString chooseQop(const QString& offered);
    // Base64 of user ":" password as one unbroken text without "=".
    static QString basicCredentials(const QString& user, const QString& password);
    // The status code of a reply ("HTTP/1.0 404 Not Found" gives 404); 0 when it has no status line.
    static int statusOf(const QString& reply);

private:
    void begin(const QString& label, const QString& address);
    void logMessage(const QString& code);
    // True, after a log line saying why, when the reply is no HTTP answer (the telephone closed
    // without one) or carries a status other than 2xx or 3xx: an error page is no success.
    bool failedReply(const QString& address);
    // True, after M22, when the telephone refused the credentials (401 or 403).
    bool refusedLogin();

    Session& m_s;
    RunLog& m_log;
    HttpExchange& m_x;
    bool m_waitIfBusy = true;
    QString m_cookieLine;
};

} // namespace vocaset
