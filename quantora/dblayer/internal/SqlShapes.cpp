// A text's shape is the text with each run of digits that starts a number replaced by one mark.
// Translating `:name` parameters and choosing the literals to bind look at the classes of
// characters only, never at the value of a digit, with two exceptions that are left out of
// shapes: the numbers of `?n` and `$n` placeholders (they are never runs, as they follow `?` or
// `$`), and values that may not fit (an exponent, or more digits than a 64-bit integer always
// holds: such texts are analysed afresh every time). So two texts of one shape differ after the
// analysis only in the digits of their runs, and a bound literal is a run (with a sign, a point
// or a trailing point) in both.
#include "quantora/dblayer/internal/SqlShapes.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quantora::db {
namespace {

constexpr char kMark = '\x01';
constexpr size_t kMaxText = 4096;   // longer texts are rarely repeated: not remembered
constexpr size_t kMaxShapes = 256;  // per thread; the cache starts over when full
constexpr size_t kMaxDigits = 18;   // every 18-digit integer fits 64 bits

// The characters FindRuns stops at.
struct CharSet {
    bool in[256] = {};
    constexpr CharSet() {
        for (char c = '0'; c <= '9'; ++c) in[static_cast<unsigned char>(c)] = true;
        in[static_cast<unsigned char>(kMark)] = true;
    }
};
constexpr CharSet kDigitOrMark;

// The first digit or mark at or after `i` (s.size() when none). SQL text is mostly letters, so it
// is scanned 16 bytes at a time where the machine has SSE2, else 8.
size_t NextDigitOrMark(std::string_view s, size_t i) {
    const char* p = s.data();
#if defined(__SSE2__)
    const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9), mark = _mm_set1_epi8(kMark);
    for (; i + 16 <= s.size(); i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i d = _mm_sub_epi8(x, zero);  // a digit's d is 0 to 9, unsigned
        const __m128i hit =
            _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(d, nine), d), _mm_cmpeq_epi8(x, mark));
        if (const int m = _mm_movemask_epi8(hit)) return i + static_cast<size_t>(__builtin_ctz(m));
    }
#else
    constexpr uint64_t kOnes = ~uint64_t{0} / 255, kHigh = kOnes * 128, kLow7 = kOnes * 127;
    for (; i + 8 <= s.size(); i += 8) {
        uint64_t x;
        std::memcpy(&x, p + i, sizeof x);
        const uint64_t below2 = (x - kOnes * 2) & ~x & kHigh;
        const uint64_t digit =
            (kOnes * (127 + ':') - (x & kLow7)) & ~x & ((x & kLow7) + kOnes * (127 - '/')) & kHigh;
        if (below2 | digit) break;
    }
#endif
    while (i < s.size() && !kDigitOrMark.in[static_cast<unsigned char>(p[i])]) ++i;
    return i;
}

struct Run {
    size_t begin, end;
};

// Whether a number's digits start at `i`: a digit that does not continue a name or a
// placeholder.
bool StartsRun(std::string_view s, size_t i) {
    if (!IsSqlDigit(s[i])) return false;
    if (i == 0) return true;
    const char p = s[i - 1];
    return !(IsSqlLetter(p) || IsSqlDigit(p) || p == '_' || p == '$' || p == '?');
}

// The runs of `s`, and its shape appended to `shape` when given; false for a text whose analysis
// may depend on a digit's value, or that holds the mark itself.
bool FindRuns(std::string_view s, std::vector<Run>& runs, std::string* shape) {
    runs.clear();
    size_t copied = 0;
    for (size_t i = NextDigitOrMark(s, 0); i < s.size(); i = NextDigitOrMark(s, i)) {
        if (s[i] == kMark) return false;
        if (!StartsRun(s, i)) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < s.size() && IsSqlDigit(s[j])) ++j;
        size_t k = j < s.size() && s[j] == '.' ? j + 1 : j;
        if (j - i > kMaxDigits || (k < s.size() && (s[k] == 'e' || s[k] == 'E'))) return false;
        if (shape) {
            shape->append(s.substr(copied, i - copied));
            *shape += kMark;
        }
        runs.push_back({i, j});
        copied = i = j;
    }
    if (shape) shape->append(s.substr(copied));
    return true;
}

// What a shape's texts have in common after the analysis.
struct Shape {
    std::string translated;    // the translated text without its runs
    std::vector<size_t> cuts;  // where each run goes into `translated`
    std::vector<AnsiString> param_names;
    struct Bound {
        size_t first, last;  // the runs of a bound literal
        size_t lead, tail;   // characters before the first (sign, point) and after the last
    };
    std::vector<Bound> bound;
};

struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

struct Cache {
    std::unordered_map<std::string, Shape, Hash, std::equal_to<>> shapes;
    // The shape found last: a loop that runs one text for many keys finds it without hashing.
    const std::pair<const std::string, Shape>* last = nullptr;
    std::string key;
    std::vector<Run> runs, out;
    std::vector<LiteralSpan> spans;
};

// The translated text of `sql` (whose runs are `runs`) from its shape; `out` receives where each
// run landed.
void Fill(const Shape& shape, std::string_view sql, const std::vector<Run>& runs, AnsiString& text,
          std::vector<Run>& out) {
    text.clear();
    text.reserve(shape.translated.size() +
                 (runs.empty() ? 0 : runs.back().end - runs.front().begin));
    out.clear();
    size_t at = 0;
    for (size_t k = 0; k < runs.size(); ++k) {
        text.append(shape.translated, at, shape.cuts[k] - at);
        at = shape.cuts[k];
        const size_t begin = text.size();
        text.append(sql.substr(runs[k].begin, runs[k].end - runs[k].begin));
        out.push_back({begin, text.size()});
    }
    text.append(shape.translated, at);
}

// The bound literals of a filled text; false when a value does not fit after all.
bool Spans(const Shape& shape, std::string_view text, const std::vector<Run>& out,
           std::vector<LiteralSpan>& spans) {
    spans.clear();
    for (const Shape::Bound& b : shape.bound) {
        const size_t begin = out[b.first].begin - b.lead, end = out[b.last].end + b.tail;
        Variant v = NumericLiteralValue(text.substr(begin, end - begin));
        if (v.IsNull()) return false;
        spans.push_back({begin, end, std::move(v)});
    }
    return true;
}

// The shape of an analysis just made, checked by filling it in again; false when the analysis
// does not follow the runs as the header explains (then the text is not remembered).
bool Learn(std::string_view sql, PlaceholderStyle style, const std::vector<Run>& runs,
           const TranslatedSql& translated, const BoundLiterals& literals,
           const std::vector<LiteralSpan>& found, Cache& c, Shape& shape) {
    std::vector<Run>& t = c.out;
    if (!FindRuns(translated.text, t, nullptr) || t.size() != runs.size()) return false;
    size_t at = 0;
    for (size_t k = 0; k < t.size(); ++k) {
        shape.translated.append(translated.text, at, t[k].begin - at);
        shape.cuts.push_back(shape.translated.size());
        at = t[k].end;
    }
    shape.translated.append(translated.text, at);
    for (const LiteralSpan& l : found) {
        size_t first = 0;
        while (first < t.size() && t[first].begin < l.begin) ++first;
        size_t last = first;
        while (last + 1 < t.size() && t[last + 1].end <= l.end) ++last;
        if (first == t.size() || t[first].begin - l.begin > 2 || t[last].end > l.end ||
            l.end - t[last].end > 1)
            return false;
        shape.bound.push_back({first, last, t[first].begin - l.begin, l.end - t[last].end});
    }
    shape.param_names = translated.param_names;

    AnsiString text;
    std::vector<Run> out;
    std::vector<LiteralSpan> spans;
    Fill(shape, sql, runs, text, out);
    if (text != translated.text || !Spans(shape, text, out, spans)) return false;
    const BoundLiterals again =
        BindLiterals(text, style, static_cast<int>(shape.param_names.size()), spans);
    return again.text == literals.text && again.values == literals.values;
}

}  // namespace

void AnalyseSql(const AnsiString& sql, PlaceholderStyle style, TranslatedSql* translated,
                BoundLiterals* literals) {
    thread_local Cache c;
    c.key.assign(1, static_cast<char>('0' + static_cast<int>(style)));
    const bool shaped = sql.size() <= kMaxText && FindRuns(sql, c.runs, &c.key);
    if (shaped) {
        if (!c.last || c.last->first != c.key) {
            auto it = c.shapes.find(std::string_view(c.key));
            c.last = it == c.shapes.end() ? nullptr : &*it;
        }
        if (c.last) {
            const Shape& shape = c.last->second;
            Fill(shape, sql, c.runs, translated->text, c.out);
            if (Spans(shape, translated->text, c.out, c.spans)) {
                if (translated->param_names != shape.param_names)
                    translated->param_names = shape.param_names;
                BindLiterals(translated->text, style, static_cast<int>(shape.param_names.size()),
                             c.spans, *literals);
                return;
            }
        }
    }
    *translated = TranslateSql(sql, style);
    const int params = static_cast<int>(translated->param_names.size());
    std::vector<LiteralSpan> found = FindBindableLiterals(translated->text, params);
    *literals = BindLiterals(translated->text, style, params, found);
    if (!shaped) return;
    Shape shape;
    if (!Learn(sql, style, c.runs, *translated, *literals, found, c, shape)) return;
    if (c.shapes.size() >= kMaxShapes) {
        c.shapes.clear();
        c.last = nullptr;
    }
    c.shapes.emplace(c.key, std::move(shape));
}

}  // namespace quantora::db
