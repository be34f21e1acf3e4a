// The export's field type table.
#include "quantora/exchange/XmlFieldTypes.h"

#include "quantora/dblayer/FieldType.h"

namespace quantora {
namespace {

struct TypeEntry {
    const char* name;
    XmlValueForm form;
    XmlValueKind kind;
};

using F = XmlValueForm;
using K = XmlValueKind;

// Indexed by TFieldType. FixedChar is written as an integer and Largeint in hex: that is the
// file format, kept as it is.
constexpr TypeEntry kTypes[kXmlFieldTypeCount] = {
    {"Unknown", F::Hex, K::Binary},
    {"String", F::String, K::Text},
    {"Smallint", F::Integer, K::Integer},
    {"Integer", F::Integer, K::Integer},
    {"Word", F::Integer, K::Integer},
    {"Boolean", F::Integer, K::Integer},
    {"Float", F::Float, K::Float},
    {"Currency", F::Float, K::Float},
    {"BCD", F::Float, K::Float},
    {"Date", F::Float, K::Date},
    {"Time", F::Float, K::Date},
    {"DateTime", F::Float, K::Date},
    {"Bytes", F::Hex, K::Binary},
    {"VarBytes", F::Hex, K::Binary},
    {"AutoInc", F::Integer, K::Integer},
    {"Blob", F::Hex, K::Binary},
    {"Memo", F::Hex, K::Text},
    {"Graphic", F::Hex, K::Binary},
    {"FmtMemo", F::Hex, K::Text},
    {"ParadoxOle", F::Hex, K::Binary},
    {"DBaseOle", F::Hex, K::Binary},
    {"TypedBinary", F::Hex, K::Binary},
    {"Cursor", F::Hex, K::Binary},
    {"FixedChar", F::Integer, K::Integer},
    {"WideString", F::Hex, K::Text},
    {"Largeint", F::Hex, K::Integer},
    {"ADT", F::Hex, K::Binary},
    {"Array", F::Hex, K::Binary},
    {"Reference", F::Hex, K::Binary},
    {"DataSet", F::Hex, K::Binary},
    {"OraBlob", F::Hex, K::Binary},
    {"OraClob", F::Hex, K::Text},
    {"Variant", F::Hex, K::Binary},
    {"Interface", F::Hex, K::Binary},
    {"IDispatch", F::Hex, K::Binary},
    {"Guid", F::Hex, K::Binary},
};

static_assert(ftGuid + 1 == kXmlFieldTypeCount, "one entry per field type of the layer");

bool Known(int t) {
    return t >= 0 && t < kXmlFieldTypeCount;
}

}  // namespace

const char* XmlFieldTypeName(int fieldType) {
    return Known(fieldType) ? kTypes[fieldType].name : "";
}

int XmlFieldTypeNumber(std::string_view name) {
    for (int t = 0; t < kXmlFieldTypeCount; ++t)
        if (name == kTypes[t].name) return t;
    return -1;
}

XmlValueForm XmlValueFormOf(int fieldType) {
    return Known(fieldType) ? kTypes[fieldType].form : XmlValueForm::None;
}

XmlValueKind XmlValueKindOf(int fieldType) {
    return Known(fieldType) ? kTypes[fieldType].kind : XmlValueKind::None;
}

}  // namespace quantora
