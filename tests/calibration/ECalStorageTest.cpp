// Energy calibrations through the database: which calibration applies, points, the nonlinear
// part and bad fits.
#include <gtest/gtest.h>

#include <cmath>

#include "quantora/base/Format.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/ECalStorage.h"
#include "tests/calibration/CalibTestSupport.h"

using calibtest::Date;
using quantora::Format;

namespace {

class ECalStorageTest : public ::testing::Test {
  protected:
    quantora::test::TestDatabase db{true};
    quantora::CountingKeyGen ecalKeys{1}, pointKeys{100};

    // A calibration of spectrum 7 through the points (ch, gain * ch).
    static ECalibration Make(const char* name, bool tentative, TDateTime modified,
                             std::initializer_list<double> channels, double gain = 0.5) {
        ECalibration cal;
        cal.SpectrumId = 7;
        cal.Name = name;
        cal.Tentative = tentative;
        cal.CreationDate = Date(2019, 5, 1);
        cal.LastModifiedDate = modified;
        int i = 0;
        for (double ch : channels)
            cal.LinearPart.Set(i++, ch, gain * ch, 0.05, 0.01, -1, Format("p%g", ch).c_str(), true);
        cal.LinearPart.CalcCoeff();
        return cal;
    }
    int Store(ECalibration cal) {
        StoreECal(&cal, &ecalKeys, &pointKeys, db.name(), nullptr, nullptr);
        return cal.ECalId;
    }
    AnsiString Tentative(int key) {
        return db.Scalar(Format("SELECT TENTATIVE FROM ECAL WHERE ECAL_ID = %d", key));
    }
};

}  // namespace

TEST_F(ECalStorageTest, NonTentativeWinsOverNewerTentativeThenNewestModification) {
    const int a = Store(Make("A", false, Date(2020, 1, 1), {100, 900}, 0.5));
    const int b = Store(Make("B", true, Date(2022, 1, 1), {100, 900}, 0.6));
    EXPECT_EQ(Tentative(a), "Y");  // storing marks the earlier ones tentative
    Store(Make("C", true, Date(2021, 1, 1), {100, 900}, 0.7));
    EXPECT_EQ(Tentative(b), "Y");

    db.Exec(Format("UPDATE ECAL SET TENTATIVE = 'N' WHERE ECAL_ID = %d", a));
    ECalibration cal;
    cal.SpectrumId = 7;
    RetrieveECalForSpectrum(&cal, db.name(), -1, 0.0);
    EXPECT_EQ(cal.Name, "A");
    EXPECT_NEAR(cal.Energy(1000), 500.0, 1e-9);

    // Only tentative ones ("y" counts as "Y"): the most recently modified, not the last stored.
    db.Exec(Format("UPDATE ECAL SET TENTATIVE = 'y' WHERE ECAL_ID = %d", a));
    RetrieveECalForSpectrum(&cal, db.name(), -1, 0.0);
    EXPECT_TRUE(cal.ECalId == b && cal.Tentative);
    EXPECT_NEAR(cal.Energy(1000), 600.0, 1e-9);

    // Through the measurement's main spectrum; a measurement of no known type, or a spectrum
    // without calibrations, leaves the Init state.
    MeasTypeInfoData info;
    info.MeasType = 2;
    info.Spectra = {{8, 1, "main"}, {7, 2, "other"}};
    auto viaMeasurement = [&] {
        RetrieveLinECalForMeasurement(&cal, db.name(), &info);
        return Format("%d %d %s", cal.ECalId, cal.LinearPart.IsDefault(), cal.Name.c_str());
    };
    EXPECT_EQ(viaMeasurement(), "-1 1 ");
    EXPECT_EQ(cal.SpectrumId, 8);
    info.Spectra[0].SPECTRUM_ID = 7;
    EXPECT_EQ(viaMeasurement(), Format("%d 0 B", b));
    info.MeasType = 5;
    EXPECT_EQ(viaMeasurement(), "-1 1 ");
}

TEST_F(ECalStorageTest, PointsInChannelOrderAndTheDefaultLine) {
    ECalibration stored = Make("pts", false, 0.0, {800, 100, 450});
    stored.LinearPart.Points[2].Description.clear();
    StoreECal(&stored, &ecalKeys, &pointKeys, db.name(), nullptr, nullptr);
    // No modification date: the creation date is stored; no analysis: null.
    EXPECT_EQ(db.Scalar(Format("SELECT COUNT(*) FROM ECAL WHERE ECAL_ID = %d AND LASTMODIFIEDDATE "
                               "= CREATIONDATE AND NONLINANALYSIS_ID IS NULL",
                               stored.ECalId)),
              "1");

    ECalibration cal;
    cal.ECalId = stored.ECalId;
    RetrieveLinearECal(&cal, db.name());
    AnsiString points;
    for (int i = 0; i < cal.LinearPart.GetPointCount(); ++i) {
        const auto& p = cal.LinearPart.Points[i];
        points += Format("%g:%d:%s ", p.ChPos, p.PointId, p.Description.c_str());
    }
    EXPECT_EQ(points, "100:101:p100 450:102: 800:100:p800 ");  // keys in storing order

    // One point: the default line.
    db.Exec(Format("DELETE FROM ECALPOINT WHERE CHPOS > 100"));
    RetrieveECal(&cal, db.name(), -1, 0.0);
    EXPECT_TRUE(cal.LinearPart.IsDefault());
    EXPECT_DOUBLE_EQ(cal.Energy(123.0), 123.0);

    // No row: the attributes stay, the nonlinear part still follows the caller's key.
    calibtest::StoreAnalysis(db, 11, calibtest::FittedCorrection(2.0));
    ECalibration other = Make("kept", false, 0.0, {100, 900});
    other.ECalId = 999;
    other.NonlinAnalysisId = 11;
    RetrieveECal(&other, db.name(), -1, 0.0);
    EXPECT_EQ(Format("%s %d %d %s", other.Name.c_str(), other.LinearPart.IsDefault(),
                     other.NonlinValid, other.NonlinName.c_str()),
              "kept 1 1 analysis 11");
}

TEST_F(ECalStorageTest, NonlinearPartFromTheRowOrTheSetupAtTheMeasurementDate) {
    const NonlinECalibr bow = calibtest::FittedCorrection(3.0);
    calibtest::StoreAnalysis(db, 11, bow);
    calibtest::StoreAnalysis(db, 12, calibtest::FittedCorrection(-1.0));
    calibtest::AddSetting(db, "NONLIN", 5, Date(2001, 1, 1), 12);

    ECalibration named = Make("named", false, Date(2020, 1, 1), {100, 1000, 3000});
    named.UseNonlinPart = true;
    named.NonlinAnalysisId = 11;
    Store(named);
    ECalibration cal;
    cal.SpectrumId = 7;
    RetrieveECalForSpectrum(&cal, db.name(), 5, Date(2002, 1, 1));
    ASSERT_TRUE(cal.NonlinValid && cal.NonlinAnalysisId == 11);  // the row's, not the setup's
    // The line is refitted through the corrected channels, as in memory.
    named.NonlinPart() = bow;
    named.LinearPart.CalcCoeff();
    for (double ch : {0.0, 2500.0, 4000.0}) EXPECT_NEAR(cal.Energy(ch), named.Energy(ch), 1e-9);

    // The row asks for a nonlinear part without naming one: the setup's at the date.
    ECalibration unnamed = Make("unnamed", false, Date(2021, 1, 1), {100, 1000, 3000});
    unnamed.UseNonlinPart = true;
    Store(unnamed);
    // analysis, valid, used: at a date with the setup's analysis, before it, and for a named
    // analysis that does not exist.
    auto nonlin = [&](int setup, TDateTime at) {
        RetrieveECalForSpectrum(&cal, db.name(), setup, at);
        return Format("%d %d %d", cal.NonlinAnalysisId, cal.NonlinValid, cal.UseNonlinPart);
    };
    EXPECT_EQ(nonlin(5, Date(2002, 1, 1)), "12 1 1");
    EXPECT_EQ(nonlin(5, Date(2000, 6, 1)), "-1 0 0");
    db.Exec("UPDATE ECAL SET NONLINANALYSIS_ID = 99");
    EXPECT_EQ(nonlin(-1, 0.0), "-1 0 0");
}

TEST_F(ECalStorageTest, ASingularFitIsReportedNotStored) {
    const int earlier = Store(Make("good", false, Date(2020, 1, 1), {100, 900}));
    ECalibration bad = Make("bad", false, Date(2021, 1, 1), {300, 300});
    EXPECT_FALSE(bad.LinearPart.IsValid());
    EXPECT_THROW(StoreECal(&bad, &ecalKeys, &pointKeys, db.name(), nullptr, nullptr), Exception);
    EXPECT_EQ(db.Count("ECAL"), 1);
    EXPECT_EQ(Tentative(earlier), "N");

    // Such points stored by another program: an invalid line that says why, never NaNs.
    db.Exec("INSERT INTO ECAL (ECAL_ID, SPECTRUM_ID) VALUES (50, 7)");
    db.Exec(
        "INSERT INTO ECALPOINT (ECALPOINT_ID, ECAL_ID, CHPOS, ENERGY) VALUES (51, 50, 300, 1), "
        "(52, 50, 300, 2)");
    ECalibration cal;
    cal.ECalId = 50;
    RetrieveLinearECal(&cal, db.name());
    ASSERT_FALSE(cal.LinearPart.IsValid());
    calibtest::ExpectThrowsMessage([&] { cal.Energy(10.0); },
                                   "LinearECalibr: " + cal.LinearPart.InvalidReason());
}
