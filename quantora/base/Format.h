// printf-style formatting into an AnsiString; the library builds its SQL texts this way.
#pragma once

#include <cstdarg>

#include "quantora/base/Types.h"

namespace quantora {

AnsiString Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
AnsiString VFormat(const char* fmt, va_list args);
// Text for XML and HTML: & < > " as entities.
AnsiString MarkupEscaped(const AnsiString& text);

}  // namespace quantora
