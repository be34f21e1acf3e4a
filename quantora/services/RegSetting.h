// One setting value of a user as the applications hold it in memory, its value type, and the
// text form in which the value is kept in the database (USERSETTINGS.SETTINGVALUE).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quantora/base/Types.h"
#include "quantora/dblayer/Variant.h"

// The kind of value a setting holds (SETTING.VALUETYPE "I", "F" or "T").
enum class QuantoraSettingType : uint8_t { Integer = 1, Float = 2, Text = 3 };

struct RegSetting {
    QuantoraSettingType ValueType = QuantoraSettingType::Text;
    AnsiString Key;          // where the application files the setting
    AnsiString Name;         // the setting's NAME when loaded from the database
    AnsiString Description;  // free text of the application
    Variant Value;           // an integer, a double or a string
    int RowKey = -1;         // USERSETTINGS_ID of the entry's row; below 1 while it has none
    int SettingId = 0;       // SETTING_ID
    int Index = 0;           // SETTINGINDEX; 0 or less when not used
};

namespace quantora {

// The value type of a SETTING.VALUETYPE text: its first letter "I", "F" or "T"; nullopt for any
// other (or an empty text).
std::optional<QuantoraSettingType> SettingTypeOfLetter(std::string_view valueType);
// "integer", "float" or "text".
const char* SettingTypeName(QuantoraSettingType type);
// A value a user typed, read strictly (the whole text): an integer in the int range, a number,
// or the text itself. Throws "<what> '<text>' is not an integer" (or "... is not a number").
Variant SettingValueOfText(QuantoraSettingType type, const std::string& text, const char* what);

// The integer of the leading decimal digits of `text`: white space skipped, an optional sign,
// reading stops at the first character that is not a digit; 0 when there are no digits.
// Values beyond the 64-bit range saturate.
int64_t ReadLeadingInteger(std::string_view text);

// The double of the leading decimal number of `text` (white space skipped, optional sign,
// digits with an optional point and exponent; reading stops at the first character that does
// not fit); 0.0 when there is none, so "inf" and "nan" read as 0.0. A number beyond the double
// range reads as infinity, one below it as zero.
double ReadLeadingFloat(std::string_view text);

// The text stored for a value: integers in decimal, doubles (and dates) in the shortest form
// that reads back exactly (infinities as "1e999" and "-1e999"; NaN throws), strings unchanged,
// null as the empty text.
AnsiString SettingValueText(const Variant& value);

}  // namespace quantora
