#include "ParamResolution.h"

#include <algorithm>
#include <optional>

#include <QVarLengthArray>

#include "Messages.h"
#include "Sql.h"

namespace vocaset {
namespace {

const QString kMark = QStringLiteral("$$");

// An optionally signed run of decimal digits within +-limit; anything else in a substring selection
// is an error.
std::optional<int> wholeNumber(QStringView text, int limit)
{
    const qsizetype digits = text.startsWith(u'-') || text.startsWith(u'+') ? 1 : 0;
    if (text.size() == digits)
        return std::nullopt;
    for (qsizetype i = digits; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v > limit || v < -qlonglong(limit))
        return std::nullopt;
    return int(v);
}

// The value a place-holder token stands for, or nothing when the token is malformed or unknown.
std::optional<QString> tokenValue(QStringView token, const QString& code, const QString& description)
{
    int start = 0;
    int length = 0;
    const qsizetype comma = token.indexOf(u',');
    if (comma >= 0) {
        const QStringView after = token.mid(comma + 1);
        const qsizetype second = after.indexOf(u',');
        if (second < 0)
            return std::nullopt;
        const auto from = wholeNumber(after.left(second), 32767);
        const auto count = wholeNumber(after.mid(second + 1), 0x7FFFFFFF);
        // A negative start or length selects nothing sensible; it is reported like any malformed token.
        if (!from || !count || *from < 0 || (*from > 0 && *count < 0))
            return std::nullopt;
        start = *from;
        length = *count;
    }
    const QStringView name = comma >= 0 ? token.left(comma) : token;
    QString value;
    if (name == u"$$P")
        value = code;
    else if (name == u"$$N")
        value = description;
    else
        return std::nullopt;
    if (start != 0)
        value = value.mid(start - 1, length);
    return value;
}

} // namespace

ParamValue findParamValue(Session& s, const QString& code)
{
    const Recordset& phone = s.currentPhone;
    const QString eq = phone.text(QStringLiteral("EQ_CODE"));
    const QString co = phone.text(QStringLiteral("CO_CODE"));
    const Recordset catalogue =
        s.db.execute(QStringLiteral("SELECT PA_DEFAULT, LE_CODE FROM EQUIPMENT_PARAMETERS WHERE EQ_CODE = '") +
                     sqlText(eq) + QStringLiteral("' AND PA_CODE = '") + sqlText(code) + QStringLiteral("'"));
    if (catalogue.eof())
        return {{}, QStringLiteral("M1")};
    const QString level = catalogue.text(1);
    if (level == u"E")
        return {catalogue.text(0), {}};
    if (level == u"C") {
        const Recordset rs = s.db.execute(QStringLiteral("SELECT PA_VALUE FROM COMPANY_PARAMETERS WHERE CO_CODE = '") +
                                          sqlText(co) + QStringLiteral("' AND EQ_CODE = '") + sqlText(eq) +
                                          QStringLiteral("' AND PA_CODE = '") + sqlText(code) + QStringLiteral("'"));
        if (rs.eof())
            return {{}, QStringLiteral("M5")};
        return {ExpandMacros(s, rs.text(0)), {}};
    }
    if (level == u"P") {
        // The model narrows the lookup to this model's values, as the generation run's merge does.
        const Recordset rs =
            s.db.execute(QStringLiteral("SELECT PA_VALUE FROM PHONES_PARAMETERS WHERE CO_CODE = '") + sqlText(co) +
                         QStringLiteral("' AND EQ_CODE = '") + sqlText(eq) + QStringLiteral("' AND PH_CODE = '") +
                         sqlText(phone.text(QStringLiteral("PH_CODE"))) + QStringLiteral("' AND PA_CODE = '") +
                         sqlText(code) + QStringLiteral("'"));
        if (rs.eof())
            return {{}, QStringLiteral("M4")};
        return {ExpandMacros(s, rs.text(0)), {}};
    }
    return {{}, level == u"D" ? QStringLiteral("M3") : QStringLiteral("M2")};
}

QString GetParamValue(Session& s, const QString& code)
{
    const ParamValue found = findParamValue(s, code);
    if (!found.missing.isEmpty())
        ShowMessage(s, found.missing, code);
    return found.value;
}

Expansion expandPlaceHolders(const QString& text, const QString& code, const QString& description)
{
    Expansion e{text, std::nullopt, {}};
    const qsizetype first = text.indexOf(kMark);
    if (first < 0)
        return e;
    // The usual text holds one place-holder: it is the only occurrence of its token, so it is
    // replaced where it stands, in one copy.
    if (text.indexOf(kMark, first + 1) < 0) {
        qsizetype end = text.indexOf(u'\'', first);
        if (end < 0)
            end = text.indexOf(u' ', first);
        if (end < 0)
            end = text.size();
        const QStringView token = QStringView(text).mid(first, end - first);
        std::optional<QString> value = tokenValue(token, code, description);
        if (!value) {
            e.badToken = token.toString();
            return e;
        }
        e.text = QStringView(text).left(first) + *value + QStringView(text).mid(end);
        e.inserted.append(std::move(*value));
        return e;
    }
    QString& work = e.text;
    // Characters that came from a telephone's code or description are data: a "$$" inside them is
    // never taken for a place-holder, so a description such as "a$$N" cannot loop forever.
    QVarLengthArray<bool, 128> inserted(work.size());
    std::fill(inserted.begin(), inserted.end(), false);
    const auto literalAt = [&](qsizetype at, qsizetype n) {
        return std::none_of(inserted.begin() + at, inserted.begin() + at + n, [](bool b) { return b; });
    };
    const auto nextMark = [&](qsizetype from) {
        for (qsizetype at = work.indexOf(kMark, from); at >= 0; at = work.indexOf(kMark, at + 1)) {
            if (literalAt(at, 2))
                return at;
        }
        return qsizetype(-1);
    };

    for (qsizetype at = nextMark(0); at >= 0; at = nextMark(at)) {
        // The apostrophe rule comes first, so a place-holder may close a quoted SQL value.
        qsizetype end = work.indexOf(u'\'', at);
        if (end < 0)
            end = work.indexOf(u' ', at);
        if (end < 0)
            end = work.size();
        const QString token = work.mid(at, end - at);

        const std::optional<QString> value = tokenValue(token, code, description);
        if (!value) {
            e.badToken = token;
            return e;
        }
        // Every occurrence of the token is replaced in this one pass.
        for (qsizetype hit = at; (hit = work.indexOf(token, hit)) >= 0;) {
            if (!literalAt(hit, token.size())) {
                ++hit;
                continue;
            }
            work.replace(hit, token.size(), *value);
            inserted.remove(hit, token.size());
            inserted.insert(hit, value->size(), true);
            e.inserted.append(*value);
            hit += value->size();
        }
    }
    return e;
}

QString ExpandMacros(Session& s, const QString& text)
{
    if (!text.contains(kMark))
        return text;
    const Expansion e = expandPlaceHolders(text, s.currentPhone.text(QStringLiteral("PH_CODE")),
                                           s.currentPhone.text(QStringLiteral("PH_DESC")));
    if (e.badToken) {
        ShowMessage(s, QStringLiteral("M6"), *e.badToken);
        s.runError = true;
    }
    return e.text;
}

} // namespace vocaset
