#include "TemplateWriter.h"

#include <algorithm>
#include <list>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <kainjow/mustache.hpp>

#include <QRegularExpression>
#include <QXmlStreamReader>

#include "TextFile.h"

namespace vocaset {
namespace km = kainjow::mustache;
// Names are compared by length first: a lookup per value of every telephone.
using namespace std::string_view_literals;

namespace {

// A render that would exceed what any telephone can load, or loops over lists inside lists until it
// would take minutes, stops: lookups and sections entered count as work.
constexpr qint64 kMaxWork = 4'000'000;

struct Abort
{
    QString why;
};

// Collects the library's output, a line at a time, up to the cap.
// With crlf, each line feed is written as CR LF as it comes.
struct Output
{
    std::string text;
    bool crlf = false;
    Output& operator<<(const std::string& piece)
    {
        if (qsizetype(text.size() + piece.size()) > CompiledTemplate::kMaxOutputBytes)
            throw Abort{
                QStringLiteral("the file would be larger than %1 bytes").arg(CompiledTemplate::kMaxOutputBytes)};
        if (crlf && piece.find('\n') != std::string::npos) {
            for (const char c : piece) {
                if (c == '\n')
                    text += '\r';
                text += c;
            }
        } else {
            text += piece;
        }
        return *this;
    }
};

bool ownCodes(const QString& text)
{
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 0x80 || (c.unicode() >= 0xA0 && c.unicode() <= 0xFF); });
}

void appendUtf8(std::string& out, const QString& text)
{
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        const qsizetype at = qsizetype(out.size());
        out.resize(out.size() + size_t(text.size()));
        std::transform(text.begin(), text.end(), out.begin() + at, [](QChar c) { return char(c.unicode()); });
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    out.append(utf8.constData(), size_t(utf8.size()));
}

// For XML text and for attributes in either kind of quotes.
void escapeXml(std::string& s)
{
    if (s.find_first_of("&<>\"'") == std::string::npos)
        return;
    std::string out;
    out.reserve(s.size() + 16);
    for (const char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    s.swap(out);
}

QString fromStd(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The library's own words for a text that does not parse, and the byte where it saw the fault.
TemplateProblem syntaxProblem(const std::string& message, const CompiledTemplate& t)
{
    static const QRegularExpression at(QStringLiteral("^(.*) at (\\d+)$"));
    const QRegularExpressionMatch m = at.match(fromStd(message));
    TemplateProblem p;
    if (!m.hasMatch()) {
        p.text = fromStd(message);
        return p;
    }
    p.at = t.placeOf(m.captured(2).toLongLong());
    const QString what = m.captured(1);
    static const QRegularExpression section(QStringLiteral("^(Unopened|Unclosed) section (\".*\")$"));
    if (const QRegularExpressionMatch s = section.match(what); s.hasMatch())
        p.text = s.captured(1) == u"Unclosed"
                     ? QStringLiteral("section %1 is not closed").arg(s.captured(2))
                     : QStringLiteral("section %1 is closed but was never opened").arg(s.captured(2));
    else if (what == u"Unclosed tag")
        p.text = QStringLiteral("a tag is not closed");
    else if (what == u"Invalid set delimiter tag")
        p.text = QStringLiteral("the tag that sets the delimiters is not valid");
    else
        p.text = what;
    return p;
}

} // namespace

QString TemplateProblem::located() const
{
    if (in == In::FileName)
        return QStringLiteral("file name: ") + text;
    if (at.line <= 0)
        return text;
    return (in == In::File ? QStringLiteral("line %1, column %2 of the file: ")
                           : QStringLiteral("line %1, column %2: "))
               .arg(at.line)
               .arg(at.column) +
           text;
}

struct CompiledTemplate::Impl
{
    ModelTemplate stored;
    QString text;       // line ends as LF
    std::string source; // the same in UTF-8, as the library reads it
    std::unique_ptr<km::mustache> mustache;
    std::optional<TemplateProblem> syntax;
    bool xml = false;
    bool cp1252 = true;
    bool crlf = true;
    bool book = false;
    size_t lastSize = 0; // of the last file rendered, reserved for the next
    bool ascii = true;   // the text has no character beyond ASCII

    // Kept from one render to the next: the strings handed to the library, and the lists.
    std::vector<std::unique_ptr<km::data>> slots;
    std::unordered_map<size_t, std::unique_ptr<km::data>> paramLists;
    std::unordered_map<size_t, std::unique_ptr<km::data>> entryLists;

    const km::data* listOf(std::unordered_map<size_t, std::unique_ptr<km::data>>& lists, size_t n)
    {
        auto it = lists.find(n);
        if (it == lists.end()) {
            auto list = std::make_unique<km::data>(km::data::type::list);
            for (size_t i = 0; i < n; ++i)
                list->push_back(km::data(km::data::type::object));
            it = lists.emplace(n, std::move(list)).first;
        }
        return it->second.get();
    }

    // Where a name the library looked up stands in the text: its first tag, else its first mention.
    TemplatePlace placeOfName(const QString& name, const char* sigils) const
    {
        const QRegularExpression tag(QStringLiteral("\\{\\{\\{?\\s*[") + QLatin1String(sigils) +
                                     QStringLiteral("]?\\s*") + QRegularExpression::escape(name) +
                                     QStringLiteral("\\s*\\}?\\}\\}"));
        qsizetype at = tag.match(text).capturedStart();
        if (at < 0)
            at = text.indexOf(name);
        if (at < 0)
            return {};
        const qsizetype lineStart = text.lastIndexOf(u'\n', at) + 1;
        return {int(text.left(at).count(u'\n')) + 1, int(at - lineStart) + 1};
    }
};

namespace {

// What the library asks for by name, answered from the subject without building the data up front:
// the telephone's values, each parameter's fields as a list item asks for them, one parameter by its
// whole code (dots and all) after "param.". A name nothing answers is recorded, not read as empty.
class RenderContext final : public km::basic_context<std::string>
{
public:
    RenderContext(CompiledTemplate::Impl& t, const TemplateSubject& s) : m_t(t), m_s(s)
    {
        m_frames.reserve(8);
        m_frames.push_back(&m_root);
    }

    void push(const km::data* data) override
    {
        spend();
        m_frames.push_back(data);
    }
    void pop() override { m_frames.pop_back(); }

    const km::data* get(const std::string& name) const override
    {
        spend();
        if (name == "."sv)
            return m_frames.back();
        for (auto f = m_frames.rbegin(); f != m_frames.rend(); ++f) {
            if (const km::data* value = resolve(*f, name))
                return value;
        }
        if (std::find(unknown.begin(), unknown.end(), name) == unknown.end())
            unknown.push_back(name);
        return nullptr;
    }
    const km::data* get_partial(const std::string& name) const override
    {
        if (std::find(partials.begin(), partials.end(), name) == partials.end())
            partials.push_back(name);
        return nullptr;
    }

    mutable std::vector<std::string> unknown;
    mutable std::vector<std::string> partials;
    mutable QString refusal;
    mutable QStringList lossy;
    mutable bool wide = false; // a value beyond ASCII was written

private:
    void spend() const
    {
        if (++m_work > kMaxWork)
            throw Abort{
                QStringLiteral("the template loops too often (more than %1 lookups and sections)").arg(kMaxWork)};
    }

    static qsizetype indexIn(const km::data* list, const km::data* frame)
    {
        if (!list || list->list_value().empty())
            return -1;
        const km::data* first = &list->list_value().front();
        const qsizetype i = frame - first;
        return i >= 0 && i < qsizetype(list->list_value().size()) ? i : -1;
    }

    // A value as the file gets it, checked first: a line break would forge a line of its own, and a
    // character the encoding lacks becomes '?', which the run logs under owner.
    // subject names the value in a refusal, its "%1" the owner; nothing for values that cannot hold one.
    const km::data* text(const QString& value, const QString& owner, const char* subject) const
    {
        if (m_used == m_t.slots.size())
            m_t.slots.push_back(std::make_unique<km::data>(std::string()));
        km::data* slot = m_t.slots[m_used++].get();
        // The slot's string keeps its buffer from the last render: no allocation once it is large enough.
        auto& s = const_cast<std::string&>(slot->string_value());
        // Most values are printable ASCII: nothing to refuse, nothing lost, copied as they are.
        s.resize(size_t(value.size()));
        char* to = s.data();
        bool special = false;
        bool plain = true;
        for (const QChar c : value) {
            const char16_t u = c.unicode();
            if (u < 0x20 || u >= 0x7F) {
                plain = false;
                break;
            }
            special |= u == u'&' || u == u'<' || u == u'>' || u == u'"' || u == u'\'';
            *to++ = char(u);
        }
        if (plain) {
            if (special && m_t.xml)
                escapeXml(s);
            return slot;
        }
        s.clear();
        wide = wide || !std::all_of(value.begin(), value.end(), [](QChar c) { return c.unicode() < 0x80; });
        if (subject && refusal.isEmpty()) {
            if (const std::optional<QString> why = formatRefusal(QString(), value))
                refusal = QLatin1String(subject).arg(owner) + u' ' + *why;
        }
        if (m_t.cp1252 && !ownCodes(value) && !lossy.contains(owner)) {
            bool lost = false;
            toCp1252(value, &lost);
            if (lost)
                lossy.append(owner);
        }
        appendUtf8(s, value);
        if (m_t.xml)
            escapeXml(s);
        return slot;
    }

    const km::data* object(std::initializer_list<std::pair<const char*, QString>> fields) const
    {
        km::data& o = m_objects.emplace_back(km::data::type::object);
        for (const auto& [name, value] : fields)
            o.set(name, km::data(text(value, QLatin1String(name), "the %1")->string_value()));
        return &o;
    }

    const km::data* resolve(const km::data* frame, const std::string& name) const
    {
        if (frame == &m_root)
            return rootName(name);
        if (const qsizetype i = indexIn(m_paramList, frame); i >= 0)
            return paramField(m_s.params->at(i), name);
        if (const qsizetype i = indexIn(m_entryList, frame); i >= 0)
            return entryField(m_s.entries->at(i), name);
        return frame->get(name);
    }

    const km::data* paramField(const ParamRow& row, std::string_view name) const
    {
        if (name == "code"sv)
            return text(row.code, row.code, "the code of parameter %1");
        if (name == "value"sv)
            return text(row.value, row.code, "the value of parameter %1");
        if (name == "description"sv)
            return text(row.desc, row.code, "the description of parameter %1");
        if (name == "level"sv)
            return text(QString(row.level), row.code, nullptr);
        return nullptr;
    }

    const km::data* entryField(const BookEntry& e, std::string_view name) const
    {
        const QString owner = e.number + QStringLiteral(" - ") + e.name;
        const std::pair<std::string_view, const QString*> fields[] = {
            {"number", &e.number}, {"name", &e.name},     {"flag", &e.flag}, {"extension", &e.extension},
            {"fax", &e.fax},       {"mobile", &e.mobile}, {"mail", &e.mail}};
        for (const auto& [field, value] : fields) {
            if (name == field)
                return text(*value, owner, "the entry %1");
        }
        if (name == "index"sv)
            return text(QString::number(e.index), owner, nullptr);
        return nullptr;
    }

    const km::data* rootName(const std::string& name) const
    {
        if (name == "company.code"sv)
            return text(m_s.companyCode, QStringLiteral("company.code"), "the company's code");
        if (name == "company.name"sv)
            return text(m_s.companyName, QStringLiteral("company.name"), "the company's name");
        if (name == "model.code"sv)
            return text(m_s.modelCode, QStringLiteral("model.code"), "the model's code");
        if (name == "model.name"sv)
            return text(m_s.modelName, QStringLiteral("model.name"), "the model's name");
        if (name == "company"sv)
            return object({{"code", m_s.companyCode}, {"name", m_s.companyName}});
        if (name == "model"sv)
            return object({{"code", m_s.modelCode}, {"name", m_s.modelName}});
        if (m_t.book) {
            if (name == "entries"sv && m_s.entries)
                return m_entryList = m_t.listOf(m_t.entryLists, size_t(m_s.entries->size()));
            return nullptr;
        }
        if (name == "mac"sv || name == "mac_lower"sv || name == "mac_colons"sv || name == "mac_dashes"sv) {
            if (name == "mac_lower"sv)
                return text(m_s.mac.toLower(), {}, nullptr);
            QString mac = m_s.mac.toUpper();
            if (name != "mac"sv) {
                QStringList pairs;
                for (qsizetype i = 0; i < mac.size(); i += 2)
                    pairs.append(mac.mid(i, 2));
                mac = pairs.join(name == "mac_colons"sv ? u':' : u'-');
            }
            return text(mac, {}, nullptr);
        }
        if (name == "phone.code"sv)
            return text(m_s.phoneCode, QStringLiteral("phone.code"), "the telephone's code");
        if (name == "phone.description"sv)
            return text(m_s.phoneDescription, QStringLiteral("phone.description"), "the telephone's description");
        if (name == "phone"sv)
            return object({{"code", m_s.phoneCode}, {"description", m_s.phoneDescription}});
        if (name == "params"sv && m_s.params)
            return m_paramList = m_t.listOf(m_t.paramLists, size_t(m_s.params->size()));
        if (name.rfind("param.", 0) == 0 && name.size() > 6 && m_s.params) {
            const QString code = QString::fromUtf8(name.data() + 6, qsizetype(name.size()) - 6);
            if (m_byCode.isEmpty() && !m_s.params->isEmpty()) {
                m_byCode.reserve(m_s.params->size());
                for (qsizetype i = 0; i < m_s.params->size(); ++i)
                    m_byCode.insert(m_s.params->at(i).code, i);
            }
            if (const auto it = m_byCode.constFind(code); it != m_byCode.constEnd())
                return paramField(m_s.params->at(*it), "value");
            // A parameter of the catalogue without a value at the levels chosen: false, so that a
            // section on it is left out and an inverted one shown.
            if (m_s.catalogue && m_s.catalogue->contains(code))
                return &m_false;
        }
        return nullptr;
    }

    CompiledTemplate::Impl& m_t;
    const TemplateSubject& m_s;
    const km::data m_root;
    const km::data m_false{false};
    std::vector<const km::data*> m_frames;
    mutable qint64 m_work = 0;
    mutable size_t m_used = 0;
    mutable const km::data* m_paramList = nullptr;
    mutable const km::data* m_entryList = nullptr;
    mutable QHash<QString, qsizetype> m_byCode;
    mutable std::list<km::data> m_objects; // rarely used; unlike a deque, an empty list allocates nothing
};

QByteArray withLineEnds(const std::string& text, bool crlf)
{
    if (!crlf)
        return QByteArray(text.data(), qsizetype(text.size()));
    const qsizetype lines = qsizetype(std::count(text.begin(), text.end(), '\n'));
    QByteArray out(qsizetype(text.size()) + lines, Qt::Uninitialized);
    char* to = out.data();
    for (const char c : text) {
        if (c == '\n')
            *to++ = '\r';
        *to++ = c;
    }
    return out;
}

} // namespace

CompiledTemplate::CompiledTemplate(ModelTemplate t) : d(std::make_unique<Impl>())
{
    d->stored = std::move(t);
    // Line ends as the library and the positions count them; the file gets the template's own.
    d->text = d->stored.text;
    d->text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    d->text.replace(u'\r', u'\n');
    const QByteArray utf8 = d->text.toUtf8();
    d->source.assign(utf8.constData(), size_t(utf8.size()));
    d->xml = d->stored.escape == u"xml";
    d->cp1252 = d->stored.encoding != u"UTF-8";
    d->crlf = d->stored.eol != u"LF";
    d->book = d->stored.kind == u"phonebook";
    d->ascii = std::all_of(d->source.begin(), d->source.end(), [](char c) { return uchar(c) < 0x80; });
    d->mustache = std::make_unique<km::mustache>(d->source);
    // Values are escaped as they are handed over, so that {{{name}}} and {{&name}} escape them too.
    d->mustache->set_custom_escape([](const std::string& s) { return s; });
    if (!d->mustache->is_valid())
        d->syntax = syntaxProblem(d->mustache->error_message(), *this);
}

CompiledTemplate::~CompiledTemplate() = default;

const ModelTemplate& CompiledTemplate::stored() const
{
    return d->stored;
}

bool CompiledTemplate::phoneBook() const
{
    return d->book;
}

const std::optional<TemplateProblem>& CompiledTemplate::syntaxError() const
{
    return d->syntax;
}

TemplatePlace CompiledTemplate::placeOf(qsizetype offset) const
{
    const std::string& s = d->source;
    offset = qBound(qsizetype(0), offset, qsizetype(s.size()));
    TemplatePlace p{1, 1};
    for (qsizetype i = 0; i < offset; ++i) {
        if (s[size_t(i)] == '\n') {
            ++p.line;
            p.column = 1;
        } else if ((uchar(s[size_t(i)]) & 0xC0) != 0x80) {
            ++p.column;
        }
    }
    return p;
}

RenderedFile CompiledTemplate::render(const TemplateSubject& subject, bool withText) const
{
    RenderedFile r;
    const auto refuse = [&r](const TemplateProblem& p, const QString& why) {
        r.problem = p;
        r.refusal = why;
        return r;
    };
    if (d->syntax)
        return refuse(*d->syntax, QStringLiteral("the template does not parse (%1)").arg(d->syntax->located()));
    RenderContext context(*d, subject);
    // Where nothing reads the text with its line feeds, the line ends go in as it is written.
    const bool withLf = withText || d->xml;
    Output out;
    out.crlf = d->crlf && !withLf;
    out.text.reserve(d->lastSize);
    try {
        d->mustache->render(context, out);
    } catch (const Abort& a) {
        r.refusal = a.why;
        return r;
    }
    if (!context.partials.empty()) {
        const QString name = fromStd(context.partials.front());
        const TemplateProblem p{TemplateProblem::In::Template, d->placeOfName(name, ">"),
                                QStringLiteral("partials are off: {{>%1}} cannot be used").arg(name)};
        return refuse(p, QStringLiteral("the template uses a partial (%1)").arg(p.located()));
    }
    if (!context.unknown.empty()) {
        const QString name = fromStd(context.unknown.front());
        const TemplateProblem p{TemplateProblem::In::Template, d->placeOfName(name, "#^/&"),
                                name.startsWith(QLatin1String("param."))
                                    ? QStringLiteral("parameter %1 is not in the model's catalogue").arg(name.mid(6))
                                    : QStringLiteral("\"%1\" names nothing a template can use").arg(name)};
        return refuse(p, QStringLiteral("the template names \"%1\", which does not exist (%2)").arg(name, p.located()));
    }
    if (!context.refusal.isEmpty()) {
        r.refusal = context.refusal;
        return r;
    }
    r.lossy = context.lossy;
    d->lastSize = out.text.size();
    const bool ascii = d->ascii && !context.wide;
    if (withLf || (d->cp1252 && !ascii))
        r.text = fromStd(out.text);
    if (d->xml) {
        if (const std::optional<TemplateProblem> p = xmlProblem(r.text))
            return refuse(*p, QStringLiteral("the file is not well-formed XML (%1)").arg(p->located()));
    }
    if (d->cp1252 && !ascii) {
        const QByteArray bytes = toCp1252(r.text);
        r.bytes = out.crlf ? bytes : withLineEnds(std::string(bytes.constData(), size_t(bytes.size())), d->crlf);
        if (!withLf)
            r.text.clear();
    } else {
        r.bytes = out.crlf ? QByteArray(out.text.data(), qsizetype(out.text.size())) : withLineEnds(out.text, d->crlf);
    }
    if (r.bytes->size() > kMaxOutputBytes) {
        r.bytes.reset();
        r.refusal = QStringLiteral("the file would be larger than %1 bytes").arg(kMaxOutputBytes);
    }
    return r;
}

QList<TemplateProblem> CompiledTemplate::nameProblems(const QStringList& catalogue) const
{
    QList<TemplateProblem> problems;
    if (d->syntax)
        return problems;
    const QSet<QString> codes(catalogue.begin(), catalogue.end());
    QList<ParamRow> full;
    for (const QString& code : catalogue)
        full.append(ParamRow{code, QStringLiteral("x"), QStringLiteral("x"), u'E'});
    if (full.isEmpty())
        full.append(ParamRow{QStringLiteral("x"), QStringLiteral("x"), QStringLiteral("x"), u'E'});
    const QList<BookEntry> oneEntry = {BookEntry{0, QStringLiteral("1"), QStringLiteral("x")}};
    const QList<ParamRow> noParams;
    const QList<BookEntry> noEntries;
    const QString x = QStringLiteral("x");
    const TemplateSubject passes[] = {
        {QStringLiteral("000000000000"), x, x, x, x, x, x, &full, &codes, &oneEntry},
        {QStringLiteral("000000000000"), x, x, x, x, x, x, &noParams, &codes, &noEntries}};
    QStringList seen;
    for (const TemplateSubject& s : passes) {
        RenderContext context(*d, s);
        Output out;
        try {
            d->mustache->render(context, out);
        } catch (const Abort&) {
        }
        for (const std::string& partial : context.partials) {
            const QString name = fromStd(partial);
            if (!seen.contains(u'>' + name)) {
                seen.append(u'>' + name);
                problems.append({TemplateProblem::In::Template, d->placeOfName(name, ">"),
                                 QStringLiteral("partials are off: {{>%1}} cannot be used").arg(name)});
            }
        }
        for (const std::string& unknown : context.unknown) {
            const QString name = fromStd(unknown);
            if (seen.contains(name))
                continue;
            seen.append(name);
            problems.append({TemplateProblem::In::Template, d->placeOfName(name, "#^/&"),
                             name.startsWith(QLatin1String("param."))
                                 ? QStringLiteral("parameter %1 is not in the model's catalogue").arg(name.mid(6))
                                 : QStringLiteral("\"%1\" names nothing a template can use").arg(name)});
        }
    }
    std::sort(problems.begin(), problems.end(), [](const TemplateProblem& a, const TemplateProblem& b) {
        return std::pair(a.at.line, a.at.column) < std::pair(b.at.line, b.at.column);
    });
    return problems;
}

std::optional<TemplateProblem> xmlProblem(const QString& text)
{
    QXmlStreamReader reader(text);
    while (!reader.atEnd())
        reader.readNext();
    if (!reader.hasError())
        return std::nullopt;
    return TemplateProblem{
        TemplateProblem::In::File, {int(reader.lineNumber()), int(reader.columnNumber()) + 1}, reader.errorString()};
}

TemplateWriter::TemplateWriter(Database& db, const std::optional<ModelTemplate>& stored, const QString& model,
                               QSet<QString> catalogue)
    : m_db(db), m_model(model), m_catalogue(std::move(catalogue))
{
    const Recordset name = db.executeBound(QStringLiteral("SELECT EQ_DESC FROM EQUIPMENT WHERE EQ_CODE = ?"), {model});
    m_modelName = name.isEmpty() ? QString() : name.text(0);
    if (!stored) {
        m_problem = QStringLiteral("the model %1 has no configuration template (vocaset-cli template set)").arg(model);
        return;
    }
    m_compiled = std::make_unique<CompiledTemplate>(*stored);
    if (const auto& syntax = m_compiled->syntaxError()) {
        m_problem = QStringLiteral("the template of %1 does not parse (%2)").arg(model, syntax->located());
        return;
    }
    QString why;
    m_pattern = FileNamePattern::parse(stored->fileName, true, &why);
    if (!m_pattern)
        m_problem = QStringLiteral("the file name \"%1\" of %2's template: %3").arg(stored->fileName, model, why);
}

TemplateWriter::~TemplateWriter() = default;

TemplateSubject TemplateWriter::subject(const PhoneInfo& phone, const QList<ParamRow>& rows) const
{
    auto company = m_companies.constFind(phone.company);
    if (company == m_companies.constEnd()) {
        const Recordset rs =
            m_db.executeBound(QStringLiteral("SELECT CO_DESC FROM COMPANY WHERE CO_CODE = ?"), {phone.company});
        company = m_companies.insert(phone.company, rs.isEmpty() ? QString() : rs.text(0));
    }
    return {phone.mac,   phone.code, phone.description, phone.company, *company, phone.model,
            m_modelName, &rows,      &m_catalogue};
}

FileNames TemplateWriter::names(const PhoneInfo& phone, const LevelChoice& levels) const
{
    if (!m_pattern)
        return {};
    if (levels.phone)
        return {m_pattern->nameFor(phone.mac), phone.code + QStringLiteral(" - ") + phone.mac + QStringLiteral(".TXT")};
    if (levels.equipment)
        return {m_pattern->groupName(phone.company + phone.model),
                phone.company + QStringLiteral(" - ") + phone.model + QStringLiteral(".txt")};
    return {m_pattern->groupName(phone.model), phone.model + QStringLiteral(".txt")};
}

std::optional<QByteArray> TemplateWriter::config(const PhoneInfo& phone, const QList<ParamRow>& rows, Cp1252Sink& sink,
                                                 QString* refusal) const
{
    if (!m_compiled) {
        if (refusal)
            *refusal = m_problem;
        return std::nullopt;
    }
    RenderedFile r = m_compiled->render(subject(phone, rows), false);
    for (const QString& owner : std::as_const(r.lossy))
        sink.markLossy(owner);
    if (!r.bytes && refusal)
        *refusal = r.refusal;
    return std::move(r.bytes);
}

QByteArray TemplateWriter::source(const QList<ParamRow>& rows, Cp1252Sink& sink) const
{
    QByteArray out;
    out.reserve(textSize(rows, true) + 8 * rows.size());
    for (const ParamRow& r : rows) {
        out += "# ";
        sink.append(out, r.desc, r.code);
        out += kLineEnd;
        sink.append(out, r.code, r.code);
        out += " = ";
        sink.append(out, r.value, r.code);
        out += kLineEnd;
    }
    return out;
}

bool TemplateWriter::windows1252() const
{
    return !m_compiled || m_compiled->stored().encoding != u"UTF-8";
}

} // namespace vocaset
