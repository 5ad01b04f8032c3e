#include "CodeRename.h"

#include <QHash>
#include <QSet>

#include "ChangeHistory.h"
#include "ColumnWidths.h"
#include "DbError.h"
#include "Dialect.h"
#include "EditorMessages.h"
#include "Messages.h"
#include "ModelTemplates.h"
#include "OperatorConflicts.h"
#include "Sql.h"
#include "TextFile.h"

namespace vocaset {
namespace {

// Settings rows keyed on a company and a model joined, on a company alone, and on "$$" and a model.
const QStringList kPairKeys = {QStringLiteral("$$GENPATH"), QStringLiteral("$$DEFGEN"), QStringLiteral("$$PBGEN"),
                               QStringLiteral("$$PBIMP")};
const QStringList kCompanyKeys = {QStringLiteral("$$PBExp"), QStringLiteral("$$PROVAUTH"), QStringLiteral("$$PROVNETS")};
const QStringList kModelKeys = {QStringLiteral("$$IP1"), QStringLiteral("$$IP2"), QStringLiteral("$$IP3"),
                                QStringLiteral("$$IP4"), QStringLiteral("$$EPWD")};

// The server's table of last fetches, one row per telephone; there only once a server has recorded.
const QString kFetches = QStringLiteral("PHONE_FETCHES");

const QStringList kSettingColumns = {QStringLiteral("SY_CODE"), QStringLiteral("SY_SUBCODE"),
                                     QStringLiteral("SY_VALUE")};

// A settings row to carry to the new code. A key that a company and a model make when joined may
// also be another pair's key ("AB" + "CD" and "ABC" + "D"); that row is copied, so the other pair
// keeps it.
struct SettingMove
{
    QString from;
    QString subCode;
    QString to;
    bool copy = false;
};

struct Work
{
    RenamePlan plan;
    QList<SettingMove> settings;
    bool addRange = false; // the telephone's new code joins the company's range
};

QString quoted(const QString& value)
{
    return u'\'' + sqlText(value) + u'\'';
}

int countWhere(Database& db, const QString& table, const QString& condition)
{
    return db.execute(QStringLiteral("SELECT COUNT(*) FROM ") + table + QStringLiteral(" WHERE ") + condition)
        .text(0)
        .toInt();
}

QStringList codes(Database& db, const QString& sql)
{
    const Recordset rs = db.execute(sql);
    QStringList out;
    for (const QVariantList& row : rs.rows())
        out.append(row.value(0).toString());
    return out;
}

bool settingExists(Database& db, const QString& code, const QString& subCode)
{
    return countWhere(db, QStringLiteral("SYSTEM_PARAMETERS"),
                      QStringLiteral("SY_CODE = ") + quoted(code) + QStringLiteral(" AND SY_SUBCODE = ") +
                          quoted(subCode)) > 0;
}

QString messageText(Session& s, const char* code, const char* english, const QString& argument)
{
    return textOr(s, QLatin1String(code), QLatin1String(english), argument);
}

// The codes name folders and files (output folders, files named after a telephone): a character
// that a file name cannot carry, or a blank at either end, would break them.
bool fitsFileName(const QString& code)
{
    if (!isSafeFileName(code) || code.trimmed() != code)
        return false;
    for (const QChar c : code) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral(":*?\"<>|").contains(c))
            return false;
    }
    return true;
}

// Why the new code cannot replace the old one in a column, or nothing.
std::optional<QString> codeRefusal(Session& s, const RenameRequest& r)
{
    const QString column = renamedColumn(r.kind);
    if (r.to == r.from)
        return messageText(s, "M467", "The new code is the old one: nothing to rename.", r.to);
    if (!fitsFileName(r.to))
        return messageText(s, "M466",
                           "The code \"$$\" cannot name a file (a blank at either end, a control character or one of "
                           "/ \\ : * ? \" < > | or ..): nothing was renamed.",
                           escapeControls(r.to));
    // A code stays in the set it was listed in: system codes begin with "$$", the others do not.
    const bool system = r.from.startsWith(QLatin1String("$$"));
    if (r.to.startsWith(QLatin1String("$$")) != system)
        return editorText(s, system ? EditorText::SystemKeyNeeded : EditorText::SystemKeyRefused, column);
    return ColumnWidths(s.db, renamedTable(r.kind)).refusal(s, column, r.to);
}

std::optional<QString> usedAlready(Session& s, const QString& what)
{
    return messageText(s, "M465", "$$ is used already: nothing was renamed.", what);
}

void count(Work& w, Database& db, const QString& table, const QString& condition)
{
    if (const int n = countWhere(db, table, condition); n > 0)
        w.plan.rows.append({table, n});
}

bool fetchesRecorded(Database& db)
{
    return db.columns(kFetches).count() > 0;
}

// The telephones' last fetches follow their company or code, so that the fleet does not show a
// renamed telephone as never fetched. A row already under the new key is a deleted telephone's.
void moveFetches(Database& db, const QString& keyIs, const QString& column, const QString& from, const QString& to)
{
    // The last refusals follow them the same way.
    for (const QString& table : {kFetches, QStringLiteral("PHONE_REFUSALS")}) {
        if (db.columns(table).isEmpty())
            continue;
        db.execute(QStringLiteral("DELETE FROM ") + table + QStringLiteral(" WHERE ") + keyIs + to);
        db.execute(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + column + QStringLiteral(" = ") + to +
                   QStringLiteral(" WHERE ") + keyIs + from);
    }
}

// The settings rows of a company or a model: in pairs joined with each code of the other kind, and
// on their own.
void findSettings(Work& w, Database& db, const RenameRequest& r)
{
    const bool company = r.kind == RenameRequest::Company;
    const QStringList companies = codes(db, QStringLiteral("SELECT CO_CODE FROM COMPANY"));
    const QStringList models = codes(db, QStringLiteral("SELECT EQ_CODE FROM EQUIPMENT"));
    QHash<QString, int> pairs;
    for (const QString& c : companies)
        for (const QString& m : models)
            ++pairs[c + m];
    // The pair rows in one statement rather than one per company or model.
    QStringList keys;
    for (const QString& key : kPairKeys)
        keys.append(quoted(key));
    const Recordset rows =
        db.execute(QStringLiteral("SELECT SY_CODE, SY_SUBCODE FROM SYSTEM_PARAMETERS WHERE SY_SUBCODE IN (") +
                   keys.join(QStringLiteral(", ")) + u')');
    QSet<QString> present;
    for (const QVariantList& row : rows.rows())
        present.insert(row.value(0).toString() + u'\n' + row.value(1).toString());
    for (const QString& other : company ? models : companies) {
        const QString from = company ? r.from + other : other + r.from;
        const QString to = company ? r.to + other : other + r.to;
        for (const QString& key : kPairKeys) {
            if (present.contains(from + u'\n' + key))
                w.settings.append({from, key, to, pairs.value(from) > 1});
        }
    }
    const QString prefix = company ? QString() : QStringLiteral("$$");
    for (const QString& key : company ? kCompanyKeys : kModelKeys) {
        if (settingExists(db, prefix + r.from, key))
            w.settings.append({prefix + r.from, key, prefix + r.to, false});
    }
}

// The renamed row itself: one, as the check found it. Anything else (another operator's change
// that slipped in) keeps nothing of the rename.
void renamedOne(Database& db, const RenameRequest& r)
{
    if (db.changedRows() != 1)
        throw DbError(renamedTable(r.kind) + u' ' + r.from +
                      QStringLiteral(" changed while it was renamed; nothing was renamed, try again"));
}

Work prepare(Session& s, const RenameRequest& r)
{
    Work w;
    Database& db = s.db;
    const auto refuse = [&w](const std::optional<QString>& why) {
        if (why && w.plan.refusal.isEmpty())
            w.plan.refusal = *why;
        return !w.plan.refusal.isEmpty();
    };
    const QString from = quoted(r.from);
    const QString to = quoted(r.to);
    switch (r.kind) {
    case RenameRequest::Company: {
        if (countWhere(db, QStringLiteral("COMPANY"), QStringLiteral("CO_CODE = ") + from) == 0) {
            refuse(messageText(s, "M462", "There is no company $$.", r.from));
            return w;
        }
        if (refuse(codeRefusal(s, r)))
            return w;
        // Ranges and phone-book entries may name a company that does not exist.
        for (const char* table : {"COMPANY", "RANGES", "PHONE_BOOK"}) {
            if (countWhere(db, QLatin1String(table), QStringLiteral("CO_CODE = ") + to) > 0 &&
                refuse(usedAlready(s, r.to + QStringLiteral(" (") + QLatin1String(table) + u')')))
                return w;
        }
        w.plan.rows.append({QStringLiteral("COMPANY"), 1});
        for (const char* table : {"RANGES", "PHONES", "PHONES_PARAMETERS", "COMPANY_PARAMETERS", "PHONE_BOOK"})
            count(w, db, QLatin1String(table), QStringLiteral("CO_CODE = ") + from);
        if (fetchesRecorded(db))
            count(w, db, kFetches, QStringLiteral("CO_CODE = ") + from);
        findSettings(w, db, r);
        break;
    }
    case RenameRequest::Model:
        if (countWhere(db, QStringLiteral("EQUIPMENT"), QStringLiteral("EQ_CODE = ") + from) == 0) {
            refuse(messageText(s, "M463", "There is no model $$.", r.from));
            return w;
        }
        if (refuse(codeRefusal(s, r)))
            return w;
        if (countWhere(db, QStringLiteral("EQUIPMENT"), QStringLiteral("EQ_CODE = ") + to) > 0 &&
            refuse(usedAlready(s, r.to + QStringLiteral(" (EQUIPMENT)"))))
            return w;
        w.plan.rows.append({QStringLiteral("EQUIPMENT"), 1});
        for (const char* table : {"PHONES", "EQUIPMENT_PARAMETERS", "COMPANY_PARAMETERS", "PHONES_PARAMETERS"})
            count(w, db, QLatin1String(table), QStringLiteral("EQ_CODE = ") + from);
        if (ModelTemplates::exists(db))
            count(w, db, QLatin1String(kTemplatesTable), QStringLiteral("EQ_CODE = ") + from);
        findSettings(w, db, r);
        break;
    case RenameRequest::Telephone: {
        const QString company = QStringLiteral("CO_CODE = ") + quoted(r.company) + QStringLiteral(" AND PH_CODE = ");
        if (countWhere(db, QStringLiteral("PHONES"), company + from) == 0) {
            refuse(messageText(s, "M464", "There is no telephone $$.", r.company + u' ' + r.from));
            return w;
        }
        if (refuse(codeRefusal(s, r)))
            return w;
        if (countWhere(db, QStringLiteral("PHONES"), company + to) > 0 &&
            refuse(usedAlready(s, r.company + u' ' + r.to + QStringLiteral(" (PHONES)"))))
            return w;
        w.addRange = countWhere(db, QStringLiteral("RANGES"), company + to) == 0;
        if (w.addRange)
            w.plan.rows.append({QStringLiteral("RANGES"), 1});
        w.plan.rows.append({QStringLiteral("PHONES"), 1});
        count(w, db, QStringLiteral("PHONES_PARAMETERS"), company + from);
        if (fetchesRecorded(db))
            count(w, db, kFetches, company + from);
        break;
    }
    }
    // Each settings row must find its new key free, and short enough for the key column.
    const ColumnWidths keys(db, QStringLiteral("SYSTEM_PARAMETERS"));
    for (const SettingMove& m : std::as_const(w.settings)) {
        if (refuse(keys.refusal(s, QStringLiteral("SY_CODE"), m.to)))
            return w;
        if (settingExists(db, m.to, m.subCode) &&
            refuse(usedAlready(s, m.to + u' ' + m.subCode + QStringLiteral(" (SYSTEM_PARAMETERS)"))))
            return w;
    }
    if (!w.settings.isEmpty())
        w.plan.rows.append({QStringLiteral("SYSTEM_PARAMETERS"), int(w.settings.size())});
    return w;
}

} // namespace

int RenamePlan::total() const
{
    int n = 0;
    for (const Rows& r : rows)
        n += r.count;
    return n;
}

QString RenamePlan::summary() const
{
    QStringList parts;
    for (const Rows& r : rows)
        parts.append(r.table + u' ' + QString::number(r.count));
    return countOf(total(), "row", "rows") + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

bool renameAllowed(Session& s, const PasswordPrompt& prompt)
{
    return decideAccess(s, QStringLiteral("SYSTEM_PARAMETERS"), prompt).mode == AccessMode::Admin;
}

QString renameText(Session& s, RenameText which, const QString& argument)
{
    switch (which) {
    case RenameText::NeedsAdmin:
        return messageText(s, "M470", "Renaming a code needs the second password of the settings table.", argument);
    case RenameText::NewCode:
        return messageText(s, "M471", "New code for $$:", argument);
    case RenameText::Question:
        return messageText(s, "M468", "Rename $$?", argument);
    case RenameText::Done:
        break;
    }
    return messageText(s, "M469", "Renamed $$", argument);
}

QString renameChange(const RenameRequest& request, const RenamePlan& plan)
{
    return request.from + QStringLiteral(" → ") + request.to + QStringLiteral(" (") + plan.summary() + u')';
}

QString renamedColumn(RenameRequest::Kind kind)
{
    static const char* const columns[] = {"CO_CODE", "EQ_CODE", "PH_CODE"};
    return QLatin1String(columns[kind]);
}

QString renamedTable(RenameRequest::Kind kind)
{
    static const char* const tables[] = {"COMPANY", "EQUIPMENT", "PHONES"};
    return QLatin1String(tables[kind]);
}

RenamePlan planRename(Session& s, const RenameRequest& request)
{
    return prepare(s, request).plan;
}

namespace {

// "the company ALPIN (being renamed ALPES)", for a conflict with another operator.
QString conflictText(const RenameRequest& r)
{
    static const char* const kinds[] = {"company", "model", "telephone"};
    QString what = QStringLiteral("the ") + QLatin1String(kinds[r.kind]) + u' ' + r.from;
    if (r.kind == RenameRequest::Telephone)
        what += QStringLiteral(" of company ") + r.company;
    return what + QStringLiteral(" (being renamed ") + r.to + u')';
}

} // namespace

RenamePlan renameCode(Session& s, const RenameRequest& r)
{
    Database& db = s.db;
    // The plan is made inside the transaction, so what it counts is what changes.
    Transaction transaction(db);
    // A server's recorder writes no fetch under the old codes until the new ones are committed.
    if (r.kind != RenameRequest::Model)
        db.lockName(kFetches);
    // Another bulk run of the company waits for the rename, and the renamed row is held from its
    // check on: another operator's change or deletion of it waits for the commit.
    if (r.kind == RenameRequest::Company) {
        db.lockName(companyWriters(r.from));
        db.lockName(companyWriters(r.to));
    }
    const QString held = Dialect::forUpdate(db.engine());
    if (!held.isEmpty()) {
        QString key = renamedColumn(r.kind) + QStringLiteral(" = ");
        if (r.kind == RenameRequest::Telephone)
            key.prepend(QStringLiteral("CO_CODE = ") + quoted(r.company) + QStringLiteral(" AND "));
        db.execute(QStringLiteral("SELECT ") + renamedColumn(r.kind) + QStringLiteral(" FROM ") + renamedTable(r.kind) +
                   QStringLiteral(" WHERE ") + key + quoted(r.from) + held);
    }
    const Work w = prepare(s, r);
    if (!w.plan.refusal.isEmpty())
        return w.plan;
    db.reached(u"rename.read");
    // The new code was found free and the rows held under the run's lock: a key taken or a
    // reference broken now is another operator's doing since.
    try {
        const QString from = quoted(r.from);
        const QString to = quoted(r.to);
        QString left; // where the old code must be gone once the schema's cascades have run
        QStringList tables;
        QStringList templateKinds;
        switch (r.kind) {
        case RenameRequest::Company:
            // The telephones follow their company through the cascades and must find their codes in the
            // new company's range (ranges have no key to the company): the range is copied first and
            // the old one removed once nothing uses it.
            db.execute(QStringLiteral("INSERT INTO RANGES (CO_CODE, PH_CODE) SELECT ") + to +
                       QStringLiteral(", PH_CODE FROM RANGES WHERE CO_CODE = ") + from);
            db.execute(QStringLiteral("UPDATE COMPANY SET CO_CODE = ") + to + QStringLiteral(" WHERE CO_CODE = ") +
                       from);
            renamedOne(db, r);
            db.execute(QStringLiteral("DELETE FROM RANGES WHERE CO_CODE = ") + from);
            db.execute(QStringLiteral("UPDATE PHONE_BOOK SET CO_CODE = ") + to + QStringLiteral(" WHERE CO_CODE = ") +
                       from);
            left = QStringLiteral("CO_CODE = ") + from;
            moveFetches(db, QStringLiteral("CO_CODE = "), QStringLiteral("CO_CODE"), from, to);
            tables = {QStringLiteral("PHONES"), QStringLiteral("PHONES_PARAMETERS"),
                      QStringLiteral("COMPANY_PARAMETERS")};
            break;
        case RenameRequest::Model:
            db.execute(QStringLiteral("UPDATE EQUIPMENT SET EQ_CODE = ") + to + QStringLiteral(" WHERE EQ_CODE = ") +
                       from);
            renamedOne(db, r);
            left = QStringLiteral("EQ_CODE = ") + from;
            tables = {QStringLiteral("PHONES"), QStringLiteral("EQUIPMENT_PARAMETERS"),
                      QStringLiteral("COMPANY_PARAMETERS"), QStringLiteral("PHONES_PARAMETERS")};
            // The model's templates follow it through their key, each with a history row of its own.
            if (ModelTemplates::exists(db)) {
                tables.append(QLatin1String(kTemplatesTable));
                templateKinds = codes(db, QStringLiteral("SELECT MT_KIND FROM MODEL_TEMPLATES WHERE EQ_CODE = ") + to +
                                              QStringLiteral(" ORDER BY MT_KIND"));
            }
            break;
        case RenameRequest::Telephone: {
            const QString company = quoted(r.company);
            if (w.addRange)
                db.execute(QStringLiteral("INSERT INTO RANGES VALUES(") + company + QStringLiteral(", ") + to + u')');
            db.execute(QStringLiteral("UPDATE PHONES SET PH_CODE = ") + to + QStringLiteral(" WHERE CO_CODE = ") +
                       company + QStringLiteral(" AND PH_CODE = ") + from);
            renamedOne(db, r);
            left = QStringLiteral("CO_CODE = ") + company + QStringLiteral(" AND PH_CODE = ");
            moveFetches(db, left, QStringLiteral("PH_CODE"), from, to);
            left += from;
            tables = {QStringLiteral("PHONES_PARAMETERS")};
            break;
        }
        }
        ChangeRecorder history(s, QStringLiteral("rename"));
        if (r.kind == RenameRequest::Telephone) {
            const QStringList keys = {QStringLiteral("CO_CODE"), QStringLiteral("PH_CODE")};
            if (w.addRange)
                history.added(QStringLiteral("RANGES"), keys, {r.company, r.to}, 2);
            history.renamed(QStringLiteral("PHONES"), keys, {r.company, r.from}, QStringLiteral("PH_CODE"), r.to);
        } else {
            history.renamed(renamedTable(r.kind), {renamedColumn(r.kind)}, {r.from}, renamedColumn(r.kind), r.to);
        }
        for (const QString& kind : std::as_const(templateKinds))
            history.renamed(QLatin1String(kTemplatesTable), ModelTemplates::columns().mid(0, 2), {r.from, kind},
                            QStringLiteral("EQ_CODE"), r.to);
        // A database whose keys do not cascade would keep rows under the old code: nothing is kept then.
        for (const QString& table : std::as_const(tables)) {
            if (countWhere(db, table, left) > 0)
                throw DbError(table + QStringLiteral(" still names ") + r.from +
                              QStringLiteral(" after the rename: its foreign keys do not carry a new code"));
        }
        for (const SettingMove& m : w.settings) {
            const QString where = QStringLiteral(" WHERE SY_CODE = ") + quoted(m.from) +
                                  QStringLiteral(" AND SY_SUBCODE = ") + quoted(m.subCode);
            if (m.copy) {
                db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS (SY_CODE, SY_SUBCODE, SY_VALUE) SELECT ") +
                           quoted(m.to) + QStringLiteral(", SY_SUBCODE, SY_VALUE FROM SYSTEM_PARAMETERS") + where);
                const QString value =
                    db.execute(QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS") + where).text(0);
                history.added(QStringLiteral("SYSTEM_PARAMETERS"), kSettingColumns, {m.to, m.subCode, value}, 2);
            } else {
                db.execute(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_CODE = ") + quoted(m.to) + where);
                if (db.changedRows() != 1)
                    throw DbError(QStringLiteral("The setting ") + m.from + u' ' + m.subCode +
                                  QStringLiteral(" changed while it was renamed; nothing was renamed, try again"));
                history.renamed(QStringLiteral("SYSTEM_PARAMETERS"), kSettingColumns.mid(0, 2), {m.from, m.subCode},
                                QStringLiteral("SY_CODE"), m.to);
            }
        }
        db.reached(u"rename.written");
    } catch (const DbError& e) {
        throwIfConflict(s, e, conflictText(r));
        throw;
    }
    transaction.commit();
    return w.plan;
}

} // namespace vocaset
