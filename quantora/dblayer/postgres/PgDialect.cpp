// A small PostgreSQL lexer (literals, quoted names, dollar quotes, nested comments) and the text
// conversions of the PostgreSQL engine.
#include "quantora/dblayer/postgres/PgDialect.h"

#include <cctype>

#include "quantora/base/DateTime.h"
#include "quantora/dblayer/SqlText.h"

namespace quantora::db::pg {
namespace {

bool IsWordStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordChar(char c) {
    return IsWordStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$';
}

struct Token {
    enum Kind { Word, Quoted, Literal, Param, Punct, End } kind = End;
    std::string_view text;
    size_t pos = 0;
    int depth = 0;  // parenthesis depth before the token
};

// Splits SQL text into tokens; comments and white space are skipped.
class Lexer {
  public:
    explicit Lexer(std::string_view s) : s_(s) {}

    Token Next() {
        SkipSpace();
        Token t;
        t.pos = i_;
        t.depth = depth_;
        if (i_ >= s_.size()) return t;
        char c = s_[i_];
        size_t start = i_;
        if (c == '\'') {
            SkipQuoted('\'', false);
            t.kind = Token::Literal;
        } else if ((c == 'E' || c == 'e') && i_ + 1 < s_.size() && s_[i_ + 1] == '\'') {
            ++i_;
            SkipQuoted('\'', true);
            t.kind = Token::Literal;
        } else if (c == '"') {
            SkipQuoted('"', false);
            t.kind = Token::Quoted;
        } else if (c == '$' && i_ + 1 < s_.size() &&
                   std::isdigit(static_cast<unsigned char>(s_[i_ + 1]))) {
            ++i_;
            while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
            t.kind = Token::Param;
        } else if (c == '$' && SkipDollarQuote()) {
            t.kind = Token::Literal;
        } else if (IsWordStart(c) || std::isdigit(static_cast<unsigned char>(c))) {
            while (i_ < s_.size() && IsWordChar(s_[i_])) ++i_;
            t.kind = Token::Word;
        } else {
            ++i_;
            if (c == '(') ++depth_;
            if (c == ')' && depth_ > 0) --depth_;
            t.kind = Token::Punct;
        }
        t.text = s_.substr(start, i_ - start);
        return t;
    }

  private:
    void SkipSpace() {
        while (i_ < s_.size()) {
            char c = s_[i_];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i_;
            } else if (c == '-' && i_ + 1 < s_.size() && s_[i_ + 1] == '-') {
                size_t nl = s_.find('\n', i_);
                i_ = nl == std::string_view::npos ? s_.size() : nl + 1;
            } else if (c == '/' && i_ + 1 < s_.size() && s_[i_ + 1] == '*') {
                int nest = 0;
                while (i_ < s_.size()) {
                    if (s_.compare(i_, 2, "/*") == 0) {
                        ++nest;
                        i_ += 2;
                    } else if (s_.compare(i_, 2, "*/") == 0) {
                        i_ += 2;
                        if (--nest == 0) break;
                    } else {
                        ++i_;
                    }
                }
            } else {
                break;
            }
        }
    }

    void SkipQuoted(char q, bool backslash) {
        ++i_;
        while (i_ < s_.size()) {
            char c = s_[i_];
            if (backslash && c == '\\') {
                i_ += 2;
            } else if (c == q) {
                if (i_ + 1 < s_.size() && s_[i_ + 1] == q) {
                    i_ += 2;
                } else {
                    ++i_;
                    return;
                }
            } else {
                ++i_;
            }
        }
        i_ = s_.size();
    }

    // $tag$ ... $tag$; false (nothing consumed) when no dollar quote starts here.
    bool SkipDollarQuote() {
        size_t j = i_ + 1;
        while (j < s_.size() && s_[j] != '$') {
            if (!(IsWordChar(s_[j]) && s_[j] != '$') ||
                (j == i_ + 1 && std::isdigit(static_cast<unsigned char>(s_[j]))))
                return false;
            ++j;
        }
        if (j >= s_.size()) return false;
        std::string_view tag = s_.substr(i_, j - i_ + 1);
        size_t close = s_.find(tag, j + 1);
        i_ = close == std::string_view::npos ? s_.size() : close + tag.size();
        return true;
    }

    std::string_view s_;
    size_t i_ = 0;
    int depth_ = 0;
};

bool Is(const Token& t, std::string_view word) {
    return t.kind == Token::Word && SameName(t.text, word);
}

// The first word of the statement, past any opening parentheses.
Token FirstWord(Lexer& lx) {
    Token t = lx.Next();
    while (t.kind == Token::Punct && t.text == "(") t = lx.Next();
    return t;
}

// Savepoint name in the server's terms; false for anything that is not an identifier.
bool SavepointName(const Token& t, AnsiString& out) {
    if (t.kind == Token::Quoted) {
        if (t.text.size() < 3) return false;
        out.clear();
        std::string_view body = t.text.substr(1, t.text.size() - 2);
        for (size_t i = 0; i < body.size(); ++i) {
            out += body[i];
            if (body[i] == '"') ++i;  // doubled quote
        }
        return true;
    }
    if (t.kind != Token::Word || !IsWordStart(t.text[0])) return false;
    out.assign(t.text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return true;
}

// True when only an optional semicolon is left.
bool AtEnd(Lexer& lx) {
    Token t = lx.Next();
    if (t.kind == Token::Punct && t.text == ";") t = lx.Next();
    return t.kind == Token::End;
}

const signed char* HexTable() {
    static signed char table[256];
    static bool init = [] {
        for (int i = 0; i < 256; ++i) table[i] = -1;
        for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<signed char>(i);
        for (int i = 0; i < 6; ++i) {
            table['a' + i] = static_cast<signed char>(10 + i);
            table['A' + i] = static_cast<signed char>(10 + i);
        }
        return true;
    }();
    (void)init;
    return table;
}

}  // namespace

StatementKind ClassifyStatement(std::string_view sql) {
    Lexer lx(sql);
    Token first = FirstWord(lx);
    if (first.kind != Token::Word) return StatementKind::Direct;
    for (const char* w :
         {"begin", "start", "commit", "end", "rollback", "abort", "savepoint", "release"}) {
        if (Is(first, w)) {
            ControlStatement c;
            return ParseControl(sql, c) ? StatementKind::Control : StatementKind::Direct;
        }
    }
    bool with = Is(first, "with");
    if (!with && !Is(first, "select") && !Is(first, "values") && !Is(first, "table"))
        return StatementKind::Direct;
    // A cursor takes neither SELECT ... INTO nor data-modifying statements in WITH.
    for (Token t = lx.Next(); t.kind != Token::End; t = lx.Next()) {
        if (!with && t.depth == 0 && Is(t, "into")) return StatementKind::Direct;
        if (with && (Is(t, "insert") || Is(t, "update") || Is(t, "delete") || Is(t, "merge")))
            return StatementKind::Direct;
    }
    return StatementKind::Rows;
}

bool ParseControl(std::string_view sql, ControlStatement& out) {
    using Op = ControlStatement::Op;
    Lexer lx(sql);
    Token t = lx.Next();
    auto optional_work = [&lx](Token& next) {
        next = lx.Next();
        if (Is(next, "work") || Is(next, "transaction")) next = lx.Next();
    };
    out = ControlStatement{};
    if (Is(t, "begin")) {
        out.op = Op::Begin;
        Token n = lx.Next();
        // SQLite's lock modes mean nothing here.
        if (Is(n, "deferred") || Is(n, "immediate") || Is(n, "exclusive")) {
            Token m = lx.Next();
            if (Is(m, "transaction")) m = lx.Next();
            if (m.kind == Token::Punct && m.text == ";") m = lx.Next();
            if (m.kind != Token::End) return false;
            out.begin_sql = "BEGIN";
        } else {
            out.begin_sql.assign(sql);
        }
        return true;
    }
    if (Is(t, "start")) {
        if (!Is(lx.Next(), "transaction")) return false;
        out.op = Op::Begin;
        out.begin_sql.assign(sql);
        return true;
    }
    if (Is(t, "commit") || Is(t, "end")) {
        out.op = Op::Commit;
        Token n;
        optional_work(n);
        return n.kind == Token::End || (n.kind == Token::Punct && n.text == ";" && AtEnd(lx));
    }
    if (Is(t, "rollback") || Is(t, "abort")) {
        bool abort = Is(t, "abort");
        Token n;
        optional_work(n);
        if (!abort && Is(n, "to")) {
            out.op = Op::RollbackTo;
            Token name = lx.Next();
            if (Is(name, "savepoint")) name = lx.Next();
            return SavepointName(name, out.savepoint) && AtEnd(lx);
        }
        out.op = Op::Rollback;
        return n.kind == Token::End || (n.kind == Token::Punct && n.text == ";" && AtEnd(lx));
    }
    if (Is(t, "savepoint")) {
        out.op = Op::Savepoint;
        return SavepointName(lx.Next(), out.savepoint) && AtEnd(lx);
    }
    if (Is(t, "release")) {
        out.op = Op::Release;
        Token name = lx.Next();
        if (Is(name, "savepoint")) name = lx.Next();
        return SavepointName(name, out.savepoint) && AtEnd(lx);
    }
    return false;
}

bool IsDdl(std::string_view sql) {
    Lexer lx(sql);
    Token first = lx.Next();
    return Is(first, "create") || Is(first, "alter");
}

bool DropsPreparedStatements(std::string_view sql) {
    Lexer lx(sql);
    Token first = lx.Next();
    return Is(first, "deallocate") || Is(first, "discard");
}

AnsiString TranslateDdl(std::string_view sql) {
    AnsiString out;
    out.reserve(sql.size() + 64);
    Lexer lx(sql);
    size_t copied = 0;
    Token pending;  // a DOUBLE waiting to see whether PRECISION follows
    bool have_pending = false;
    for (Token t = lx.Next();; t = lx.Next()) {
        if (have_pending) {
            have_pending = false;
            if (!Is(t, "precision")) {
                out.append(sql.substr(copied, pending.pos + pending.text.size() - copied));
                out += " PRECISION";
                copied = pending.pos + pending.text.size();
            }
        }
        if (t.kind == Token::End) break;
        if (Is(t, "double")) {
            pending = t;
            have_pending = true;
        } else if (Is(t, "blob")) {
            out.append(sql.substr(copied, t.pos - copied));
            out += "BYTEA";
            copied = t.pos + t.text.size();
        }
    }
    out.append(sql.substr(copied));
    return out;
}

int HighestPlaceholder(std::string_view sql) {
    Lexer lx(sql);
    int highest = 0;
    for (Token t = lx.Next(); t.kind != Token::End; t = lx.Next()) {
        if (t.kind != Token::Param) continue;
        int n = 0;
        for (char c : t.text.substr(1)) {
            n = n * 10 + (c - '0');
            if (n > 65535) break;
        }
        if (n > highest) highest = n;
    }
    return highest;
}

ResultColumn DescribeColumn(const char* name, unsigned oid, int mod, bool from_table) {
    ResultColumn r;
    r.info.name = ColumnName(name);
    TFieldType& type = r.info.type;
    int& size = r.info.size;
    switch (oid) {
        case 21:  // int2
            type = from_table ? ftSmallint : ftLargeint;
            r.decoder = Decoder::Int;
            break;
        case 23:  // int4
            type = from_table ? ftInteger : ftLargeint;
            r.decoder = Decoder::Int;
            break;
        case 20:  // int8
        case 26:  // oid
            type = ftLargeint;
            r.decoder = Decoder::Int;
            break;
        case 700:   // float4
        case 701:   // float8
        case 1700:  // numeric
            type = ftFloat;
            r.decoder = Decoder::Float;
            break;
        case 16:  // bool
            type = ftBoolean;
            r.decoder = Decoder::Bool;
            break;
        case 17:  // bytea
            type = ftBlob;
            r.decoder = Decoder::Bytea;
            break;
        case 1114:  // timestamp
        case 1184:  // timestamptz
            type = ftDateTime;
            r.decoder = Decoder::DateTime;
            break;
        case 1082:  // date
            type = ftDate;
            r.decoder = Decoder::DateTime;
            break;
        case 1083:  // time
            type = ftTime;
            break;
        case 1042:  // bpchar
            type = ftString;
            size = from_table && mod >= 4 ? mod - 4 : 255;
            r.decoder = Decoder::Bpchar;
            break;
        case 1043:  // varchar
            type = ftString;
            size = from_table && mod >= 4 ? mod - 4 : 255;
            break;
        case 25:  // text
            if (from_table) {
                type = ftMemo;
            } else {
                type = ftString;
                size = 255;
            }
            break;
        default:  // name, "char", unknown literals, json, uuid, ...: their text
            type = ftString;
            size = 255;
            break;
    }
    return r;
}

AnsiString ColumnName(const char* name) {
    AnsiString s = name ? name : "";
    for (char c : s)
        if (c >= 'A' && c <= 'Z') return s;
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool DecodeBytea(std::string_view text, AnsiString& out) {
    out.clear();
    if (text.size() >= 2 && text[0] == '\\' && text[1] == 'x') {
        if (text.size() % 2 != 0) return false;
        const signed char* hex = HexTable();
        size_t n = (text.size() - 2) / 2;
        out.resize(n);
        const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data()) + 2;
        for (size_t i = 0; i < n; ++i) {
            int hi = hex[p[2 * i]], lo = hex[p[2 * i + 1]];
            if (hi < 0 || lo < 0) return false;
            out[i] = static_cast<char>((hi << 4) | lo);
        }
        return true;
    }
    // The escape form: printable bytes as they are, "\\" and "\ooo" octal.
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\') {
            out += c;
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3' &&
                   text[i + 2] >= '0' && text[i + 2] <= '7' && text[i + 3] >= '0' &&
                   text[i + 3] <= '7') {
            out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                     (text[i + 3] - '0'));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

bool NormalizeDateTime(std::string_view text, AnsiString& out) {
    auto digits = [&text](size_t from, size_t n) {
        if (from + n > text.size()) return false;
        for (size_t i = from; i < from + n; ++i)
            if (text[i] < '0' || text[i] > '9') return false;
        return true;
    };
    if (!digits(0, 4) || text.size() < 10 || text[4] != '-' || !digits(5, 2) || text[7] != '-' ||
        !digits(8, 2))
        return false;
    out.assign(text.substr(0, 10));
    if (text.size() == 10) {
        out += " 00:00:00.000000";
        return true;
    }
    if (text[10] != ' ' || !digits(11, 2) || text.size() < 19 || text[13] != ':' ||
        !digits(14, 2) || text[16] != ':' || !digits(17, 2))
        return false;
    out.append(text.substr(10, 9));
    out += '.';
    size_t pos = 19, fraction = 0;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && fraction < 6) {
            out += text[pos++];
            ++fraction;
        }
        if (fraction == 0) return false;
    }
    out.append(6 - fraction, '0');
    // What may follow is a zone offset ("+01", "-05:30") and nothing else.
    return pos == text.size() || text[pos] == '+' || text[pos] == '-';
}

bool ParseDateTime(std::string_view text, double& out) {
    AnsiString iso;
    return NormalizeDateTime(text, iso) && ParseIsoDateTime(iso, out);
}

}  // namespace quantora::db::pg
