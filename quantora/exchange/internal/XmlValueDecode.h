// Decoding of attribute values of the XML database export: the integer, float, string and hex
// forms back into numbers and bytes. Each function takes the value as the reader returns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "quantora/base/Types.h"

namespace quantora {

// An optional minus sign and decimal digits, nothing else, within 64 bits.
bool DecodeXmlInteger(std::string_view text, int64_t& value);

// A decimal number as printf writes it ("0.1", "-1.5e-300", "inf", "nan"), nothing else. The
// result is the double nearest to the text, so a value written with 15 significant digits
// reads back to the double that prints as the same text.
bool DecodeXmlFloat(std::string_view text, double& value);

// A date's day number as read back. The format keeps 15 significant digits, steps of 8.64 µs
// for the dates of these centuries, so the exact time written is not in the file. Of the times
// that print as the same 15 digits this picks a whole second, else a whole millisecond, else
// the nearest microsecond: times taken to the second or millisecond come back exactly.
double SnapXmlDayNumber(double value);

// The string form: "&quot;" becomes a double quote and "&#n;" (one to three digits, at most
// 255) the byte n; every other byte, a lone ampersand included, stays as it is.
void DecodeXmlString(std::string_view text, AnsiString& out);

// The hex form: pairs of hex digits (either case); line feeds and carriage returns between
// them are skipped. On failure `errorPos` is the offset of the offending character, or of the
// lone last digit.
enum class XmlHexResult { Ok, BadDigit, OddDigitCount };
XmlHexResult DecodeXmlHex(std::string_view text, AnsiString& out, std::size_t& errorPos);

}  // namespace quantora
