// Decoding of the export's attribute value forms.
#include "quantora/exchange/internal/XmlValueDecode.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace quantora {
namespace {

struct HexValues {
    signed char value[256] = {};
    constexpr HexValues() {
        for (int c = 0; c < 256; ++c) value[c] = -1;
        for (int c = '0'; c <= '9'; ++c) value[c] = static_cast<signed char>(c - '0');
        for (int c = 'A'; c <= 'F'; ++c) value[c] = static_cast<signed char>(c - 'A' + 10);
        for (int c = 'a'; c <= 'f'; ++c) value[c] = static_cast<signed char>(c - 'a' + 10);
    }
};
constexpr HexValues kHex;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The reference at `text` (which starts with "&"): its length and decoded byte, or 0 when the
// ampersand does not begin a reference of the string form.
std::size_t MatchReference(std::string_view text, char& byte) {
    if (text.size() >= 6 && std::memcmp(text.data(), "&quot;", 6) == 0) {
        byte = '"';
        return 6;
    }
    if (text.size() < 4 || text[1] != '#') return 0;
    int value = 0;
    std::size_t i = 2;
    while (i < text.size() && i < 5 && IsDigit(text[i])) value = value * 10 + (text[i++] - '0');
    if (i == 2 || i >= text.size() || text[i] != ';' || value > 255) return 0;
    byte = static_cast<char>(static_cast<unsigned char>(value));
    return i + 1;
}

}  // namespace

bool DecodeXmlInteger(std::string_view text, int64_t& value) {
    if (text.empty() || text.front() == '+') return false;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool DecodeXmlFloat(std::string_view text, double& value) {
    if (text.empty() || text.front() == '+') return false;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

double SnapXmlDayNumber(double value) {
    if (!std::isfinite(value)) return value;
    // As the exporter prints it ("%.15g").
    auto print = [](double v, char(&buf)[32]) {
        const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
        return std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
    };
    char written[32], candidate[32];
    const std::string_view text = print(value, written);
    constexpr double kMicrosPerDay = 86400e6;
    const double day = std::floor(value);
    const double micros = (value - day) * kMicrosPerDay;
    for (const double step : {1e6, 1e3, 1.0}) {
        const double snapped = day + std::round(micros / step) * step / kMicrosPerDay;
        if (print(snapped, candidate) == text) return snapped;
    }
    return value;
}

void DecodeXmlString(std::string_view text, AnsiString& out) {
    out.clear();
    out.reserve(text.size());
    for (;;) {
        const void* amp = std::memchr(text.data(), '&', text.size());
        if (amp == nullptr) {
            out.append(text);
            return;
        }
        const auto at = static_cast<std::size_t>(static_cast<const char*>(amp) - text.data());
        out.append(text.data(), at);
        text.remove_prefix(at);
        char byte = 0;
        if (const std::size_t n = MatchReference(text, byte)) {
            out.push_back(byte);
            text.remove_prefix(n);
        } else {
            out.push_back('&');
            text.remove_prefix(1);
        }
    }
}

XmlHexResult DecodeXmlHex(std::string_view text, AnsiString& out, std::size_t& errorPos) {
    out.clear();
    out.reserve(text.size() / 2);
    int high = -1;
    std::size_t highPos = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int v = kHex.value[c];
        if (v < 0) {
            if (c == '\n' || c == '\r') continue;
            errorPos = i;
            return XmlHexResult::BadDigit;
        }
        if (high < 0) {
            high = v;
            highPos = i;
        } else {
            out.push_back(static_cast<char>((high << 4) | v));
            high = -1;
        }
    }
    if (high >= 0) {
        errorPos = highPos;
        return XmlHexResult::OddDigitCount;
    }
    return XmlHexResult::Ok;
}

}  // namespace quantora
