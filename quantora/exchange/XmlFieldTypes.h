// Field types as the XML database export names and writes them: the 36 type names by the
// layer's type number, the form in which a value of each type is written, and the kind of value
// a type holds (used by the import to check that a file's field fits a database column).
#pragma once

#include <string_view>

namespace quantora {

// How an attribute value of a field type is written.
enum class XmlValueForm {
    None,     // a type without a name: the field is left out of the row
    Integer,  // "%d"
    Float,    // "%.15g"; dates as day numbers
    String,   // escaped bytes up to the first zero byte
    Hex,      // two upper-case hex digits per byte, a line feed after every 127th byte
};

// What a value of a type is, whatever its written form.
enum class XmlValueKind { None, Integer, Float, Date, Text, Binary };

constexpr int kXmlFieldTypeCount = 36;

// The type name of a field type number; "" for numbers outside 0 to 35.
const char* XmlFieldTypeName(int fieldType);
// The type number of a type name (exact match), or -1.
int XmlFieldTypeNumber(std::string_view name);
XmlValueForm XmlValueFormOf(int fieldType);
XmlValueKind XmlValueKindOf(int fieldType);

}  // namespace quantora
