// Fuzz target: decoding of the XML export's attribute values. The first byte picks the decoder,
// the rest is the attribute text. Besides memory errors this checks what each decoder promises:
// an integer is the number its digits spell, a float is finite or a printf special, string decoding
// never grows the text, hex gives half the digits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "quantora/exchange/internal/XmlValueDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
        case 0: {
            // Only digits with an optional minus sign are accepted, and they mean what they say.
            int64_t v = 0;
            const std::string t(text);
            if (quantora::DecodeXmlInteger(text, v) &&
                (t.find_first_not_of("0123456789", t[0] == '-') != std::string::npos ||
                 t.size() == (t[0] == '-') || v != std::strtoll(t.c_str(), nullptr, 10)))
                std::abort();
            break;
        }
        case 1: {
            double v = 0;
            quantora::DecodeXmlFloat(text, v);
            break;
        }
        case 2: {
            AnsiString out;
            quantora::DecodeXmlString(text, out);
            if (out.size() > text.size()) std::abort();
            break;
        }
        default: {
            AnsiString out;
            size_t errorPos = 0;
            const quantora::XmlHexResult r = quantora::DecodeXmlHex(text, out, errorPos);
            if (r == quantora::XmlHexResult::Ok) {
                if (out.size() * 2 > text.size()) std::abort();
            } else if (errorPos >= text.size()) {
                std::abort();
            }
            break;
        }
    }
    return 0;
}
