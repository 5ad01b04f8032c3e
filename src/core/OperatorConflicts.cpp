#include "OperatorConflicts.h"

#include "Dialect.h"
#include "Messages.h"

namespace vocaset {

void throwIfConflict(Session& s, const DbError& refusal, const QString& what, References references)
{
    if (dynamic_cast<const TransactionLost*>(&refusal) || dynamic_cast<const OperatorConflict*>(&refusal))
        return;
    switch (Dialect::conflictOf(refusal.code(), refusal.text(), s.db.engine())) {
    case Dialect::Conflict::None:
        return;
    case Dialect::Conflict::KeyTaken:
        throw OperatorConflict(textOr(s, QStringLiteral("M940"),
                                      QStringLiteral("Another operator changed $$ meanwhile: a record with the same "
                                                     "key is there now. Nothing was saved; try again."),
                                      what),
                               refusal);
    case Dialect::Conflict::Reference:
        if (references == References::Own)
            return;
        throw OperatorConflict(textOr(s, QStringLiteral("M941"),
                                      QStringLiteral("Another operator changed $$ meanwhile: a record it refers to, "
                                                     "or one that refers to it, was added or removed. Nothing was "
                                                     "saved; try again."),
                                      what),
                               refusal);
    }
}

} // namespace vocaset
