// One bounded line of message text.
#include "quantora/base/MessageLine.h"

#include <cstdio>

namespace quantora {

AnsiString MessageLine(std::string_view text, std::size_t maxLength) {
    AnsiString out;
    for (std::size_t i = 0; i < text.size() && out.size() <= maxLength; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n' || c == '\r') {
            while (i + 1 < text.size() && (text[i + 1] == '\n' || text[i + 1] == '\r' ||
                                           text[i + 1] == ' ' || text[i + 1] == '\t'))
                ++i;
            if (i + 1 < text.size() && !out.empty()) out += ' ';
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (out.size() > maxLength) {
        out.resize(maxLength > 3 ? maxLength - 3 : 0);
        out += "...";
    }
    return out;
}

}  // namespace quantora
