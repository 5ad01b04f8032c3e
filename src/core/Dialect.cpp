#include "Dialect.h"

#include <algorithm>

#include <sqlite3.h>

#include <QCryptographicHash>
#include <QRegularExpression>

#include "DbError.h"
#include "Sql.h"

namespace vocaset::Dialect {
namespace {

struct Token
{
    enum Kind { Space, Literal, Word, Plus, Other } kind;
    QString text;
};

// Splits a statement into blanks, quoted literals (with doubled quotes inside), words and single
// punctuation characters; enough structure to find operands without parsing SQL.
QList<Token> tokenize(const QString& sql)
{
    QList<Token> out;
    qsizetype i = 0;
    const qsizetype n = sql.size();
    while (i < n) {
        const QChar c = sql[i];
        qsizetype j = i + 1;
        Token::Kind kind = Token::Other;
        if (c.isSpace()) {
            while (j < n && sql[j].isSpace())
                ++j;
            kind = Token::Space;
        } else if (c == u'\'' || c == u'"') {
            kind = c == u'\'' ? Token::Literal : Token::Word;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
        } else if (c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'.') {
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == u'_' || sql[j] == u'$' || sql[j] == u'.'))
                ++j;
            kind = Token::Word;
        } else if (c == u'+') {
            kind = Token::Plus;
        }
        out.append({kind, sql.mid(i, j - i)});
        i = j;
    }
    return out;
}

QString join(const QList<Token>& tokens)
{
    QString s;
    for (const Token& t : tokens)
        s += t.text;
    return s;
}

// Positions of the commas in [from, to) that stand outside literals and parentheses.
QList<qsizetype> topLevelCommas(const QString& s, qsizetype from, qsizetype to)
{
    QList<qsizetype> commas;
    int depth = 0;
    bool inText = false;
    for (qsizetype i = from; i < to; ++i) {
        const QChar c = s[i];
        if (c == u'\'')
            inText = !inText;
        else if (!inText && c == u'(')
            ++depth;
        else if (!inText && c == u')')
            --depth;
        else if (!inText && depth == 0 && c == u',')
            commas.append(i);
    }
    return commas;
}

} // namespace

QString concatenation(const QString& sql)
{
    if (!sql.contains(u'+'))
        return sql;
    QList<Token> tokens = tokenize(sql);
    // Operand tokens (no blanks) with the plus signs between them; a chain a + b + c is text
    // concatenation when any of its operands is a text literal. An operand is a literal, a word,
    // a function call such as SUBSTRING(...) or CAST(...), or a parenthesised expression.
    QList<int> solid;
    for (int i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != Token::Space)
            solid.append(i);
    }
    QList<int> closing(solid.size(), -1); // for an opening parenthesis, its partner
    QList<int> stack;
    for (int k = 0; k < solid.size(); ++k) {
        const QString& text = tokens[solid[k]].text;
        if (tokens[solid[k]].kind != Token::Other)
            continue;
        if (text == u"(")
            stack.append(k);
        else if (text == u")" && !stack.isEmpty())
            closing[stack.takeLast()] = k;
    }
    // The last solid index of the operand that starts at k, or -1.
    const auto operandEnd = [&](int k) {
        if (k >= solid.size())
            return -1;
        const Token& t = tokens[solid[k]];
        if (t.kind == Token::Literal)
            return k;
        if (t.kind == Token::Word)
            return k + 1 < solid.size() && closing[k + 1] >= 0 ? closing[k + 1] : k;
        return closing[k];
    };
    // Every position is a possible start, so chains inside parentheses are found too; a chain that
    // starts later is a tail of one already seen and changes nothing more.
    for (int k = 0; k < solid.size(); ++k) {
        int end = operandEnd(k);
        if (end < 0)
            continue;
        bool hasLiteral = tokens[solid[k]].kind == Token::Literal;
        QList<int> pluses;
        while (end + 2 < solid.size() && tokens[solid[end + 1]].kind == Token::Plus) {
            const int next = operandEnd(end + 2);
            if (next < 0)
                break;
            pluses.append(solid[end + 1]);
            hasLiteral = hasLiteral || tokens[solid[end + 2]].kind == Token::Literal;
            end = next;
        }
        if (hasLiteral) {
            for (int p : pluses)
                tokens[p].text = QStringLiteral("||");
        }
    }
    return join(tokens);
}

QString digitAliases(const QString& sql)
{
    static const QRegularExpression alias(QStringLiteral("^[0-9]+[A-Za-z_][A-Za-z0-9_]*$"));
    static const QRegularExpression exponent(QStringLiteral("^[0-9]+[eE][0-9]+$"));
    QList<Token> tokens = tokenize(sql);
    bool changed = false;
    for (Token& t : tokens) {
        if (t.kind == Token::Word && !t.text.startsWith(u'"') && alias.match(t.text).hasMatch() &&
            !exponent.match(t.text).hasMatch()) {
            t.text = u'"' + t.text + u'"';
            changed = true;
        }
    }
    return changed ? join(tokens) : sql;
}

QStringList splitMultiColumnAdd(const QString& sql)
{
    static const QRegularExpression head(QStringLiteral("^\\s*ALTER\\s+TABLE\\s+(\\S+)\\s+ADD\\s+(?!CONSTRAINT\\b)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = head.match(sql);
    if (!m.hasMatch())
        return {sql};
    const QString rest = sql.mid(m.capturedEnd());
    QList<qsizetype> commas = topLevelCommas(rest, 0, rest.size());
    if (commas.isEmpty())
        return {sql};
    commas.prepend(-1);
    commas.append(rest.size());
    QStringList out;
    for (int k = 0; k + 1 < commas.size(); ++k)
        out.append(QStringLiteral("ALTER TABLE ") + m.captured(1) + QStringLiteral(" ADD ") +
                   rest.mid(commas[k] + 1, commas[k + 1] - commas[k] - 1).trimmed());
    return out;
}

QString postgresTypes(const QString& sql)
{
    if (!sql.contains(QLatin1String("nvarchar"), Qt::CaseInsensitive))
        return sql;
    // A column gets byte order with its type. A cast cannot carry a collation inside its
    // parentheses, so there the collation follows the closing parenthesis instead. Literals are
    // left alone: a value may well contain the word.
    const QString collate = QStringLiteral(" COLLATE \"C\"");
    QList<Token> tokens = tokenize(sql);
    QList<int> opens;        // indexes of the open parentheses around the current token
    QList<bool> castOpens;   // whether each of them opens a CAST
    QList<bool> needCollate; // whether its closing parenthesis must be followed by the collation
    const auto nextSolid = [&](int i) {
        for (++i; i < tokens.size() && tokens[i].kind == Token::Space; ++i) {
        }
        return i;
    };
    int previousSolid = -1;
    for (int i = 0; i < tokens.size(); ++i) {
        Token& t = tokens[i];
        if (t.kind == Token::Space)
            continue;
        if (t.kind == Token::Other && t.text == u"(") {
            opens.append(i);
            castOpens.append(previousSolid >= 0 && tokens[previousSolid].kind == Token::Word &&
                             tokens[previousSolid].text.compare(QLatin1String("CAST"), Qt::CaseInsensitive) == 0);
            needCollate.append(false);
        } else if (t.kind == Token::Other && t.text == u")" && !opens.isEmpty()) {
            opens.removeLast();
            castOpens.removeLast();
            if (needCollate.takeLast())
                t.text += collate;
        } else if (t.kind == Token::Word && t.text.compare(QLatin1String("nvarchar"), Qt::CaseInsensitive) == 0) {
            // nvarchar ( digits )
            const int open = nextSolid(i);
            const int digits = nextSolid(open);
            const int close = nextSolid(digits);
            static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
            if (close < tokens.size() && tokens[open].text == u"(" && number.match(tokens[digits].text).hasMatch() &&
                tokens[close].text == u")") {
                t.text = QStringLiteral("varchar");
                if (!castOpens.isEmpty() && castOpens.last())
                    needCollate.last() = true;
                else
                    tokens[close].text += collate;
                previousSolid = close;
                i = close;
                continue;
            }
        }
        previousSolid = i;
    }
    return join(tokens);
}

QString postgresLike(const QString& sql)
{
    if (!sql.contains(u'\\') || !sql.contains(QLatin1String("LIKE"), Qt::CaseInsensitive))
        return sql;
    // The server reads a backslash in a LIKE pattern as an escape; the embedded engine, like the
    // statements' own dialect, as a plain character (a folder name in a filter, for instance).
    QList<Token> tokens = tokenize(sql);
    const auto nextSolid = [&](int i) {
        for (++i; i < tokens.size() && tokens[i].kind == Token::Space; ++i) {
        }
        return i;
    };
    for (int i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != Token::Word || tokens[i].text.compare(QLatin1String("LIKE"), Qt::CaseInsensitive) != 0)
            continue;
        const int pattern = nextSolid(i);
        if (pattern >= tokens.size() || tokens[pattern].kind != Token::Literal || !tokens[pattern].text.contains(u'\\'))
            continue;
        const int after = nextSolid(pattern);
        if (after < tokens.size() && tokens[after].text.compare(QLatin1String("ESCAPE"), Qt::CaseInsensitive) == 0)
            continue;
        tokens[pattern].text += QStringLiteral(" ESCAPE ''");
    }
    return join(tokens);
}

namespace {

// Position of the closing parenthesis that matches the one at open, skipping literals.
qsizetype matchingParen(const QString& s, qsizetype open)
{
    int depth = 0;
    bool inText = false;
    for (qsizetype i = open; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\'')
            inText = !inText;
        else if (!inText && c == u'(')
            ++depth;
        else if (!inText && c == u')' && --depth == 0)
            return i;
    }
    return -1;
}

// Removes ", CONSTRAINT name ..." from a CREATE TABLE text, up to the next top-level comma or the
// closing parenthesis of the column list.
QString withoutConstraint(const QString& create, const QString& name)
{
    const qsizetype open = create.indexOf(u'(');
    const qsizetype close = matchingParen(create, open);
    if (open < 0 || close < 0)
        throw DbError(QStringLiteral("cannot read the definition of the table"));
    QList<qsizetype> commas = topLevelCommas(create, open + 1, close);
    commas.append(close);
    static const QRegularExpression head(QStringLiteral("^\\s*CONSTRAINT\\s+(\\S+)"), QRegularExpression::CaseInsensitiveOption);
    for (int k = 0; k + 1 < commas.size(); ++k) {
        const QString item = create.mid(commas[k] + 1, commas[k + 1] - commas[k] - 1);
        const auto m = head.match(item);
        if (m.hasMatch() && m.captured(1).compare(name, Qt::CaseInsensitive) == 0)
            return create.left(commas[k]) + create.mid(commas[k + 1]);
    }
    throw DbError(QStringLiteral("no such constraint: ") + name);
}

} // namespace

QStringList sqliteConstraintRebuild(const QString& sql, const TableSqlReader& tableSql, const IndexSqlReader& indexSql)
{
    static const QRegularExpression drop(
        QStringLiteral("^\\s*ALTER\\s+TABLE\\s+(\\w+)\\s+DROP\\s+CONSTRAINT\\s+(\\w+)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression add(
        QStringLiteral("^\\s*ALTER\\s+TABLE\\s+(\\w+)\\s+ADD\\s+(CONSTRAINT\\s+(\\w+)\\s.*?)\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    QString table;
    QString create;
    if (const auto m = drop.match(sql); m.hasMatch()) {
        table = m.captured(1);
        create = withoutConstraint(tableSql(table), m.captured(2));
    } else if (const auto a = add.match(sql); a.hasMatch()) {
        table = a.captured(1);
        const QString current = tableSql(table);
        const qsizetype close = matchingParen(current, current.indexOf(u'('));
        if (close < 0)
            throw DbError(QStringLiteral("cannot read the definition of table ") + table);
        if (current.contains(QStringLiteral("CONSTRAINT ") + a.captured(3) + u' ', Qt::CaseInsensitive))
            throw DbError(QStringLiteral("constraint ") + a.captured(3) + QStringLiteral(" already exists"));
        create = current.left(close) + QStringLiteral(", ") + a.captured(2) + current.mid(close);
    } else {
        return {sql};
    }
    if (create.isEmpty())
        throw DbError(QStringLiteral("no such table: ") + table);
    static const QRegularExpression name(QStringLiteral("^(\\s*CREATE\\s+TABLE\\s+)(\"?\\w+\"?)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString scratch = table + QStringLiteral("__REBUILD");
    QString createScratch = create;
    createScratch.replace(name, QStringLiteral("\\1") + scratch);
    // Children only reference parents, so the table can be copied, dropped and renamed while the
    // foreign keys stay enforced; no other table names these value tables.
    QStringList statements = {createScratch,
                              QStringLiteral("INSERT INTO ") + scratch + QStringLiteral(" SELECT * FROM ") + table,
                              QStringLiteral("DROP TABLE ") + table,
                              QStringLiteral("ALTER TABLE ") + scratch + QStringLiteral(" RENAME TO ") + table};
    if (indexSql)
        statements += indexSql(table);
    return statements;
}

QString asNumber(const QString& expr, Engine engine)
{
    if (engine != Engine::PostgreSQL)
        return expr;
    return QStringLiteral("CAST(") + expr + QStringLiteral(" AS double precision)");
}

QString asText(const QString& expr, Engine engine)
{
    if (engine != Engine::PostgreSQL)
        return expr;
    return QStringLiteral("CAST(") + expr + QStringLiteral(" AS varchar)");
}

QString dayText(const QString& expr, Engine engine)
{
    if (engine == Engine::PostgreSQL)
        return QStringLiteral("to_char(") + expr + QStringLiteral(", 'YYYY/MM/DD')");
    return QStringLiteral("strftime('%Y/%m/%d', ") + expr + u')';
}

QString nullsFirst(Engine engine)
{
    return engine == Engine::PostgreSQL ? QStringLiteral(" NULLS FIRST") : QString();
}

namespace {

// The names the functions of addSqliteFunctions() go by in statements.
constexpr char kRecordKey[] = "VOCASET_RECORD_KEY";
constexpr char kNamedValues[] = "VOCASET_NAMED_VALUES";
constexpr char kMd5[] = "VOCASET_MD5";

bool marked(char c)
{
    return c == '/' || c == '\\';
}

// A value's text and its size in bytes, a null as empty; false when the engine ran out of memory
// making the text.
bool textOf(sqlite3_value* value, const char*& text, int& size)
{
    text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    size = text ? sqlite3_value_bytes(value) : 0;
    if (!text)
        text = "";
    return size > 0 || sqlite3_value_type(value) == SQLITE_NULL || sqlite3_value_bytes(value) == 0;
}

// Each argument's text with every '\' and '/' preceded by '\', joined by '/': a record's key in one
// text, built in one copy.
void recordKeyFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    const char* text = nullptr;
    int size = 0;
    sqlite3_int64 total = std::max(0, argc - 1);
    for (int i = 0; i < argc; ++i) {
        if (!textOf(argv[i], text, size)) {
            sqlite3_result_error_nomem(context);
            return;
        }
        total += size + std::count_if(text, text + size, marked);
    }
    char* out = static_cast<char*>(sqlite3_malloc64(std::max<sqlite3_int64>(total, 1)));
    if (!out) {
        sqlite3_result_error_nomem(context);
        return;
    }
    char* end = out;
    for (int i = 0; i < argc; ++i) {
        if (i > 0)
            *end++ = '/';
        textOf(argv[i], text, size);
        for (const char* c = text; c < text + size; ++c) {
            if (marked(*c))
                *end++ = '\\';
            *end++ = *c;
        }
    }
    sqlite3_result_text64(context, out, sqlite3_uint64(end - out), sqlite3_free, SQLITE_UTF8);
}

// Its arguments are pairs of a name and a value.
void namedValuesFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (argc % 2 != 0) {
        sqlite3_result_error(context, "VOCASET_NAMED_VALUES takes pairs of a name and a value", -1);
        return;
    }
    const char* text = nullptr;
    int size = 0;
    // At most "=" in each pair and "; " between them, then the texts.
    sqlite3_int64 total = argc / 2 + std::max(0, argc - 2);
    for (int i = 0; i < argc; ++i) {
        if (!textOf(argv[i], text, size)) {
            sqlite3_result_error_nomem(context);
            return;
        }
        total += size;
    }
    char* out = static_cast<char*>(sqlite3_malloc64(std::max<sqlite3_int64>(total, 1)));
    if (!out) {
        sqlite3_result_error_nomem(context);
        return;
    }
    char* end = out;
    for (int i = 0; i < argc; i += 2) {
        const char* value = nullptr;
        int valueSize = 0;
        textOf(argv[i + 1], value, valueSize);
        if (valueSize == 0)
            continue;
        if (end != out)
            end = std::copy_n("; ", 2, end);
        textOf(argv[i], text, size);
        end = std::copy_n(text, size, end);
        *end++ = '=';
        end = std::copy_n(value, valueSize, end);
    }
    sqlite3_result_text64(context, out, sqlite3_uint64(end - out), sqlite3_free, SQLITE_UTF8);
}

void md5Function(sqlite3_context* context, int, sqlite3_value** argv)
{
    const char* text = nullptr;
    int size = 0;
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    if (!textOf(argv[0], text, size)) {
        sqlite3_result_error_nomem(context);
        return;
    }
    const QByteArray hex = QCryptographicHash::hash(QByteArrayView(text, size), QCryptographicHash::Md5).toHex();
    sqlite3_result_text(context, hex.constData(), int(hex.size()), SQLITE_TRANSIENT);
}

} // namespace

QString md5Text(const QString& expr, Engine engine)
{
    return (engine == Engine::SQLite ? QLatin1String(kMd5) : QLatin1String("md5")) + u'(' + expr + u')';
}

bool checksDigestInStatement(Engine engine)
{
    return engine == Engine::PostgreSQL;
}

QString recordKey(const QStringList& exprs, Engine engine)
{
    if (engine == Engine::SQLite)
        return QLatin1String(kRecordKey) + u'(' + exprs.join(QStringLiteral(", ")) + u')';
    QStringList parts;
    for (const QString& expr : exprs)
        parts.append(QStringLiteral("REPLACE(REPLACE(COALESCE(") + asText(expr, engine) +
                     QStringLiteral(", ''), '\\', '\\\\'), '/', '\\/')"));
    return parts.join(QStringLiteral(" || '/' || "));
}

QString namedValues(const QStringList& names, const QStringList& exprs, Engine engine)
{
    QStringList parts;
    if (engine == Engine::SQLite) {
        for (qsizetype i = 0; i < names.size(); ++i)
            parts << u'\'' + sqlText(names[i]) + u'\'' << exprs.value(i);
        return QLatin1String(kNamedValues) + u'(' + parts.join(QStringLiteral(", ")) + u')';
    }
    // concat_ws() leaves out the nulls: a pair whose value is empty or null is one.
    for (qsizetype i = 0; i < names.size(); ++i)
        parts.append(u'\'' + sqlText(names[i]) + QStringLiteral("=' || NULLIF(") + asText(exprs.value(i), engine) +
                     QStringLiteral(", '')"));
    return QStringLiteral("concat_ws('; ', ") + parts.join(QStringLiteral(", ")) + u')';
}

bool addSqliteFunctions(sqlite3* db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    return sqlite3_create_function_v2(db, kRecordKey, -1, flags, nullptr, recordKeyFunction, nullptr, nullptr,
                                      nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, kNamedValues, -1, flags, nullptr, namedValuesFunction, nullptr, nullptr,
                                      nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, kMd5, 1, flags, nullptr, md5Function, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString refreshStatistics(const QString& table, Engine engine)
{
    return engine == Engine::PostgreSQL ? QStringLiteral("ANALYZE ") + table : QString();
}

QString countedRows(const QString& table, Engine engine)
{
    return engine == Engine::PostgreSQL ? QStringLiteral("SELECT reltuples FROM pg_class WHERE oid = to_regclass('") +
                                              sqlText(table) + QStringLiteral("')")
                                        : QString();
}

QString bulkWriteSetting(Engine engine)
{
    return engine == Engine::PostgreSQL ? QStringLiteral("SET LOCAL plan_cache_mode = force_generic_plan") : QString();
}

QString forUpdate(Engine engine)
{
    return engine == Engine::PostgreSQL ? QStringLiteral(" FOR UPDATE") : QString();
}

QString writerLock(Engine engine)
{
    // Keys of two halves: the first, "VoCa" in ASCII, keeps these apart from any other advisory lock.
    return engine == Engine::PostgreSQL ? QStringLiteral("SELECT pg_advisory_xact_lock(1450132321, hashtext(?))")
                                        : QString();
}

QString snapshotBegin(Engine engine)
{
    return engine == Engine::PostgreSQL ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")
                                        : QStringLiteral("BEGIN");
}

QString indexLookup(const QString& name, Engine engine)
{
    if (engine == Engine::PostgreSQL)
        return QStringLiteral("SELECT 1 FROM pg_class WHERE relkind = 'i' AND oid = to_regclass('") + sqlText(name) +
               QStringLiteral("')");
    return QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = '") + sqlText(name) +
           QStringLiteral("' COLLATE NOCASE");
}

QString changeCount(Engine engine)
{
    // By its key: the index leads to the live version of the row, where an aggregate would read
    // every version its updates left on the page.
    if (engine == Engine::PostgreSQL)
        return QStringLiteral("(SELECT CH_COUNT FROM VOCASET_CHANGES WHERE CH_KEY = 1)");
    return QStringLiteral("(SELECT data_version FROM pragma_data_version())");
}

Conflict conflictOf(const QString& code, const QString& text, Engine engine)
{
    if (engine == Engine::PostgreSQL) {
        // unique_violation, foreign_key_violation; the texts where a code did not come through.
        if (code == u"23505" || text.contains(QLatin1String("duplicate key value violates unique constraint")))
            return Conflict::KeyTaken;
        if (code == u"23503" || text.contains(QLatin1String("violates foreign key constraint")))
            return Conflict::Reference;
        return Conflict::None;
    }
    // The extended result code where the statement went through the library, the driver's primary
    // SQLITE_CONSTRAINT with the engine's text otherwise.
    bool ok = false;
    const int rc = code.toInt(&ok);
    if (ok && (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY))
        return Conflict::KeyTaken;
    if (ok && rc == SQLITE_CONSTRAINT_FOREIGNKEY)
        return Conflict::Reference;
    if (ok && (rc & 0xff) != SQLITE_CONSTRAINT)
        return Conflict::None;
    if (text.contains(QLatin1String("UNIQUE constraint failed")))
        return Conflict::KeyTaken;
    if (text.contains(QLatin1String("FOREIGN KEY constraint failed")))
        return Conflict::Reference;
    return Conflict::None;
}

int defaultServerWorkers(Engine engine, int cores)
{
    return engine == Engine::PostgreSQL ? qMax(8, 4 * cores) : qMax(2, cores);
}

QStringList changeCounting(const QStringList& tables, Engine engine)
{
    if (engine != Engine::PostgreSQL)
        return {};
    // One row raised once per changing statement, after it. The function runs with its owner's
    // rights, so an operator who may change the tables need not be allowed to write the count.
    QStringList statements = {
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS VOCASET_CHANGES (CH_KEY integer PRIMARY KEY, CH_COUNT bigint NOT NULL)"),
        QStringLiteral("INSERT INTO VOCASET_CHANGES (CH_KEY, CH_COUNT) VALUES (1, 0) ON CONFLICT DO NOTHING"),
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION VOCASET_COUNT_CHANGE() RETURNS trigger LANGUAGE plpgsql "
            "SECURITY DEFINER SET search_path FROM CURRENT AS "
            "'BEGIN UPDATE VOCASET_CHANGES SET CH_COUNT = CH_COUNT + 1 WHERE CH_KEY = 1; RETURN NULL; END'")};
    for (const QString& table : tables)
        statements.append(QStringLiteral("CREATE OR REPLACE TRIGGER VOCASET_CHANGES_") + table +
                          QStringLiteral(" AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON ") + table +
                          QStringLiteral(" FOR EACH STATEMENT EXECUTE FUNCTION VOCASET_COUNT_CHANGE()"));
    return statements;
}

QString changeCountingInPlace(const QStringList& tables, Engine engine)
{
    if (engine != Engine::PostgreSQL)
        return {};
    QStringList checks = {QStringLiteral("to_regclass('VOCASET_CHANGES') IS NOT NULL"),
                          QStringLiteral("to_regprocedure('VOCASET_COUNT_CHANGE()') IS NOT NULL")};
    for (const QString& table : tables)
        checks.append(QStringLiteral("EXISTS (SELECT 1 FROM pg_trigger WHERE tgrelid = to_regclass('") +
                      sqlText(table) + QStringLiteral("') AND tgname = '") +
                      sqlText(QStringLiteral("vocaset_changes_") + table.toLower()) + QStringLiteral("')"));
    return QStringLiteral("SELECT ") + checks.join(QStringLiteral(" AND "));
}

QString mayWrite(const QString& table, Engine engine)
{
    if (engine != Engine::PostgreSQL)
        return {};
    const QString name = sqlText(table);
    return QStringLiteral("SELECT has_table_privilege('") + name + QStringLiteral("', 'INSERT') AND has_table_privilege('") +
           name + QStringLiteral("', 'UPDATE')");
}

QString numberedParameters(const QString& sql)
{
    QList<Token> tokens = tokenize(sql);
    int n = 0;
    for (Token& t : tokens) {
        if (t.kind == Token::Other && t.text == QLatin1String("?"))
            t.text = u'$' + QString::number(++n);
    }
    return join(tokens);
}

QStringList translate(const QString& sql, Engine engine, const TableSqlReader& tableSql, const IndexSqlReader& indexSql)
{
    static const QRegularExpression constraintDdl(QStringLiteral("^\\s*ALTER\\s+TABLE\\s+\\w+\\s+(DROP|ADD)\\s+CONSTRAINT\\b"),
                                                  QRegularExpression::CaseInsensitiveOption);
    if (engine == Engine::SQLite && constraintDdl.match(sql).hasMatch())
        return sqliteConstraintRebuild(sql, tableSql, indexSql);
    QString text = digitAliases(concatenation(sql));
    if (engine == Engine::PostgreSQL)
        text = postgresLike(postgresTypes(text));
    return splitMultiColumnAdd(text);
}

} // namespace vocaset::Dialect
