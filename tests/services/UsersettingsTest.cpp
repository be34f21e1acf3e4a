// User settings: values of every type surviving save and
// reload exactly, the leading-number reading of stored text, update and insert passes, the save
// on destruction and its failure path.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/frame/UiHooks.h"
#include "quantora/services/Usersettings.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using T = QuantoraSettingType;

namespace {

constexpr int kUser = 5, kInt = 7, kFloat = 8, kText = 9;

bool SameDouble(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(UserSettings, LeadingNumberReading) {
    using quantora::ReadLeadingFloat, quantora::ReadLeadingInteger;
    const std::pair<const char*, int64_t> ints[] = {
        {"  42abc", 42}, {"abc", 0}, {"-17", -17}, {"+5", 5},
        {"12.9", 12},    {"- 3", 0}, {"1e3", 1},   {"99999999999999999999", INT64_MAX}};
    for (auto [text, v] : ints) EXPECT_EQ(ReadLeadingInteger(text), v) << text;
    const std::pair<const char*, double> floats[] = {
        {" 3.25xyz", 3.25}, {"-2.5E-3kg", -0.0025}, {".5", 0.5},         {"1,5", 1.0},
        {"1e", 1.0},        {"0x10", 0.0},          {"1e999", HUGE_VAL}, {"-1e999", -HUGE_VAL},
        {"1e-999", 0.0},    {" -Infinity", 0.0},    {"nan", 0.0}};
    for (auto [text, v] : floats) EXPECT_TRUE(SameDouble(ReadLeadingFloat(text), v)) << text;
}

class UserSettingsDb : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* defs[] = {"7, 'Int', 'Count'", "8, 'F', 'Gain'",  "9, 'T', 'Title'",
                              "10, 'X', 'Odd'",    "11, '', 'Blank'", "12, null, 'None'"};
        for (const char* d : defs)
            db.Exec(Format("insert into setting (setting_id, valuetype, name) values (%s)", d));
        s.SetBasicData(db.alias(), &keys, kUser);
    }
    // A USERSETTINGS row written by another program.
    void Raw(int id, int user, int setting, int index, const char* value,
             const char* date = "2024-01-01 00:00:00") {
        db.Exec(
            Format("insert into usersettings (usersettings_id, employee_id, setting_id, "
                   "settingindex, settingvalue, creationdate) values (%d, %d, %d, %d, '%s', "
                   "'%s')",
                   id, user, setting, index, value, date));
    }
    AnsiString Col(const char* column, int key) {
        return db.Scalar(
            Format("select %s from usersettings where usersettings_id = %d", column, key));
    }

    quantora::test::TestDatabase db{true};
    quantora::CountingKeyGen keys{100, db.alias()};
    DbUserSettings s;
};

TEST_F(UserSettingsDb, ValuesOfEveryTypeSurviveSaveAndReloadExactly) {
    const int64_t ints[] = {0, -1, INT64_MAX, INT64_MIN};
    const double floats[] = {0.5, 0.1, 1.0 / 3.0, -0.0, 5e-324, DBL_MAX, -HUGE_VAL};
    const AnsiString texts[] = {"", "  12abc  "};  // hostile texts: the security suite
    int i = 0;
    for (int64_t v : ints) s.InsertUserValue(kInt, T::Integer, Variant(v), ++i);
    for (double v : floats) s.InsertUserValue(kFloat, T::Float, Variant(v), ++i);
    for (const AnsiString& v : texts) s.InsertUserValue(kText, T::Text, Variant(v), ++i);
    s.SaveSettings();
    EXPECT_EQ(Col("settingvalue", s.Settings[4].RowKey), "0.5");

    DbUserSettings back;
    back.SetBasicData(db.alias(), &keys, kUser);
    ASSERT_EQ(back.RetrieveSettings(), i);
    i = 0;
    for (int64_t v : ints) EXPECT_EQ(back.GetUserValue(kInt, Variant(), ++i), Variant(v));
    for (double v : floats)
        EXPECT_TRUE(SameDouble(back.GetUserValue(kFloat, Variant(), ++i).float_value(), v)) << v;
    for (const AnsiString& v : texts)
        EXPECT_EQ(back.GetUserValue(kText, Variant(), ++i), Variant(v));
    EXPECT_EQ(back.Settings[0].Name + Format("|%d", int(back.Settings[4].ValueType)),
              Format("Count|%d", int(T::Float)));

    // NaN has no decimal form: refused before anything is written.
    const AnsiString rows = db.Scalar("select count(*) from usersettings");
    s.InsertUserValue(kFloat, T::Float, Variant(NAN), ++i);
    EXPECT_THROW(s.SaveSettings(), Exception);
    EXPECT_EQ(db.Scalar("select count(*) from usersettings"), rows);
}

TEST_F(UserSettingsDb, RetrievingReadsTheLeadingNumberAndSkipsUnknownTypes) {
    Raw(1, kUser, kInt, 0, " 12.9kg", "2024-01-02 00:00:00");
    Raw(2, kUser, kInt, 0, "-3", "2024-01-01 00:00:00");  // older: found first
    Raw(3, kUser, kFloat, 2, "2.5e1x");
    Raw(4, kUser, kFloat, 1, "none");
    Raw(5, kUser, kText, 1, " 7 ");
    for (int setting : {10, 11, 12}) Raw(10 + setting, kUser, setting, 0, "1");
    Raw(30, kUser + 1, kInt, 0, "1");
    ASSERT_EQ(s.RetrieveSettings(), 5);
    EXPECT_EQ(s.GetUserValue(kInt, Variant()), Variant(int64_t{-3}));
    EXPECT_EQ(s.Settings[1].Value, Variant(int64_t{12}));
    EXPECT_EQ(s.GetUserValue(kFloat, Variant(), 2), Variant(25.0));
    EXPECT_EQ(s.GetUserValue(kFloat, Variant(), 1), Variant(0.0));
    EXPECT_EQ(s.GetUserValue(kText, Variant()), Variant(" 7 "));
    EXPECT_EQ(s.Settings[0].RowKey, 2);
}

TEST_F(UserSettingsDb, SavingUpdatesLoadedRowsAndInsertsTheRest) {
    s.InsertUserValue(kInt, T::Integer, Variant(1));
    s.InsertUserValue(kFloat, T::Float, Variant(0.25));
    s.SaveSettings();
    s.InsertUserValue(kInt, T::Integer, Variant(2));
    s.InsertUserValue(kText, T::Text, Variant("new"), 2);
    s.SaveSettings();
    EXPECT_EQ(db.Count("usersettings"), 3);  // the second save updated the first two rows
    EXPECT_EQ(Col("settingvalue || settingindex || autostore", s.Settings[0].RowKey), "20N");
    EXPECT_EQ(Col("settingindex", s.Settings[2].RowKey), "2");

    // A row deleted by another program comes back under a new key; a key naming another
    // user's row leaves that row alone and gets a new row too.
    const int floatKey = s.Settings[1].RowKey;
    db.Exec(Format("delete from usersettings where usersettings_id = %d", floatKey));
    Raw(50, kUser + 1, kText, 0, "foreign");
    s.Settings[2].RowKey = 50;
    s.SaveSettings();
    EXPECT_NE(s.Settings[1].RowKey, floatKey);
    EXPECT_EQ(Col("settingvalue", s.Settings[1].RowKey), "0.25");
    EXPECT_EQ(Col("settingvalue", 50), "foreign");
    EXPECT_EQ(Col("employee_id", s.Settings[2].RowKey), std::to_string(kUser));
    EXPECT_EQ(db.Count("usersettings"), 5);
}

TEST_F(UserSettingsDb, MissingConfigurationIsRejectedDestructionSavesWhenAsked) {
    DbUserSettings bare;
    EXPECT_THROW(bare.RetrieveSettings(), Exception);
    for (int user : {kUser, 0}) {
        s.InsertUserValue(kInt, T::Integer, Variant(1));
        s.SetBasicData(db.alias(), user ? nullptr : &keys, user);
        EXPECT_THROW(s.SaveSettings(), Exception) << user;
    }
    s.SetBasicData(db.alias(), &keys, kUser);
    s.Settings.clear();
    {
        DbUserSettings d;
        d.SetBasicData(db.alias(), &keys, kUser);
        d.InsertUserValue(kText, T::Text, Variant("auto"));
        d.SaveOnDestruction = true;
    }
    ASSERT_EQ(s.RetrieveSettings(), 1);
    const int key = s.Settings[0].RowKey;
    EXPECT_EQ(Col("autostore", key), "Y");
    s.SaveSettings();
    EXPECT_EQ(Col("autostore", key), "N");

    AnsiString shown;
    quantora::InstallUiHooks({{}, [&](const AnsiString& text) { shown = text; }, {}});
    EXPECT_NO_THROW({
        DbUserSettings d;  // never configured: the save fails
        d.SaveOnDestruction = true;
    });
    quantora::InstallUiHooks({});
    EXPECT_NE(shown.find("could not be saved"), AnsiString::npos);
}

}  // namespace
