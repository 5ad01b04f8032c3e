#pragma once

#include <QSet>
#include <QString>

#include "Database.h"

namespace vocaset {

// The parameters of a model whose values are secrets: the one the reboot logs in with (the model's
// "$$EPWD" setting) and every one whose description mentions a password, in any case.
class SecretParameters
{
public:
    SecretParameters(Database& db, const QString& model);
    bool contains(const QString& code) const { return m_codes.contains(code); }
    // True for a parameter description that makes its values secret.
    static bool secretDescription(const QString& description);

    static const QString kMask; // "***"

private:
    QSet<QString> m_codes;
};

} // namespace vocaset
