// Messages for a terminal: one line, control bytes and terminal escapes from files shown as
// \xNN, and a bounded length, whatever a file or an engine put into the text.
#pragma once

#include <cstddef>
#include <string_view>

#include "quantora/base/Types.h"

namespace quantora {

// `text` on one line: line breaks with the blanks after them become one blank, other control
// bytes (ESC, NUL, DEL, ...) become \xNN; longer than `maxLength` bytes, it is cut and ends in
// "...". Bytes of 0x80 and above are kept (UTF-8 text stays readable).
AnsiString MessageLine(std::string_view text, std::size_t maxLength = 240);

}  // namespace quantora
