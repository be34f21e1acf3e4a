// Peak evaluation settings through the database: value kinds, six significant digits, missing
// and extra parameters, replacing parameters, settings missing and a value no SQL literal holds.
#include <gtest/gtest.h>

#include <cmath>

#include "quantora/base/DateTime.h"
#include "quantora/calibration/Peakevalcaltables.h"
#include "quantora/dblayer/TQuery.h"
#include "tests/calibration/CalibTestSupport.h"

using quantora::MemoryLogger;

namespace {

class PeakEvalCalTest : public ::testing::Test {
  protected:
    quantora::test::TestDatabase db{true};

    static PeakEvalCalibration Setting(const char* name) {
        PeakEvalCalibration cal;
        cal.PeakEvalCalId = 4;
        cal.Name = name;
        cal.EmployeeId = 12;
        cal.Comment = "for Ge1";
        cal.CreationDate = calibtest::Date(2023, 4, 5) + 0.25;
        return cal;
    }
};

}  // namespace

TEST_F(PeakEvalCalTest, ParametersKeepTheirKindAndSixSignificantDigits) {
    PeakEvalCalibration cal = Setting("precise");
    cal.SearchSignificance = 0.123456789;  // 5, float
    cal.WidthMode = 4;                     // 10, choice of 1 to 3
    cal.SmoothingPoints = -7;              // 2, integer
    cal.KeepNegativeAreas = true;          // 53, flag
    ASSERT_TRUE(StorePeakEvalCal(&cal, db.name(), true, nullptr));
    EXPECT_EQ(db.Count("PEAKEVALCALPARAMLIST WHERE CREATIONDATE IS NOT NULL"), 61);
    TQuery d;  // dated now, by a date literal every engine reads as a date
    EXPECT_NEAR(
        db.Open(d, "SELECT CREATIONDATE FROM PEAKEVALCALPARAMLIST").Fields()[0]->AsDateTime(),
        quantora::LocalNow(), 1.0 / 24);
    PeakEvalCalibration back;
    ASSERT_TRUE(RetrievePeakEvalCal(&back, db.name(), 4, nullptr));
    EXPECT_EQ(back.Name + "|" + back.Comment, "precise|for Ge1");
    EXPECT_NEAR(back.CreationDate, cal.CreationDate, 1e-9);
    EXPECT_DOUBLE_EQ(back.SearchSignificance, 0.123457);
    EXPECT_EQ(back.WidthMode, 0);
    for (int n = 1; n <= PeakEvalCalibration::kParamCount; ++n) {
        if (n == 5 || n == 10) continue;
        EXPECT_EQ(back.GetStoredValue(n), cal.GetStoredValue(n)) << n;
    }

    // A missing parameter keeps its default, an unknown number is ignored.
    db.Exec("DELETE FROM PEAKEVALCALPARAMLIST WHERE PEAKEVALCALPARAM_ID = 30");
    db.Exec(
        "INSERT INTO PEAKEVALCALPARAMLIST (PEAKEVALCAL_ID, PEAKEVALCALPARAM_ID, PECPVALUE) "
        "VALUES (4, 70, 1)");
    back.InitialDamping = 99.0;
    ASSERT_TRUE(RetrievePeakEvalCal(&back, db.name(), 4, nullptr));
    EXPECT_EQ(back.InitialDamping, PeakEvalCalibration().InitialDamping);
}

TEST_F(PeakEvalCalTest, StoringOverASettingReplacesOnlyItsParametersFailuresAreReported) {
    PeakEvalCalibration cal = Setting("original");
    cal.Comment.clear();
    ASSERT_TRUE(StorePeakEvalCal(&cal, db.name(), true, nullptr));
    EXPECT_EQ(db.Count("PEAKEVALCAL WHERE CMT IS NULL"), 1);
    cal.Name = "renamed";
    cal.MinNetArea = 25.0;
    ASSERT_TRUE(StorePeakEvalCal(&cal, db.name(), false, nullptr));
    EXPECT_EQ(db.Scalar("SELECT NAME FROM PEAKEVALCAL"), "original");
    EXPECT_EQ(db.Count("PEAKEVALCALPARAMLIST"), 61);
    PeakEvalCalibration back;
    back.PeakEvalCalId = 4;
    ASSERT_TRUE(RetrievePeakEvalCal(&back, db.name(), 0, nullptr));  // the key it holds
    EXPECT_EQ(back.MinNetArea, 25.0);

    MemoryLogger log;
    EXPECT_FALSE(RetrievePeakEvalCal(&back, db.name(), 5, &log));
    db.Exec("INSERT INTO PEAKEVALCAL (PEAKEVALCAL_ID, NAME) VALUES (6, 'empty')");
    EXPECT_FALSE(RetrievePeakEvalCal(&back, db.name(), 6, &log));
    EXPECT_EQ(back.Name, "empty");
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.entries[0].kind, MemoryLogger::Kind::Message);
    EXPECT_EQ(log.entries[0].text + "|" + log.entries[1].text,
              "Specified Peak evaluation algorithm setting does not exist (Id=5)|Parameters do "
              "not exist for Peak evaluation algorithm setting (Id=6)");

    // A value no SQL literal holds stops the chain and cancels the new setting.
    cal = Setting("refused");
    cal.PeakEvalCalId = 7;
    cal.MinNetArea = std::nan("");
    EXPECT_FALSE(StorePeakEvalCal(&cal, db.name(), true, &log));
    EXPECT_EQ(db.Count("PEAKEVALCAL WHERE PEAKEVALCAL_ID = 7"), 0);
    EXPECT_EQ(log.entries.back().kind, MemoryLogger::Kind::Error);
}
