// The option values of one user (an employee) kept in the database: SETTING defines each
// setting (id, name, value type), USERSETTINGS holds the user's values. DbUserSettings loads
// them into RegSetting entries, lets the application read and change them by setting id (and
// index), and writes them back: rows it loaded are updated, new entries are inserted. Entries
// are never deleted from the database.
#pragma once

#include <vector>

#include "quantora/base/Types.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Variant.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/services/RegSetting.h"

class DbUserSettings {
  public:
    DbUserSettings();
    // Saves when SaveOnDestruction is set (rows marked AUTOSTORE "Y"). Never throws: a failed
    // save is reported with quantora::ShowMessage.
    ~DbUserSettings();
    DbUserSettings(const DbUserSettings&) = delete;
    DbUserSettings& operator=(const DbUserSettings&) = delete;

    // Drops the entries and the database, key generator and user; the two flags stay.
    void Reset();
    void SetBasicData(const AnsiString& dbName, IntKeyGen* keyGen, int userId);

    // Replaces the entries with the user's rows whose setting has a value type "I", "F" or
    // "T", ordered by SETTINGINDEX, then CREATIONDATE; returns their number.
    int RetrieveSettings();
    // Update pass over the entries that have a row, then insert pass over those without one
    // (also those whose row has gone). A failure of one entry is dropped and the next one goes
    // on; an entry whose RowKey is still below 1 afterwards has no row. Returns true.
    bool SaveSettings();

    // Sets the entry that matches `settingId` and `index` (an index of 0 or less matches any
    // index of the setting), appending one when none does. Returns true.
    bool InsertUserValue(int settingId, QuantoraSettingType type, const Variant& value,
                         int index = 0);
    // The value of the matching entry, else `defaultValue`.
    Variant GetUserValue(int settingId, const Variant& defaultValue, int index = 0) const;

    // Writes the columns of the row that `q` is editing or inserting; USERSETTINGS_ID only when
    // `rowKey` is greater than 0.
    void WriteSettingToQuery(TQuery* q, RegSetting* entry, int rowKey);

    AnsiString DbName;
    IntKeyGen* KeyGen = nullptr;  // not owned; keys of new USERSETTINGS rows
    int UserId = -1;              // EMPLOYEE_ID
    bool SavingAutomatically = false;
    bool SaveOnDestruction = false;
    std::vector<RegSetting> Settings;
};
