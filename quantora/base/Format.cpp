// printf-style formatting into an AnsiString.
#include "quantora/base/Format.h"

#include <cstdio>

namespace quantora {

AnsiString VFormat(const char* fmt, va_list args) {
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return AnsiString();
    if (static_cast<size_t>(n) < sizeof small) return AnsiString(small, static_cast<size_t>(n));
    AnsiString out(static_cast<size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, fmt, args);
    return out;
}

AnsiString Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    AnsiString out = VFormat(fmt, args);
    va_end(args);
    return out;
}

AnsiString MarkupEscaped(const AnsiString& text) {
    AnsiString out;
    out.reserve(text.size());
    for (char c : text) {
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
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace quantora
