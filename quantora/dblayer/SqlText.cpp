// A small SQL scanner: enough to find parameters, keywords and identifiers outside literals.
#include "quantora/dblayer/SqlText.h"

#include <string_view>

namespace quantora::db {
namespace {

bool WordAt(std::string_view s, size_t i, std::string_view word);

bool IsNameStart(char c) {
    return IsSqlLetter(c) || c == '_';
}
bool IsNameChar(char c) {
    return (IsSqlLetter(c) || IsSqlDigit(c)) || c == '_';
}

// Length of the literal, quoted identifier or comment starting at `i`, or 0.
// The characters that may start a literal, a quoted identifier or a comment.
constexpr bool MayOpenOpaque(char c) {
    return c == '\'' || c == '"' || c == '`' || c == '[' || c == '-' || c == '/';
}

size_t SkipOpaque(std::string_view s, size_t i) {
    char c = s[i];
    if (!MayOpenOpaque(c)) return 0;
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
        char close = c == '[' ? ']' : c;
        size_t j = i + 1;
        while (j < s.size()) {
            if (s[j] == close) {
                if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
                    j += 2;  // doubled quote inside the literal
                    continue;
                }
                return j + 1 - i;
            }
            ++j;
        }
        return s.size() - i;
    }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
        size_t j = s.find('\n', i);
        return (j == std::string_view::npos ? s.size() : j) - i;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
        size_t j = s.find("*/", i + 2);
        return (j == std::string_view::npos ? s.size() : j + 2) - i;
    }
    return 0;
}

// Top-level tokens of a statement: words, punctuation, and "()" for a parenthesised group.
std::vector<std::string_view> TopLevelTokens(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (IsSqlSpace(c)) {
            ++i;
        } else if (size_t n = SkipOpaque(s, i)) {
            if (c != '-' && c != '/') out.push_back(s.substr(i, n));
            i += n;
        } else if (c == '(') {
            int depth = 0;
            size_t j = i;
            while (j < s.size()) {
                if (size_t n2 = SkipOpaque(s, j)) {
                    j += n2;
                    continue;
                }
                if (s[j] == '(') ++depth;
                if (s[j] == ')' && --depth == 0) break;
                ++j;
            }
            out.push_back("()");
            i = j + 1;
        } else if (IsNameChar(c)) {
            size_t j = i;
            while (j < s.size() && (IsNameChar(s[j]) || s[j] == '.' || s[j] == '$')) ++j;
            out.push_back(s.substr(i, j - i));
            i = j;
        } else {
            out.push_back(s.substr(i, 1));
            ++i;
        }
    }
    return out;
}

std::string_view Unquote(std::string_view name) {
    if (name.size() >= 2 && (name.front() == '"' || name.front() == '`' || name.front() == '['))
        return name.substr(1, name.size() - 2);
    return name;
}

// Position just after leading white space and comments.
size_t SkipLeading(std::string_view s, size_t i) {
    while (i < s.size()) {
        if (IsSqlSpace(s[i])) {
            ++i;
        } else if ((s[i] == '-' || s[i] == '/') && SkipOpaque(s, i)) {
            i += SkipOpaque(s, i);
        } else {
            break;
        }
    }
    return i;
}

bool WordAt(std::string_view s, size_t i, std::string_view word) {
    if (i + word.size() > s.size() || !SameName(s.substr(i, word.size()), word)) return false;
    return i + word.size() == s.size() || !IsNameChar(s[i + word.size()]);
}

bool EndsWithWord(const AnsiString& text, std::string_view word) {
    size_t end = text.size();
    while (end > 0 && IsSqlSpace(text[end - 1])) --end;
    if (end < word.size()) return false;
    size_t start = end - word.size();
    return SameName(std::string_view(text).substr(start, word.size()), word) &&
           (start == 0 || !IsNameChar(text[start - 1]));
}

char NextNonSpace(std::string_view s, size_t i) {
    while (i < s.size() && IsSqlSpace(s[i])) ++i;
    return i < s.size() ? s[i] : '\0';
}

// "UPDATE t SET t.COL = ..." names the column with its table, which the engines reject in the
// SET list: the qualifier is dropped there (and kept in the WHERE clause).
void StripSetQualifiers(AnsiString& sql) {
    std::string_view s(sql);
    size_t i = SkipLeading(s, 0);
    if (!WordAt(s, i, "update")) return;
    i = SkipLeading(s, i + 6);
    size_t t0 = i;
    while (i < s.size() && IsNameChar(s[i])) ++i;
    std::string_view table = s.substr(t0, i - t0);
    if (table.empty()) return;
    AnsiString out(s.substr(0, i));
    bool in_set = false;
    while (i < s.size()) {
        if (size_t n = SkipOpaque(s, i)) {
            out.append(s.substr(i, n));
            i += n;
            continue;
        }
        bool word_start = IsNameStart(s[i]) && (i == 0 || !IsNameChar(s[i - 1]));
        if (word_start && WordAt(s, i, "set")) in_set = true;
        if (word_start && WordAt(s, i, "where")) in_set = false;
        if (in_set && word_start && i + table.size() < s.size() && s[i + table.size()] == '.' &&
            SameName(s.substr(i, table.size()), table)) {
            i += table.size() + 1;
            continue;
        }
        out += s[i++];
    }
    sql = std::move(out);
}

}  // namespace

size_t OpaqueLength(std::string_view s, size_t i) {
    return SkipOpaque(s, i);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (SqlUpper(a[i]) != SqlUpper(b[i])) return false;
    return true;
}

std::vector<AnsiString> ParameterNames(const AnsiString& sql) {
    return TranslateSql(sql, PlaceholderStyle::QuestionNumber).param_names;
}

TranslatedSql TranslateSql(const AnsiString& sql, PlaceholderStyle style) {
    TranslatedSql out;
    std::string_view s(sql);
    out.text.reserve(s.size() + 8);

    size_t i = SkipLeading(s, 0);
    out.text.append(s.substr(0, i));
    // `DELETE table WHERE ...`: the engines want `DELETE FROM table`.
    if (WordAt(s, i, "delete")) {
        size_t j = SkipLeading(s, i + 6);
        if (!WordAt(s, j, "from")) {
            out.text.append(s.substr(i, 6));
            out.text.append(" FROM");
            i += 6;
        }
    }

    while (i < s.size()) {
        char c = s[i];
        if (size_t n = SkipOpaque(s, i)) {
            out.text.append(s.substr(i, n));
            i += n;
        } else if (c == ':' && i + 1 < s.size() && s[i + 1] == ':') {
            out.text.append("::");
            i += 2;
        } else if (c == ':' && i + 1 < s.size() && IsNameStart(s[i + 1]) &&
                   (i == 0 || !IsNameChar(s[i - 1]))) {
            size_t j = i + 1;
            while (j < s.size() && IsNameChar(s[j])) ++j;
            std::string_view name = s.substr(i + 1, j - i - 1);
            size_t index = 0;
            while (index < out.param_names.size() && !SameName(out.param_names[index], name))
                ++index;
            if (index == out.param_names.size()) out.param_names.emplace_back(name);
            out.text += style == PlaceholderStyle::QuestionNumber ? '?' : '$';
            out.text += std::to_string(index + 1);
            i = j;
        } else if (c == '(' && EndsWithWord(out.text, "in") && NextNonSpace(s, i + 1) == ')') {
            // An empty IN list (an empty id list) reads as "in (NULL)": true for no row.
            out.text.append("(NULL)");
            i = s.find(')', i) + 1;
        } else {
            // A run of plain text up to the next character that may start something else.
            size_t j = i + 1;
            while (j < s.size() && !MayOpenOpaque(s[j]) && s[j] != ':' && s[j] != '(') ++j;
            out.text.append(s.substr(i, j - i));
            i = j;
        }
    }
    StripSetQualifiers(out.text);
    return out;
}

AnsiString SingleSelectTable(const AnsiString& sql) {
    std::vector<std::string_view> t = TopLevelTokens(sql);
    if (t.empty() || !SameName(t[0], "select")) return {};
    size_t from = 0;
    for (size_t i = 1; i < t.size(); ++i) {
        for (const char* bad :
             {"union", "intersect", "except", "join", "group", "having", "distinct", "with"})
            if (SameName(t[i], bad)) return {};
        if (!from && SameName(t[i], "from")) from = i;
    }
    if (!from || from + 1 >= t.size()) return {};
    std::string_view table = Unquote(t[from + 1]);
    if (table.empty() || !IsNameStart(table[0])) return {};
    if (from + 2 < t.size()) {
        std::string_view next = t[from + 2];
        if (!(SameName(next, "where") || SameName(next, "order") || SameName(next, "limit") ||
              next == ";"))
            return {};
    }
    return AnsiString(table);
}

}  // namespace quantora::db
