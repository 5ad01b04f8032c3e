#include "SharedRows.h"

#include <algorithm>
#include <atomic>

#include <QVarLengthArray>

#include "ParamResolution.h"

namespace vocaset {
namespace {

const QString kMark = QStringLiteral("$$");

// UTF-16 units in code-point order: a surrogate stands for a code point above every other unit.
inline char16_t codePointKey(char16_t u)
{
    if (u >= 0xD800 && u <= 0xDFFF)
        return char16_t(u + 0x2000);
    if (u >= 0xE000)
        return char16_t(u - 0x800);
    return u;
}

} // namespace

bool codeBefore(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const QChar* x = a.constData();
    const QChar* y = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        if (x[i] != y[i])
            return codePointKey(x[i].unicode()) < codePointKey(y[i].unicode());
    }
    return a.size() < b.size();
}

StoredRow::StoredRow(const QString& code, const QString& desc, bool isDescribed, const QString& value, QChar level)
    : row{code, desc, value, level, value}, described(isDescribed),
      marked(code.contains(kMark) || value.contains(kMark) || desc.contains(kMark))
{
}

namespace {

quint64 nextSerial()
{
    static std::atomic<quint64> serial{0};
    return ++serial;
}

// Faster than contains(QString): most texts hold no "$" at all.
bool holdsMark(const QString& text)
{
    const QChar* begin = text.constData();
    const QChar* end = begin + text.size();
    for (const QChar* p = std::find(begin, end, u'$'); p != end && p + 1 != end; p = std::find(p + 1, end, u'$')) {
        if (p[1] == u'$')
            return true;
    }
    return false;
}

} // namespace

std::optional<QString> expandRow(ParamRow& row, bool described, const QString& phoneCode, const QString& phoneDesc)
{
    for (QString* text : {&row.code, &row.desc, &row.value}) {
        if (text == &row.desc && !described)
            continue;
        Expansion e = expandPlaceHolders(*text, phoneCode, phoneDesc);
        *text = std::move(e.text);
        if (e.badToken)
            return e.badToken;
    }
    return std::nullopt;
}

namespace {

StoredRow describedValue(const QHash<QString, QString>& descriptions, const QString& code, const QString& value,
                         QChar level)
{
    const auto it = descriptions.constFind(code);
    const bool found = it != descriptions.constEnd();
    return StoredRow(code, found ? *it : QString(), found, value, level);
}

} // namespace

quint8 placeHoldersOf(const ParamRow& row, bool described)
{
    return quint8((holdsMark(row.code) ? InCode : 0) | (described && holdsMark(row.desc) ? InDesc : 0) |
                  (holdsMark(row.value) ? InValue : 0));
}

namespace {

// The texts one telephone's rows expand to. The rows of a model often hold one same text
// ("user$$P"), so each text is expanded once per telephone.
class Expansions final
{
public:
    Expansions(const QString& phoneCode, const QString& phoneDesc) : m_code(phoneCode), m_desc(phoneDesc) {}

    // expandRow for the texts the mask names.
    std::optional<QString> row(ParamRow& row, quint8 mask)
    {
        const std::pair<PlaceHolderIn, QString*> texts[] = {
            {InCode, &row.code}, {InDesc, &row.desc}, {InValue, &row.value}};
        for (const auto& [flag, text] : texts) {
            if (!(mask & flag))
                continue;
            if (std::optional<QString> bad = expand(*text))
                return bad;
        }
        return std::nullopt;
    }

private:
    std::optional<QString> expand(QString& text)
    {
        for (const auto& [from, to] : m_done) {
            if (from == text) {
                text = to;
                return std::nullopt;
            }
        }
        Expansion e = expandPlaceHolders(text, m_code, m_desc);
        if (!e.badToken && m_done.size() < m_done.capacity())
            m_done.append({text, e.text});
        text = std::move(e.text);
        return e.badToken;
    }

    const QString& m_code;
    const QString& m_desc;
    QVarLengthArray<std::pair<QString, QString>, 8> m_done; // a text and what it expanded to
};

} // namespace

std::optional<QString> expandRow(ParamRow& row, quint8 mask, const QString& phoneCode, const QString& phoneDesc)
{
    return Expansions(phoneCode, phoneDesc).row(row, mask);
}

std::shared_ptr<const SharedRows> SharedRows::read(Database& db, const Key& key)
{
    QHash<QString, QString> descriptions;
    const Recordset catalogue = db.executeBound(
        QStringLiteral("SELECT PA_CODE, PA_DESC FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = ?"), {key.model});
    descriptions.reserve(catalogue.count());
    for (const QVariantList& row : catalogue.rows())
        descriptions.insert(row.at(0).toString(), row.at(1).toString());
    QList<StoredRow> equipment;
    if (key.equipmentLevel) {
        const Recordset e =
            db.executeBound(QStringLiteral("SELECT PA_CODE, PA_DESC, PA_DEFAULT FROM EQUIPMENT_PARAMETERS "
                                           "WHERE EQ_CODE = ? AND LE_CODE = 'E' ORDER BY PA_CODE"),
                            {key.model});
        // Equipment rows carry their own description.
        for (const QVariantList& row : e.rows())
            equipment.append(
                StoredRow(row.at(0).toString(), row.at(1).toString(), !row.at(1).isNull(), row.at(2).toString(), u'E'));
    }
    QList<StoredRow> company;
    if (key.companyLevel) {
        const Recordset values = db.executeBound(
            QStringLiteral("SELECT PA_CODE, PA_VALUE FROM COMPANY_PARAMETERS WHERE CO_CODE = ? AND EQ_CODE = ? "
                           "ORDER BY PA_CODE"),
            {key.company, key.model});
        for (const QVariantList& row : values.rows())
            company.append(describedValue(descriptions, row.at(0).toString(), row.at(1).toString(), u'C'));
    }
    return std::make_shared<const SharedRows>(key, std::move(descriptions), std::move(equipment), std::move(company));
}

SharedRows::SharedRows(Key key, QHash<QString, QString> descriptions, QList<StoredRow> equipment,
                       QList<StoredRow> company)
    : m_key(std::move(key)), m_serial(nextSerial()), m_descriptions(std::move(descriptions)),
      m_equipment(std::move(equipment)), m_company(std::move(company))
{
    m_catalogue.reserve(m_descriptions.size());
    for (auto it = m_descriptions.cbegin(); it != m_descriptions.cend(); ++it)
        m_catalogue.append({it.key(), it.value()});
    std::sort(m_catalogue.begin(), m_catalogue.end(),
              [](const auto& a, const auto& b) { return codeBefore(a.first, b.first); });
    QList<const StoredRow*> all;
    all.reserve(m_equipment.size() + m_company.size());
    for (const QList<StoredRow>* level : {&m_equipment, &m_company}) {
        for (const StoredRow& s : *level) {
            all.append(&s);
            if (!s.described)
                m_uncatalogued.append(s.row.code);
            // A code with a place-holder takes its place in the order only once expanded.
            if (s.row.code.contains(kMark))
                m_mergeable = false;
        }
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const StoredRow* a, const StoredRow* b) { return codeBefore(a->row.code, b->row.code); });
    m_merged.reserve(all.size());
    m_expand.reserve(all.size());
    for (const StoredRow* s : std::as_const(all)) {
        // The same code from both levels: the merge refuses it, row by row.
        if (!m_merged.isEmpty() && m_merged.last().code == s->row.code)
            m_mergeable = false;
        m_merged.append(s->row);
        m_expand.append(placeHoldersOf(s->row, s->described));
        m_plain.append(!m_expand.last() && !formatMayRefuse(s->row.code) && !formatMayRefuse(s->row.value) &&
                       !formatMayRefuse(s->row.desc));
    }
}

StoredRow SharedRows::valueRow(const QString& code, const QString& value, QChar level) const
{
    return describedValue(m_descriptions, code, value, level);
}

std::optional<SharedRows::Merged> SharedRows::merge(const QString& phoneCode, const QString& phoneDesc,
                                                    const OwnValues* own, Hint* hint) const
{
    if (!m_mergeable)
        return std::nullopt;
    Hint local;
    Hint& places = hint ? *hint : local;
    const qsizetype n = own ? own->size() : 0;
    bool known = places.of == m_serial && places.codes.size() == n;
    for (qsizetype i = 0; known && i < n; ++i)
        known = places.codes.at(i) == own->at(i).code;
    if (!known) {
        // Each code's place among the merged rows and in the catalogue, both walked along the codes.
        places = Hint{};
        places.codes.reserve(n);
        places.before.reserve(n);
        places.catalogue.reserve(n);
        qsizetype at = 0;
        qsizetype c = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const QString& code = own->at(i).code;
            // Out of order or given twice: the merge row by row sorts it out or refuses it.
            if (i > 0 && !codeBefore(own->at(i - 1).code, code))
                return std::nullopt;
            while (at < m_merged.size() && codeBefore(m_merged.at(at).code, code))
                ++at;
            // A code the shared rows give already: the merge refuses it, row by row.
            if (at < m_merged.size() && m_merged.at(at).code == code)
                return std::nullopt;
            while (c < m_catalogue.size() && codeBefore(m_catalogue.at(c).first, code))
                ++c;
            places.codes.append(code);
            places.before.append(at);
            places.catalogue.append(c < m_catalogue.size() && m_catalogue.at(c).first == code ? c : -1);
        }
        places.of = m_serial;
    }

    Expansions expansions(phoneCode, phoneDesc);
    Merged m;
    m.uncatalogued = m_uncatalogued;
    m.rows.reserve(m_merged.size() + n);
    m.plain.reserve(m_merged.size() + n);
    qsizetype j = 0;
    const auto ownUpTo = [&](qsizetype before) {
        for (; j < n && places.before.at(j) <= before; ++j) {
            const OwnValue& v = own->at(j);
            const qsizetype c = places.catalogue.at(j);
            m.rows.append(ParamRow{v.code, c >= 0 ? m_catalogue.at(c).second : QString(), v.value, u'P', v.value});
            m.plain.append(false);
            ParamRow& row = m.rows.last();
            const quint8 mask = placeHoldersOf(row, c >= 0);
            if ((mask & InCode) || (mask && expansions.row(row, mask)))
                return false;
            if (c < 0)
                m.uncatalogued.append(row.code);
        }
        return true;
    };
    for (qsizetype i = 0; i < m_merged.size(); ++i) {
        if (!ownUpTo(i))
            return std::nullopt;
        m.rows.append(m_merged.at(i));
        m.plain.append(m_plain.at(i));
        if (const quint8 mask = m_expand.at(i); mask && expansions.row(m.rows.last(), mask))
            return std::nullopt;
    }
    if (!ownUpTo(m_merged.size()))
        return std::nullopt;
    return m;
}

void SharedRowsCache::keepWhile(const QVariant& stamp)
{
    if (stamp.isNull() || stamp != m_stamp)
        clear();
    m_stamp = stamp;
}

const SharedRows& SharedRowsCache::of(Database& db, const QString& company, const QString& model,
                                      const LevelChoice& levels)
{
    const SharedRows::Key key = SharedRows::keyOf(company, model, levels);
    if (m_last && m_last->key() == key)
        return *m_last;
    auto it = m_kept.find(key);
    if (it == m_kept.end())
        it = m_kept.emplace(key, SharedRows::read(db, key)).first;
    m_last = it->second.get();
    return *m_last;
}

} // namespace vocaset
