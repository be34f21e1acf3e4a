// Finds the numeric literals that can be bound without changing what a statement means: the
// right-hand side of `column <op> literal`, where the engines type the parameter from the column.
// Select lists, CASE results and arithmetic operands stay literal, as PostgreSQL would have to
// guess a parameter's type there.
#include "quantora/dblayer/LiteralParams.h"

#include <charconv>
#include <string_view>

#include "quantora/dblayer/SqlText.h"

namespace quantora::db {
namespace {

bool IsDigit(char c) {
    return IsSqlDigit(c);
}
bool IsNameStart(char c) {
    return IsSqlLetter(c) || c == '_';
}
bool IsNameChar(char c) {
    return (IsSqlLetter(c) || IsSqlDigit(c)) || c == '_' || c == '$';
}
bool DigitAt(std::string_view s, size_t i) {
    return i < s.size() && IsDigit(s[i]);
}

// The statements whose literals are values; DDL, SET, PRAGMA and the like want constants.
bool IsDataStatement(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        if (IsSqlSpace(s[i])) {
            ++i;
        } else if (size_t n = OpaqueLength(s, i); n && (s[i] == '-' || s[i] == '/')) {
            i += n;
        } else {
            break;
        }
    }
    size_t j = i;
    while (j < s.size() && IsNameChar(s[j])) ++j;
    std::string_view word = s.substr(i, j - i);
    for (const char* verb : {"select", "insert", "update", "delete", "with"})
        if (SameName(word, verb)) return true;
    return false;
}

// End of the number starting at `i`: digits, a fraction, an exponent.
size_t NumberEnd(std::string_view s, size_t i) {
    while (DigitAt(s, i)) ++i;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (DigitAt(s, i)) ++i;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (DigitAt(s, j)) {
            i = j;
            while (DigitAt(s, i)) ++i;
        }
    }
    return i;
}

// True when the number ending at `end` is a whole operand: not glued to a name and not followed
// by an operator that binds it into a larger expression (arithmetic, concatenation, a cast).
bool EndsOperand(std::string_view s, size_t end) {
    if (end < s.size() && (IsNameChar(s[end]) || s[end] == '.')) return false;
    while (end < s.size() && IsSqlSpace(s[end])) ++end;
    if (end == s.size()) return true;
    return std::string_view("+-*/%|&^~<>=!:[(.").find(s[end]) == std::string_view::npos;
}

// The last token that matters for `column <op> literal`.
enum class Last { Other, Name, Comparison };

}  // namespace

Variant NumericLiteralValue(std::string_view text) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (text.find_first_of(".eE") == std::string_view::npos) {
        int64_t v = 0;
        auto r = std::from_chars(first, last, v);
        return r.ec == std::errc() && r.ptr == last ? Variant(v) : Variant();
    }
    double d = 0;
    auto r = std::from_chars(first, last, d);
    return r.ec == std::errc() && r.ptr == last ? Variant(d) : Variant();
}

std::vector<LiteralSpan> FindBindableLiterals(std::string_view s, int params) {
    if (!IsDataStatement(s)) return {};
    std::vector<LiteralSpan> found;
    Last last = Last::Other;
    bool column_before_op = false;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (IsSqlSpace(c)) {
            ++i;
        } else if (size_t n = std::string_view("'\"`[-/").find(c) == std::string_view::npos
                                  ? 0
                                  : OpaqueLength(s, i)) {
            // A quoted name is a column; a string is not; a comment changes nothing.
            if (c != '-' && c != '/') last = c == '\'' ? Last::Other : Last::Name;
            i += n;
        } else if (c == '?' || (c == '$' && DigitAt(s, i + 1))) {
            size_t j = i + 1;
            while (DigitAt(s, j)) ++j;
            // A bare `?` is numbered by the engine, one beyond the parameters by someone else.
            int n = 0;
            std::from_chars(s.data() + i + 1, s.data() + j, n);
            if (j == i + 1 || n > params) return {};
            last = Last::Other;
            i = j;
        } else if (IsNameStart(c)) {
            size_t j = i;
            while (j < s.size() && (IsNameChar(s[j]) || s[j] == '.')) ++j;
            std::string_view word = s.substr(i, j - i);
            const bool constant =
                (word.size() == 4 || word.size() == 5) &&
                (SameName(word, "null") || SameName(word, "true") || SameName(word, "false"));
            last = constant ? Last::Other : Last::Name;
            i = j;
        } else if (IsDigit(c) || (c == '.' && DigitAt(s, i + 1)) ||
                   (c == '-' && last == Last::Comparison &&
                    (DigitAt(s, i + 1) ||
                     (i + 2 < s.size() && s[i + 1] == '.' && DigitAt(s, i + 2))))) {
            const size_t end = NumberEnd(s, c == '-' ? i + 1 : i);
            if (last == Last::Comparison && column_before_op && EndsOperand(s, end)) {
                Variant v = NumericLiteralValue(s.substr(i, end - i));
                if (!v.IsNull()) found.push_back({i, end, std::move(v)});
            }
            last = Last::Other;
            i = end;
        } else if (c == '=' || c == '<' || c == '>' || c == '!') {
            size_t j = i;
            while (j < s.size() && std::string_view("=<>!").find(s[j]) != std::string_view::npos)
                ++j;
            const std::string_view op = s.substr(i, j - i);
            const bool comparison = op == "=" || op == "==" || op == "<>" || op == "!=" ||
                                    op == "<" || op == ">" || op == "<=" || op == ">=";
            column_before_op = last == Last::Name;
            last = comparison ? Last::Comparison : Last::Other;
            i = j;
        } else {
            last = Last::Other;
            ++i;
        }
    }
    return found;
}

void BindLiterals(std::string_view s, PlaceholderStyle style, int params,
                  const std::vector<LiteralSpan>& spans, BoundLiterals& out) {
    out.text.clear();
    out.values.clear();
    if (spans.empty()) return;
    out.text.reserve(s.size() + spans.size() * 3);
    size_t at = 0;
    for (const LiteralSpan& l : spans) {
        out.text.append(s.substr(at, l.begin - at));
        out.text += style == PlaceholderStyle::QuestionNumber ? '?' : '$';
        out.text += std::to_string(++params);
        out.values.push_back(l.value);
        at = l.end;
    }
    out.text.append(s.substr(at));
}

BoundLiterals BindLiterals(std::string_view s, PlaceholderStyle style, int params,
                           const std::vector<LiteralSpan>& spans) {
    BoundLiterals out;
    BindLiterals(s, style, params, spans, out);
    return out;
}

BoundLiterals ParametrizeLiterals(std::string_view s, PlaceholderStyle style, int params) {
    return BindLiterals(s, style, params, FindBindableLiterals(s, params));
}

}  // namespace quantora::db
