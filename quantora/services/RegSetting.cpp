// Text form of setting values: decimal writing with std::to_chars, and a locale-independent
// reading of the leading number of a text.
#include "quantora/services/RegSetting.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"

namespace quantora {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Skips leading white space and reads an optional sign; returns the position after them.
size_t SkipBlankAndSign(std::string_view s, bool& negative) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    return i;
}

// For a decimal number too large or too small for a double: true when it is large, judged by
// the decimal exponent of its first significant digit.
bool IsHugeNumber(std::string_view number) {
    size_t e = number.find_first_of("eE");
    std::string_view mantissa = number.substr(0, e);
    long long exponent = 0;
    if (e != std::string_view::npos) {
        bool neg = false;
        size_t i = e + 1;
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) neg = number[i++] == '-';
        for (; i < number.size() && IsDigit(number[i]); ++i)
            if (exponent < 1000000) exponent = exponent * 10 + (number[i] - '0');
        if (neg) exponent = -exponent;
    }
    size_t point = mantissa.find('.');
    std::string_view whole = mantissa.substr(0, point);
    size_t first = whole.find_first_not_of('0');
    long long magnitude;
    if (first != std::string_view::npos) {
        magnitude = static_cast<long long>(whole.size() - first);
    } else {
        std::string_view fraction =
            point == std::string_view::npos ? std::string_view() : mantissa.substr(point + 1);
        size_t nz = fraction.find_first_not_of('0');
        if (nz == std::string_view::npos) return false;  // zero
        magnitude = -static_cast<long long>(nz);
    }
    return magnitude + exponent > 0;
}

}  // namespace

int64_t ReadLeadingInteger(std::string_view text) {
    bool negative;
    size_t i = SkipBlankAndSign(text, negative);
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t magnitude = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        const unsigned d = static_cast<unsigned>(text[i] - '0');
        magnitude = magnitude > (limit - d) / 10 ? limit : magnitude * 10 + d;
    }
    if (!negative) return static_cast<int64_t>(magnitude);
    return magnitude == uint64_t{1} << 63 ? std::numeric_limits<int64_t>::min()
                                          : -static_cast<int64_t>(magnitude);
}

double ReadLeadingFloat(std::string_view text) {
    bool negative;
    size_t i = SkipBlankAndSign(text, negative);
    std::string_view rest = text.substr(i);
    // A decimal number only: digits, or a point before a digit ("inf" and "nan" are words).
    const bool decimal = !rest.empty() && (IsDigit(rest[0]) ||
                                           (rest[0] == '.' && rest.size() > 1 && IsDigit(rest[1])));
    if (!decimal) return 0.0;
    double v = 0.0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), v);
    if (ec == std::errc::result_out_of_range)
        v = IsHugeNumber(rest.substr(0, static_cast<size_t>(end - rest.data())))
                ? std::numeric_limits<double>::infinity()
                : 0.0;
    else if (ec != std::errc())
        return 0.0;
    return negative ? -v : v;
}

std::optional<QuantoraSettingType> SettingTypeOfLetter(std::string_view valueType) {
    switch (valueType.empty() ? '\0' : valueType[0]) {
        case 'I':
            return QuantoraSettingType::Integer;
        case 'F':
            return QuantoraSettingType::Float;
        case 'T':
            return QuantoraSettingType::Text;
        default:
            return std::nullopt;
    }
}

const char* SettingTypeName(QuantoraSettingType type) {
    return type == QuantoraSettingType::Integer ? "integer"
           : type == QuantoraSettingType::Float ? "float"
                                                : "text";
}

Variant SettingValueOfText(QuantoraSettingType type, const std::string& text, const char* what) {
    char* end = nullptr;
    errno = 0;
    if (type == QuantoraSettingType::Integer) {
        const long v = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end || errno || v < INT32_MIN || v > INT32_MAX)
            throw Exception(Format("%s '%s' is not an integer", what, text.c_str()));
        return Variant(static_cast<int>(v));
    }
    if (type == QuantoraSettingType::Float) {
        const double v = std::strtod(text.c_str(), &end);
        if (text.empty() || *end || errno)
            throw Exception(Format("%s '%s' is not a number", what, text.c_str()));
        return Variant(v);
    }
    return Variant(AnsiString(text));
}

AnsiString SettingValueText(const Variant& value) {
    char buf[32];
    switch (value.kind()) {
        case Variant::Kind::Null:
            return AnsiString();
        case Variant::Kind::Int: {
            auto r = std::to_chars(buf, buf + sizeof buf, value.int_value());
            return AnsiString(buf, r.ptr);
        }
        case Variant::Kind::Float:
        case Variant::Kind::Date: {
            const double v = value.float_value();
            // Infinities as decimal numbers beyond the double range, which read back as
            // themselves; NaN has no decimal form.
            if (std::isinf(v)) return v > 0 ? "1e999" : "-1e999";
            if (std::isnan(v))
                throw quantora::MisuseError("A setting value must be a number, not NaN");
            auto r = std::to_chars(buf, buf + sizeof buf, v);
            return AnsiString(buf, r.ptr);
        }
        default:
            return value.text_value();
    }
}

}  // namespace quantora
