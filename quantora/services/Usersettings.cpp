// DbUserSettings: loading the user's USERSETTINGS rows, matching entries, and saving by an
// update pass and an insert pass in which each entry fails or succeeds on its own.
#include "quantora/services/Usersettings.h"

#include <exception>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/frame/UiHooks.h"

using quantora::Format;

namespace {

// The first entry of `settingId` whose index equals `index`, or any index when it is below 1.
template <class Entries>
auto FindEntry(Entries& entries, int settingId, int index) -> decltype(&entries.front()) {
    for (auto& e : entries)
        if (e.SettingId == settingId && (index < 1 || e.Index == index)) return &e;
    return nullptr;
}

}  // namespace

DbUserSettings::DbUserSettings() {
    Reset();
}

DbUserSettings::~DbUserSettings() {
    if (!SaveOnDestruction) return;
    SavingAutomatically = true;
    AnsiString failure;
    try {
        SaveSettings();
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown error";
    }
    SavingAutomatically = false;
    if (failure.empty()) return;
    try {
        quantora::ShowMessage(
            Format("DbUserSettings: the settings of user %d could not be saved: %s", UserId,
                   failure.c_str()));
    } catch (...) {
        // Nothing is left to report through.
    }
}

void DbUserSettings::Reset() {
    Settings.clear();
    DbName.clear();
    KeyGen = nullptr;
    UserId = -1;
}

void DbUserSettings::SetBasicData(const AnsiString& dbName, IntKeyGen* keyGen, int userId) {
    DbName = dbName;
    KeyGen = keyGen;
    UserId = userId;
}

int DbUserSettings::RetrieveSettings() {
    Settings.clear();
    if (DbName.empty() || UserId < 1)
        throw quantora::MisuseError(
            "DbUserSettings::RetrieveSettings: database or user id is not set");
    TQuery q;
    q.SetDatabaseName(DbName);
    q.SetRequestLive(false);
    q.SetUniDirectional(true);
    q.SetSQL(
        Format(" select us.*, s.setting_id, s.valuetype, s.name from    usersettings us, "
               "setting s where    us.employee_id=%d  and    us.setting_id = s.setting_id order "
               "by us.settingindex, us.creationdate",
               UserId));
    q.Open();
    TField* valueType = q.FieldByName("VALUETYPE");
    TField* value = q.FieldByName("SETTINGVALUE");
    TField* settingId = q.FieldByName("SETTING_ID");
    TField* rowKey = q.FieldByName("USERSETTINGS_ID");
    TField* index = q.FieldByName("SETTINGINDEX");
    TField* name = q.FieldByName("NAME");
    for (; !q.Eof(); q.Next()) {
        const std::optional<QuantoraSettingType> type =
            quantora::SettingTypeOfLetter(valueType->AsString());
        if (!type) continue;  // a value type this class does not know
        RegSetting e;
        e.ValueType = *type;
        switch (*type) {
            case QuantoraSettingType::Float:
                e.Value = Variant(quantora::ReadLeadingFloat(value->AsString()));
                break;
            case QuantoraSettingType::Integer:
                e.Value = Variant(quantora::ReadLeadingInteger(value->AsString()));
                break;
            case QuantoraSettingType::Text:
                e.Value = Variant(value->AsString());
                break;
        }
        e.SettingId = settingId->AsInteger();
        e.RowKey = rowKey->AsInteger();
        e.Index = index->AsInteger();
        e.Name = name->AsString();
        Settings.push_back(std::move(e));
    }
    return static_cast<int>(Settings.size());
}

bool DbUserSettings::SaveSettings() {
    if (!KeyGen || DbName.empty() || UserId < 1)
        throw quantora::MisuseError(
            "DbUserSettings::SaveSettings: database, key generator or user id is not set");
    // A value without a text form (NaN) is refused before any row is touched.
    for (const RegSetting& e : Settings) quantora::SettingValueText(e.Value);
    TQuery q;
    q.SetDatabaseName(DbName);
    q.SetRequestLive(true);
    q.SetUniDirectional(true);

    for (RegSetting& e : Settings) {
        if (e.RowKey < 1) continue;
        q.Close();
        q.SetSQL(
            Format(" select * from usersettings  where     usersettings_id=%d   and     "
                   "employee_id=%d",
                   e.RowKey, UserId));
        try {
            q.Open();
            if (q.Eof()) {
                e.RowKey = -1;  // deleted meanwhile: inserted again below
            } else {
                q.Edit();
                WriteSettingToQuery(&q, &e, -1);
                q.Post();
            }
        } catch (const std::exception&) {
            e.RowKey = -1;
        }
    }

    for (RegSetting& e : Settings) {
        if (e.RowKey >= 1) continue;
        q.Close();
        q.SetSQL("select * from usersettings");
        try {
            q.Open();
            q.Insert();
            const int key = KeyGen->NextKey();
            WriteSettingToQuery(&q, &e, key);
            q.Post();
            e.RowKey = key;
        } catch (const std::exception&) {
            // The entry stays without a row; the next one is saved on its own.
        }
    }
    return true;
}

bool DbUserSettings::InsertUserValue(int settingId, QuantoraSettingType type, const Variant& value,
                                     int index) {
    RegSetting* e = FindEntry(Settings, settingId, index);
    if (!e) e = &Settings.emplace_back();
    e->SettingId = settingId;
    e->ValueType = type;
    e->Value = value;
    e->Index = index;
    return true;
}

Variant DbUserSettings::GetUserValue(int settingId, const Variant& defaultValue, int index) const {
    const RegSetting* e = FindEntry(Settings, settingId, index);
    return e ? e->Value : defaultValue;
}

void DbUserSettings::WriteSettingToQuery(TQuery* q, RegSetting* entry, int rowKey) {
    if (!q || !entry)
        throw quantora::MisuseError("DbUserSettings::WriteSettingToQuery: no query or entry");
    if (rowKey > 0) q->FieldByName("USERSETTINGS_ID")->SetAsInteger(rowKey);
    q->FieldByName("EMPLOYEE_ID")->SetAsInteger(UserId);
    q->FieldByName("SETTING_ID")->SetAsInteger(entry->SettingId);
    q->FieldByName("SETTINGINDEX")->SetAsInteger(entry->Index > 0 ? entry->Index : 0);
    q->FieldByName("SETTINGVALUE")->SetAsString(quantora::SettingValueText(entry->Value));
    q->FieldByName("AUTOSTORE")->SetAsString(SavingAutomatically ? "Y" : "N");
    q->FieldByName("CREATIONDATE")->SetAsDateTime(quantora::LocalNow());
}
