// The employee and the setting definition a user names, by key or by exact name: what a user
// settings tool asks for.
#pragma once

#include <string>

#include "quantora/services/RegSetting.h"

namespace quantora {

// The key of the employee `arg` names (a whole number is a key, anything else a name; of
// several of that name the lowest key); throws "no employee '...'" when none matches.
int FindEmployee(const char* dbName, const std::string& arg);

struct SettingDefinition {
    int id = -1;
    AnsiString name;
    QuantoraSettingType type = QuantoraSettingType::Text;
};
// The SETTING row `arg` names, by key or name; throws when none matches or its value type is
// not one of the known letters.
SettingDefinition FindSetting(const char* dbName, const std::string& arg);

}  // namespace quantora
