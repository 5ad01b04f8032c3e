#include "PhoneImport.h"

#include <QHash>
#include <QSet>

#include "BlockWriter.h"
#include "ChangeHistory.h"
#include "ColumnWidths.h"
#include "ConfigWriter.h"
#include "MacIndex.h"
#include "OperatorConflicts.h"
#include "PhoneCsv.h"
#include "RangeGeneration.h"
#include "Sql.h"
#include "TextFile.h"
#include "UiYield.h"
#include "ValueChecks.h"

namespace vocaset {
namespace {

struct StoredPhone
{
    QString model;
    QString description;
    QString mac;
};

// What the database holds for the company and model, read once before the file is checked.
struct Stored
{
    QString module;                 // EQ_MODULE of the model
    QHash<QString, QString> levels; // the model's catalogue: parameter -> LE_CODE
    // The model's defaults and the company's values that hold a place-holder: every telephone's file
    // may get them, with its code and description put in.
    QList<StoredValue> shared;
    QSet<QString> ranges;
    QHash<QString, StoredPhone> phones;             // the company's telephones by code
    QHash<QString, QHash<QString, QString>> values; // the company's values of the model: code -> param -> value
    QList<QStringList> macs;                        // every telephone: company, code, MAC
};

bool holdsPlaceHolder(const QString& value)
{
    return value.contains(QLatin1String("$$"));
}

Stored readStored(Database& db, const QString& company, const QString& model)
{
    Stored st;
    const QString co = sqlText(company);
    const QString eq = sqlText(model);
    st.module = db.execute(QStringLiteral("SELECT EQ_MODULE FROM EQUIPMENT WHERE EQ_CODE = '") + eq + u'\'').text(0);
    const Recordset catalogue = db.execute(
        QStringLiteral("SELECT PA_CODE, LE_CODE, PA_DEFAULT FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = '") + eq + u'\'');
    for (const QVariantList& r : catalogue.rows()) {
        st.levels.insert(r.at(0).toString(), r.at(1).toString());
        if (r.at(1).toString() == u"E" && holdsPlaceHolder(r.at(2).toString()))
            st.shared.append({r.at(0).toString(), r.at(2).toString()});
    }
    const Recordset companyValues = db.execute(QStringLiteral("SELECT PA_CODE, PA_VALUE FROM COMPANY_PARAMETERS WHERE "
                                                              "CO_CODE = '") +
                                               co + QStringLiteral("' AND EQ_CODE = '") + eq + u'\'');
    for (const QVariantList& r : companyValues.rows()) {
        if (holdsPlaceHolder(r.at(1).toString()))
            st.shared.append({r.at(0).toString(), r.at(1).toString()});
    }
    const Recordset ranges = db.execute(QStringLiteral("SELECT PH_CODE FROM RANGES WHERE CO_CODE = '") + co + u'\'');
    for (const QVariantList& r : ranges.rows())
        st.ranges.insert(r.at(0).toString());
    const Recordset phones =
        db.execute(QStringLiteral("SELECT CO_CODE, PH_CODE, EQ_CODE, PH_DESC, PH_MAC FROM PHONES"));
    for (const QVariantList& r : phones.rows()) {
        const QString phone = r.at(1).toString();
        if (r.at(0).toString() == company)
            st.phones.insert(phone, {r.at(2).toString(), r.at(3).toString(), r.at(4).toString()});
        st.macs.append({r.at(0).toString(), phone, r.at(4).toString()});
    }
    const Recordset values =
        db.execute(QStringLiteral("SELECT PH_CODE, PA_CODE, PA_VALUE FROM PHONES_PARAMETERS WHERE CO_CODE = '") + co +
                   QStringLiteral("' AND EQ_CODE = '") + eq + u'\'');
    for (const QVariantList& r : values.rows())
        st.values[r.at(0).toString()].insert(r.at(1).toString(), r.at(2).toString());
    return st;
}

// A code the range generation would write: a whole number without leading zeros.
bool isRangeCode(const QString& code)
{
    const std::optional<int> n = RangeGeneration::boundValue(code);
    return n && QString::number(*n) == code;
}

// The whole file checked as it is read, one record at a time. Each line keeps its changes, or its
// problems; once the file holds kMaxProblems problems the check stops, so a file of millions of
// wrong lines costs no more memory than the lines before.
class FileCheck
{
public:
    FileCheck(Session& s, InsightTexts& texts, const PhoneImportRequest& request, const Stored& st, PhoneImportPlan& p)
        : m_s(s), m_texts(texts), m_checks(s), m_request(request), m_st(st), m_p(p),
          m_phoneWidths(s.db, QStringLiteral("PHONES")), m_valueWidths(s.db, QStringLiteral("PHONES_PARAMETERS"))
    {
    }

    void run(CsvReader& csv);

private:
    bool readHeader(CsvReader& csv);
    PlannedPhone checkLine(const CsvRecord& rec);
    void plan(PlannedPhone& ph, const QStringList& cells);
    void checkMacs();
    QString tooLong()
    {
        return m_texts.text("M758", "the line is longer than %1 characters; the check stops there",
                            {QString::number(PhoneImport::kMaxRecord)});
    }
    ImportProblem unreadable(const CsvRecord& r)
    {
        return {r.line, QString::number(r.badField),
                m_texts.text("M600", "a quote does not close, or text follows a closing quote")};
    }

    Session& m_s;
    InsightTexts& m_texts;
    ValueChecks m_checks;
    const PhoneImportRequest& m_request;
    const Stored& m_st;
    PhoneImportPlan& m_p;
    ColumnWidths m_phoneWidths;
    ColumnWidths m_valueWidths;
    QStringList m_names; // the header's cells, trimmed
    int m_codeCol = -1;
    int m_descCol = -1;
    int m_macCol = -1;
    QList<int> m_paramCols;
    QHash<QString, int> m_codeLines; // code -> first line naming it
    int m_found = 0;                 // problems so far
};

void FileCheck::run(CsvReader& csv)
{
    if (readHeader(csv)) {
        CsvRecord rec;
        while (m_found < PhoneImport::kMaxProblems && csv.next(rec)) {
            PlannedPhone ph = checkLine(rec);
            m_found += int(ph.problems.size());
            if (m_found >= PhoneImport::kMaxProblems)
                m_p.stoppedAt = rec.line;
            m_p.phones.append(std::move(ph));
        }
        if (csv.tooLong()) {
            m_p.problems.append({csv.line(), {}, tooLong()});
            m_p.stoppedAt = csv.line();
        }
        if (m_p.stoppedAt > 0)
            m_p.lines = csv.lastLine();
        checkMacs();
    }

    for (PlannedPhone& ph : m_p.phones) {
        if (!ph.problems.isEmpty()) {
            ph.outcome = PhoneOutcome::Refused;
            ph.changes.clear();
            m_p.problems += ph.problems;
        }
        m_p.added += ph.outcome == PhoneOutcome::Added;
        m_p.updated += ph.outcome == PhoneOutcome::Updated;
        m_p.unchanged += ph.outcome == PhoneOutcome::Unchanged;
    }
    std::stable_sort(m_p.problems.begin(), m_p.problems.end(),
                     [](const ImportProblem& a, const ImportProblem& b) { return a.line < b.line; });
    m_p.problemCount = int(m_p.problems.size());
    if (m_p.problems.size() > PhoneImport::kMaxProblems)
        m_p.problems.resize(PhoneImport::kMaxProblems);
}

bool FileCheck::readHeader(CsvReader& csv)
{
    // The header: the three fixed columns once each, then parameter codes of the model.
    CsvRecord header;
    if (csv.next(header)) {
        for (const QString& h : std::as_const(header.cells))
            m_names.append(h.trimmed());
        if (header.badField != 0)
            m_p.problems.append(unreadable(header));
    } else if (csv.tooLong()) {
        m_p.problems.append({1, {}, tooLong()});
        return false;
    }
    const auto fixedColumn = [&](const char* name) {
        int at = -1;
        int seen = 0;
        for (int i = 0; i < m_names.size(); ++i) {
            if (m_names[i].compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
                at = i;
                ++seen;
            }
        }
        if (seen != 1)
            m_p.problems.append(
                {1, QLatin1String(name),
                 m_texts.text("M592", "the header must name the column %1 once", {QLatin1String(name)})});
        return seen == 1 ? at : -1;
    };
    m_codeCol = fixedColumn(kCodeColumn);
    m_descCol = fixedColumn(kDescriptionColumn);
    m_macCol = fixedColumn(kMacColumn);
    QSet<QString> seenParams;
    for (int i = 0; i < m_names.size(); ++i) {
        if (i == m_codeCol || i == m_descCol || i == m_macCol)
            continue;
        const QString& name = m_names[i];
        // A spreadsheet may save an empty column after the last one: it names nothing, and a line
        // that holds something there is refused.
        if (!name.isEmpty()) {
            if (seenParams.contains(name))
                m_p.problems.append({1, name, m_texts.text("M592", "the header must name the column %1 once", {name})});
            else if (!m_st.levels.contains(name))
                m_p.problems.append(
                    {1, name, m_texts.text("M594", "no parameter of model %1 has this code", {m_request.model})});
            seenParams.insert(name);
        }
        m_paramCols.append(i);
    }
    m_found = int(m_p.problems.size());
    return m_codeCol >= 0 && m_descCol >= 0 && m_macCol >= 0;
}

PlannedPhone FileCheck::checkLine(const CsvRecord& rec)
{
    PlannedPhone ph;
    ph.line = rec.line;
    const auto problem = [&](const QString& column, const QString& reason) {
        ph.problems.append({rec.line, column, reason});
    };
    QStringList cells = rec.cells;
    ph.phone = cells.value(m_codeCol);
    if (rec.badField != 0) {
        ph.problems.append(unreadable(rec));
        return ph;
    }
    if (cells.size() > m_names.size()) {
        problem(QString::number(m_names.size() + 1),
                m_texts.text("M601", "the line has %1 fields, the header %2",
                             {QString::number(cells.size()), QString::number(m_names.size())}));
        return ph;
    }
    while (cells.size() < m_names.size())
        cells.append(QString());
    const QString& code = cells[m_codeCol];
    const QString& desc = cells[m_descCol];
    const QString& mac = cells[m_macCol];
    const QString codeName = QLatin1String(kCodeColumn);
    const QString descName = QLatin1String(kDescriptionColumn);
    const QString macName = QLatin1String(kMacColumn);
    const auto stored = m_st.phones.constFind(code);
    const bool known = stored != m_st.phones.constEnd();
    ph.mac = mac;

    // The values this telephone's file may get besides the file's own: defaults and company values,
    // and its stored values that the line does not replace.
    const auto reaching = [&] {
        QList<StoredValue> values = m_st.shared;
        const QHash<QString, QString> own = m_st.values.value(code);
        for (auto v = own.constBegin(); v != own.constEnd(); ++v) {
            const qsizetype col = m_names.indexOf(v.key());
            if (holdsPlaceHolder(v.value()) && (col < 0 || cells[col].isEmpty()))
                values.append({v.key(), v.value()});
        }
        return values;
    };
    if (code.isEmpty()) {
        problem(codeName, m_texts.text("M602", "the telephone code is empty"));
    } else if (const auto control = m_checks.lineText(code)) {
        problem(codeName, *control);
    } else if (const auto tooLong = m_phoneWidths.refusal(m_s, QStringLiteral("PH_CODE"), code)) {
        problem(codeName, *tooLong);
    } else if (m_codeLines.contains(code)) {
        problem(codeName,
                m_texts.text("M596", "\"%1\" is also on line %2", {code, QString::number(m_codeLines[code])}));
    } else if (known && stored->model != m_request.model) {
        problem(codeName,
                m_texts.text("M598", "telephone %1 is of model %2, not %3", {code, stored->model, m_request.model}));
    } else if (!known && !m_st.ranges.contains(code) && !isRangeCode(code)) {
        problem(codeName, m_texts.text("M599",
                                       "code %1 is not in the company's ranges, and a new code must be a "
                                       "whole number without leading zeros",
                                       {code}));
    } else if (const auto placed = m_checks.telephoneText(m_st.module, code, true, reaching())) {
        problem(codeName, *placed);
    }
    if (!code.isEmpty() && !m_codeLines.contains(code))
        m_codeLines.insert(code, rec.line);
    if (const auto control = m_checks.lineText(desc))
        problem(descName, *control);
    else if (const auto tooLong = m_phoneWidths.refusal(m_s, QStringLiteral("PH_DESC"), desc))
        problem(descName, *tooLong);
    else if (desc.isEmpty() && (!known || !stored->description.isEmpty()))
        problem(descName, m_texts.text("M754", "a telephone needs a description"));
    else if (const auto placed = m_checks.telephoneText(m_st.module, desc, false, reaching()))
        problem(descName, *placed);
    if (!isMacAddress(mac))
        problem(macName,
                m_texts.text("M595", "the MAC address \"%1\" is not 12 hexadecimal digits", {escapeControls(mac)}));
    for (const int col : std::as_const(m_paramCols)) {
        const QString& value = cells[col];
        const QString& name = m_names[col];
        const QString column = name.isEmpty() ? QString::number(col + 1) : name;
        if (value.isEmpty())
            continue;
        if (name.isEmpty())
            problem(column, m_texts.text("M759", "the header gives this column no name"));
        else if (const auto tooLong = m_valueWidths.refusal(m_s, QStringLiteral("PA_VALUE"), value))
            problem(column, *tooLong);
        else if (const auto refused = m_checks.telephoneValue(m_st.module, m_st.levels.value(name), value, code, desc))
            problem(column, *refused);
    }
    if (ph.problems.isEmpty())
        plan(ph, cells);
    return ph;
}

void FileCheck::plan(PlannedPhone& ph, const QStringList& cells)
{
    const QString& code = cells[m_codeCol];
    const QString& desc = cells[m_descCol];
    const QString& mac = cells[m_macCol];
    const auto change = [&](PhoneChange::Kind kind, const QString& param, const QString& before, const QString& after) {
        ph.changes.append({kind, ph.line, code, param, before, after, {}});
    };
    const auto stored = m_st.phones.constFind(code);
    if (stored == m_st.phones.constEnd()) {
        ph.outcome = PhoneOutcome::Added;
        if (!m_st.ranges.contains(code))
            change(PhoneChange::Kind::NewRange, {}, {}, {});
        ph.changes.append({PhoneChange::Kind::NewPhone, ph.line, code, {}, {}, desc, mac});
    } else {
        if (stored->description != desc)
            change(PhoneChange::Kind::Description, {}, stored->description, desc);
        if (stored->mac != mac)
            change(PhoneChange::Kind::Mac, {}, stored->mac, mac);
    }
    const QHash<QString, QString> values = m_st.values.value(code);
    for (const int col : std::as_const(m_paramCols)) {
        const QString& value = cells[col];
        if (value.isEmpty())
            continue;
        const auto was = values.constFind(m_names[col]);
        if (was == values.constEnd())
            change(PhoneChange::Kind::NewValue, m_names[col], {}, value);
        else if (*was != value)
            change(PhoneChange::Kind::Value, m_names[col], *was, value);
    }
    if (ph.outcome != PhoneOutcome::Added && !ph.changes.isEmpty())
        ph.outcome = PhoneOutcome::Updated;
}

// MAC addresses after the import: each telephone's own, in any case. A telephone the file names
// takes the file's MAC, so two telephones may swap theirs in one file; which telephones the file
// names is known only once it was read to the end.
void FileCheck::checkMacs()
{
    QSet<QString> named;
    for (const PlannedPhone& ph : std::as_const(m_p.phones))
        named.insert(ph.phone);
    QHash<QString, QStringList> others; // upper-case MAC -> company and code of a telephone the file leaves
    if (m_p.stoppedAt == 0) {
        for (const QStringList& m : m_st.macs) {
            if (!(m[0] == m_request.company && named.contains(m[1])))
                others.insert(m[2].toUpper(), m);
        }
    }
    QHash<QString, int> macLines;
    for (PlannedPhone& ph : m_p.phones) {
        const QString& mac = ph.mac;
        if (!isMacAddress(mac))
            continue;
        const QString key = mac.toUpper();
        if (const auto earlier = macLines.constFind(key); earlier != macLines.constEnd())
            ph.problems.append({ph.line, QLatin1String(kMacColumn),
                                m_texts.text("M596", "\"%1\" is also on line %2", {mac, QString::number(*earlier)})});
        else if (const auto other = others.constFind(key); other != others.constEnd())
            ph.problems.append({ph.line, QLatin1String(kMacColumn),
                                m_texts.text("M597", "the MAC address %1 is that of telephone %2 of company %3",
                                             {mac, other->at(1), other->at(0)})});
        else
            macLines.insert(key, ph.line);
    }
}

} // namespace

QList<ListEntry> equipmentEntries(Database& db)
{
    return listEntries(db, QStringLiteral("SELECT EQ_CODE, EQ_DESC FROM EQUIPMENT ORDER BY EQ_CODE"));
}

QList<PhoneChange> PhoneImportPlan::changes() const
{
    QList<PhoneChange> all;
    for (const PlannedPhone& p : phones)
        all += p.changes;
    return all;
}

PhoneImportPlan PhoneImport::plan(const PhoneImportRequest& request)
{
    InputFile file(request.file, kMaxBytes);
    return planFile(request, file);
}

PhoneImportPlan PhoneImport::planFile(const PhoneImportRequest& request, InputFile& file)
{
    PhoneImportPlan p;
    p.company = request.company;
    p.model = request.model;
    p.file = request.file;
    const auto failed = [&] {
        p.problems = {{0, {}, file.error()}};
        p.problemCount = 1;
        return p;
    };
    if (!file.isOpen())
        return failed();
    Database& db = m_s.db;
    if (m_secretsModel != request.model || !m_secrets) {
        m_secrets.emplace(db, request.model);
        m_secretsModel = request.model;
    }
    const QString co = sqlText(request.company);
    if (db.execute(QStringLiteral("SELECT CO_CODE FROM COMPANY WHERE CO_CODE = '") + co + u'\'').eof())
        p.problems.append({0, {}, QStringLiteral("there is no company ") + request.company});
    if (db.execute(QStringLiteral("SELECT EQ_CODE FROM EQUIPMENT WHERE EQ_CODE = '") + sqlText(request.model) + u'\'')
            .eof())
        p.problems.append({0, {}, QStringLiteral("there is no model ") + request.model});
    p.problemCount = int(p.problems.size());
    if (p.refused())
        return p;

    const Stored st = readStored(db, request.company, request.model);
    // Read as UTF-8 while it is UTF-8; at the first byte that is not, read again as Windows-1252.
    for (const bool utf8 : {true, false}) {
        if (!utf8 && !file.rewind())
            return failed();
        InputText text(file, utf8);
        CsvReader csv([&text](QString& piece) { return text.readInto(piece); }, kMaxRecord);
        PhoneImportPlan checked = p;
        checked.utf8 = utf8;
        FileCheck(m_s, m_texts, request, st, checked).run(csv);
        if (text.failed())
            return failed();
        if (!text.invalidUtf8())
            return checked;
    }
    return p;
}

PhoneImportOutcome PhoneImport::run(const PhoneImportRequest& request, const PhoneImportPlan* expected,
                                    PhoneImportPlan* done)
{
    m_stopRequested = false;
    PhoneImportPlan local;
    PhoneImportPlan& p = done ? *done : local;
    // The file is opened before the write lock is taken; it is read and checked again under it.
    InputFile file(request.file, kMaxBytes);
    if (!file.isOpen()) {
        p = planFile(request, file);
        return PhoneImportOutcome::Refused;
    }
    // The database keeps each MAC to one telephone, also against another operator's import.
    MacIndex::ensure(m_s.db);
    Transaction transaction(m_s.db);
    // Another bulk run of the company waits for this one, so what the file is checked against stays.
    m_s.db.lockName(companyWriters(request.company));
    p = planFile(request, file);
    if (p.refused())
        return PhoneImportOutcome::Refused;
    const QList<PhoneChange> changes = p.changes();
    if (expected && changes != expected->changes())
        return PhoneImportOutcome::Changed;
    m_s.db.reached(u"import.checked");
    BlockWriter blocks(m_s.db);
    try {
        apply(request.company, request.model, changes, blocks);
    } catch (const MacTaken& taken) {
        // Another operator's telephone took the MAC after the check: refused as the check refuses it.
        for (PlannedPhone& ph : p.phones) {
            if (ph.line == taken.problem.line) {
                ph.outcome = PhoneOutcome::Refused;
                ph.problems.append(taken.problem);
                ph.changes.clear();
            }
        }
        p.problems.append(taken.problem);
        return PhoneImportOutcome::Refused;
    }
    if (m_stopRequested)
        return PhoneImportOutcome::Aborted;
    recordHistory(request.company, request.model, changes, blocks);
    transaction.commit();
    blocks.refreshStatistics();
    return PhoneImportOutcome::Written;
}

void PhoneImport::macTaken(const QString& company, const PhoneChange& c)
{
    const QString mac = c.kind == PhoneChange::Kind::Mac ? c.after : c.mac;
    const std::optional<QStringList> other = MacIndex::owner(m_s.db, mac, company, c.phone);
    if (!other)
        return;
    throw MacTaken{{c.line, QLatin1String(kMacColumn),
                    m_texts.text("M597", "the MAC address %1 is that of telephone %2 of company %3",
                                 {mac, other->at(1), other->at(0)})}};
}

void PhoneImport::apply(const QString& company, const QString& model, const QList<PhoneChange>& changes,
                        BlockWriter& blocks)
{
    using Kind = PhoneChange::Kind;
    struct Statement
    {
        Kind kind;
        BlockShape shape;
        QString alone;
    };
    // In this order every row finds the rows it refers to: a code before its telephone, a telephone
    // before its values. Each kind goes in multi-row statements.
    const Statement statements[] = {
        {Kind::NewRange, BlockShape::insert(QStringLiteral("RANGES"), BlockShape::placeHolders(2)),
         QStringLiteral("INSERT INTO RANGES VALUES(?, ?)")},
        {Kind::NewPhone, BlockShape::insert(QStringLiteral("PHONES"), BlockShape::placeHolders(5)),
         QStringLiteral("INSERT INTO PHONES VALUES(?, ?, ?, ?, ?)")},
        {Kind::Description,
         BlockShape::update(QStringLiteral("PHONES"), QStringLiteral("PH_DESC = v.column1"), 2,
                            QStringLiteral("CO_CODE = ? AND PH_CODE = v.column2"), {company}),
         QStringLiteral("UPDATE PHONES SET PH_DESC = ? WHERE CO_CODE = ? AND PH_CODE = ?")},
        {Kind::Mac,
         BlockShape::update(QStringLiteral("PHONES"), QStringLiteral("PH_MAC = v.column1"), 2,
                            QStringLiteral("CO_CODE = ? AND PH_CODE = v.column2"), {company}),
         QStringLiteral("UPDATE PHONES SET PH_MAC = ? WHERE CO_CODE = ? AND PH_CODE = ?")},
        {Kind::NewValue, BlockShape::insert(QStringLiteral("PHONES_PARAMETERS"), BlockShape::placeHolders(5)),
         QStringLiteral("INSERT INTO PHONES_PARAMETERS VALUES(?, ?, ?, ?, ?)")},
        {Kind::Value,
         BlockShape::update(
             QStringLiteral("PHONES_PARAMETERS"), QStringLiteral("PA_VALUE = v.column1"), 3,
             QStringLiteral("CO_CODE = ? AND EQ_CODE = ? AND PH_CODE = v.column2 AND PA_CODE = v.column3"),
             {company, model}),
         QStringLiteral(
             "UPDATE PHONES_PARAMETERS SET PA_VALUE = ? WHERE CO_CODE = ? AND EQ_CODE = ? AND PH_CODE = ? AND "
             "PA_CODE = ?")},
    };
    // The progress counts telephones: one is done once the last of its changes is written.
    QHash<QString, int> changesLeft;
    for (const PhoneChange& c : changes)
        ++changesLeft[c.phone];
    const int total = int(changesLeft.size());
    m_log.progress(0, total);
    int done = 0;
    // The database keeps each MAC to one telephone row by row, and a MAC one telephone of the file
    // gives up may be another's new one (a swap): the MACs that change are emptied first (an empty
    // MAC is no MAC), and set once every telephone has let go of its old one.
    const BlockWriter::Kind emptied = blocks.kind(
        BlockShape(QStringLiteral("PHONES"))
            .text(QStringLiteral("UPDATE PHONES SET PH_MAC = '' WHERE CO_CODE = ? AND PH_CODE IN ("), {company})
            .rows(QStringLiteral("?"))
            .text(QStringLiteral(")")));
    for (const PhoneChange& c : changes) {
        if (c.kind == Kind::Mac)
            blocks.add(
                emptied, {c.phone},
                {QStringLiteral("UPDATE PHONES SET PH_MAC = '' WHERE CO_CODE = ? AND PH_CODE = ?"), {company, c.phone}},
                [](const DbError* refusal) {
                    if (refusal)
                        throw *refusal;
                });
    }
    for (const Statement& statement : statements) {
        const BlockWriter::Kind kind = blocks.kind(statement.shape);
        for (const PhoneChange& c : changes) {
            if (c.kind != statement.kind)
                continue;
            QVariantList row;   // its share of a block
            QVariantList alone; // its own statement
            switch (c.kind) {
            case Kind::NewRange:
                row = alone = {company, c.phone};
                break;
            case Kind::NewPhone:
                row = alone = {company, c.phone, model, c.after, c.mac};
                break;
            case Kind::NewValue:
                row = alone = {company, model, c.phone, c.param, c.after};
                break;
            case Kind::Description:
            case Kind::Mac:
                row = {c.after, c.phone};
                alone = {c.after, company, c.phone};
                break;
            case Kind::Value:
                row = {c.after, c.phone, c.param};
                alone = {c.after, company, model, c.phone, c.param};
                break;
            }
            blocks.add(
                kind, row, {statement.alone, alone},
                [this, c, &company, &done, &changesLeft, total](const DbError* refusal) {
                    // Checked beforehand, so only the database itself refuses here (another writer, a
                    // constraint added by hand): the whole import is undone, and the line is named.
                    if (refusal && MacIndex::refusedBy(refusal->text()))
                        macTaken(company, c);
                    if (refusal) {
                        // A code, telephone or value another operator added or removed since the
                        // check: in the program's words, then the engine's.
                        throwIfConflict(m_s, *refusal,
                                        QStringLiteral("the telephone %1 of company %2 (line %3)")
                                            .arg(c.phone, company)
                                            .arg(c.line));
                        throw DbError(
                            QStringLiteral("Line %1, telephone %2: %3").arg(c.line).arg(c.phone, refusal->text()));
                    }
                    if (--changesLeft[c.phone] == 0)
                        m_log.progress(++done, total);
                });
            giveUiTurn();
            if (m_stopRequested)
                return;
        }
    }
    blocks.flush();
}

void PhoneImport::recordHistory(const QString& company, const QString& model, const QList<PhoneChange>& changes,
                                BlockWriter& blocks)
{
    ChangeRecorder history(m_s, QStringLiteral("phones import"));
    history.useBlocks(&blocks);
    const QStringList phone = {QStringLiteral("CO_CODE"), QStringLiteral("PH_CODE")};
    const QStringList value = {QStringLiteral("CO_CODE"), QStringLiteral("EQ_CODE"), QStringLiteral("PH_CODE"),
                               QStringLiteral("PA_CODE"), QStringLiteral("PA_VALUE")};
    const QString phones = QStringLiteral("PHONES");
    const QString values = QStringLiteral("PHONES_PARAMETERS");
    for (const PhoneChange& c : changes) {
        switch (c.kind) {
        case PhoneChange::Kind::NewRange:
            history.added(QStringLiteral("RANGES"), phone, {company, c.phone}, 2);
            break;
        case PhoneChange::Kind::NewPhone:
            history.added(
                phones,
                phone + QStringList{QStringLiteral("EQ_CODE"), QStringLiteral("PH_DESC"), QStringLiteral("PH_MAC")},
                {company, c.phone, model, c.after, c.mac}, 2);
            break;
        case PhoneChange::Kind::Description:
        case PhoneChange::Kind::Mac: {
            const QStringList columns =
                phone +
                QStringList{c.kind == PhoneChange::Kind::Mac ? QStringLiteral("PH_MAC") : QStringLiteral("PH_DESC")};
            history.edited(phones, columns, {company, c.phone, c.before}, {company, c.phone, c.after}, 2);
            break;
        }
        case PhoneChange::Kind::NewValue:
            history.added(values, value, {company, model, c.phone, c.param, c.after}, 4);
            break;
        case PhoneChange::Kind::Value:
            history.edited(values, value, {company, model, c.phone, c.param, c.before},
                           {company, model, c.phone, c.param, c.after}, 4);
            break;
        }
    }
    history.flush();
}

QString PhoneImport::problemText(const ImportProblem& problem)
{
    if (problem.line == 0)
        return problem.reason;
    return m_texts.text("M590", "Line %1, column %2: %3",
                        {QString::number(problem.line), problem.column, problem.reason});
}

QStringList PhoneImport::problemLines(const PhoneImportPlan& plan)
{
    QStringList lines;
    for (const ImportProblem& problem : plan.problems)
        lines.append(problemText(problem));
    // Both when the line the check stopped at holds more problems than the list had room for.
    if (plan.problemCount > plan.problems.size())
        lines.append(m_texts.text("M756", "The first %1 of %2 problems are listed.",
                                  {QString::number(plan.problems.size()), QString::number(plan.problemCount)}));
    if (plan.stoppedAt > 0 && plan.lines > plan.stoppedAt)
        lines.append(m_texts.text("M755", "The check stopped at line %1 of %2: the lines after it were not checked.",
                                  {QString::number(plan.stoppedAt), QString::number(plan.lines)}));
    return lines;
}

QString PhoneImport::outcomeText(PhoneOutcome outcome)
{
    switch (outcome) {
    case PhoneOutcome::Added:
        return m_texts.text("FPHIMP_ADDED", "Added");
    case PhoneOutcome::Updated:
        return m_texts.text("FPHIMP_UPDATED", "Updated");
    case PhoneOutcome::Unchanged:
        return m_texts.text("FPHIMP_UNCHANGED", "Unchanged");
    case PhoneOutcome::Refused:
        break;
    }
    return m_texts.text("FPHIMP_REFUSED", "Refused");
}

QString PhoneImport::changeText(const PhoneChange& c)
{
    const bool secret = m_secrets && m_secrets->contains(c.param);
    const auto shown = [&](const QString& v) { return shownValue(v, secret, false); };
    const QString arrow = QStringLiteral(" \u2192 ");
    switch (c.kind) {
    case PhoneChange::Kind::NewRange:
        return m_texts.text("FPHIMP_NEWRANGE", "new range code");
    case PhoneChange::Kind::NewPhone:
        return QLatin1String(kDescriptionColumn) + u' ' + shown(c.after) + QStringLiteral(", ") +
               QLatin1String(kMacColumn) + u' ' + shown(c.mac);
    case PhoneChange::Kind::Description:
        return QLatin1String(kDescriptionColumn) + u' ' + shown(c.before) + arrow + shown(c.after);
    case PhoneChange::Kind::Mac:
        return QLatin1String(kMacColumn) + u' ' + shown(c.before) + arrow + shown(c.after);
    case PhoneChange::Kind::NewValue:
        return c.param + u' ' + shown(c.after);
    case PhoneChange::Kind::Value:
        break;
    }
    return c.param + u' ' + shown(c.before) + arrow + shown(c.after);
}

QString PhoneImport::problemDetail(const ImportProblem& problem)
{
    return problem.column.isEmpty() ? problem.reason : problem.column + QStringLiteral(": ") + problem.reason;
}

QString PhoneImport::details(const PlannedPhone& phone)
{
    QStringList parts;
    for (const ImportProblem& p : phone.problems)
        parts.append(problemDetail(p));
    for (const PhoneChange& c : phone.changes)
        parts.append(changeText(c));
    return parts.join(QStringLiteral("; "));
}

QString PhoneImport::changeLine(const PlannedPhone& phone)
{
    return QStringLiteral("%1 %2, %3 %4: %5")
        .arg(m_texts.text("FPHIMP_COLLINE", "Line"), QString::number(phone.line), phone.phone,
             outcomeText(phone.outcome), details(phone));
}

QString PhoneImport::changedText()
{
    return m_texts.text("FPHIMP_CHANGED",
                        "The file or the database changed after the file was checked: nothing was written. "
                        "Check the file again.");
}

QString PhoneImport::summaryLine(const PhoneImportPlan& plan)
{
    if (plan.refused()) {
        static constexpr CountedText refused{"M593", "%1 was refused with %2 problems: nothing was changed.", "M436",
                                             "%1 was refused with %2 problem: nothing was changed."};
        const qsizetype n = std::max<qsizetype>(plan.problemCount, plan.problems.size());
        return m_texts.text(refused.codeFor(n), refused.englishFor(n), {plan.file, QString::number(n)});
    }
    return m_texts.text("M604", "%1 added, %2 updated, %3 unchanged",
                        {QString::number(plan.added), QString::number(plan.updated), QString::number(plan.unchanged)});
}

} // namespace vocaset
