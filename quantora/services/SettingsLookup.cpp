// Looking up employees and settings by key or name.
#include "quantora/services/SettingsLookup.h"

#include <cstdlib>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"

namespace quantora {
namespace {

// Binds `arg` as a key when it is a whole number (with `byKey`), else as a name (`byName`).
void ByKeyOrName(TQuery& q, const std::string& arg, const char* byKey, const char* byName) {
    char* end = nullptr;
    const long id = std::strtol(arg.c_str(), &end, 10);
    if (!arg.empty() && !*end) {
        q.SetSQL(byKey);
        q.ParamByName("id")->SetAsInteger(static_cast<int>(id));
    } else {
        q.SetSQL(byName);
        q.ParamByName("name")->SetAsString(arg);
    }
    q.Open();
}

}  // namespace

int FindEmployee(const char* dbName, const std::string& arg) {
    TQuery q;
    q.SetDatabaseName(dbName);
    ByKeyOrName(q, arg, "SELECT EMPLOYEE_ID FROM EMPLOYEE WHERE EMPLOYEE_ID = :id",
                "SELECT EMPLOYEE_ID FROM EMPLOYEE WHERE NAME = :name ORDER BY EMPLOYEE_ID");
    if (q.Eof()) throw Exception(Format("no employee '%s'", arg.c_str()));
    return q.Fields()[0]->AsInteger();
}

SettingDefinition FindSetting(const char* dbName, const std::string& arg) {
    TQuery q;
    q.SetDatabaseName(dbName);
    ByKeyOrName(q, arg, "SELECT SETTING_ID, NAME, VALUETYPE FROM SETTING WHERE SETTING_ID = :id",
                "SELECT SETTING_ID, NAME, VALUETYPE FROM SETTING WHERE NAME = :name");
    if (q.Eof()) throw Exception(Format("no setting '%s'", arg.c_str()));
    SettingDefinition d;
    d.id = q.Fields()[0]->AsInteger();
    d.name = q.Fields()[1]->AsString();
    const std::optional<QuantoraSettingType> type = SettingTypeOfLetter(q.Fields()[2]->AsString());
    if (!type) throw Exception(Format("setting '%s' has an unknown value type", d.name.c_str()));
    d.type = *type;
    return d;
}

}  // namespace quantora
