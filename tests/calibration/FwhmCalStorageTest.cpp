// FWHM calibrations through the database: which one applies, round trips, the caller's queries,
// and the calibrations retrieval refuses.
#include <gtest/gtest.h>

#include <cmath>

#include "quantora/base/Format.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/FwhmCalStorage.h"
#include "tests/calibration/CalibTestSupport.h"

using calibtest::Date;
using calibtest::ExpectThrowsMessage;
using quantora::Format;

namespace {

class FwhmCalStorageTest : public ::testing::Test {
  protected:
    quantora::test::TestDatabase db{true};
    quantora::CountingKeyGen fwhmKeys{1}, pointKeys{100};

    // FWHM^2 = a + 0.001 ch through points of spectrum 7.
    int Store(const char* name, bool tentative, TDateTime modified,
              std::initializer_list<double> channels, double a = 2.0) {
        FwhmCalibrClass cal;
        cal.SpectrumId = 7;
        cal.Name = name;
        cal.Comment = std::string("of ") + name;
        cal.Tentative = tentative;
        cal.CreationDate = Date(2019, 5, 1);
        cal.LastModifiedDate = modified;
        int i = 0;
        for (double ch : channels) cal.Set(i++, ch, std::sqrt(a + 0.001 * ch), 0.1, 0.02, -1);
        StoreLinearFwhmCal(&cal, &fwhmKeys, &pointKeys, db.name(), nullptr, nullptr);
        return cal.FwhmCalId;
    }
};

}  // namespace

TEST_F(FwhmCalStorageTest, TheApplicableCalibrationAndTheCallersQueries) {
    const int first = Store("first", false, 0.0, {3000, 100, 1500});
    EXPECT_EQ(db.Count("FWHMCAL WHERE LASTMODIFIEDDATE = CREATIONDATE"), 1);
    const int second = Store("second", false, Date(2021, 1, 1), {100, 2000}, 3.0);
    EXPECT_EQ(db.Rows(Format("SELECT TENTATIVE, CMT FROM FWHMCAL WHERE FWHMCAL_ID = %d", first)),
              "Y|of first\n");
    FwhmCalibrClass cal;
    RetrieveLinearFwhmCalForSpectrum(&cal, db.name(), 7, nullptr, nullptr);
    EXPECT_EQ(cal.FwhmCalId, second);
    EXPECT_NEAR(cal.Fwhm(1000.0), 2.0, 1e-9);

    // The non-tentative one wins over a newer tentative one.
    db.Exec(Format("UPDATE FWHMCAL SET TENTATIVE = 'N' WHERE FWHMCAL_ID = %d", first));
    db.Exec(Format("UPDATE FWHMCAL SET TENTATIVE = 'Y' WHERE FWHMCAL_ID = %d", second));
    RetrieveLinearFwhmCalForSpectrum(&cal, db.name(), 7, nullptr, nullptr);
    EXPECT_EQ(cal.Name, "first");
    EXPECT_NEAR(cal.Fwhm(1000.0), std::sqrt(3.0), 1e-9);

    // A spectrum without FWHM calibrations leaves the object alone; key 0 means the object's.
    RetrieveLinearFwhmCalForSpectrum(&cal, db.name(), 8, nullptr, nullptr);
    EXPECT_EQ(cal.Name, "first");
    cal.FwhmCalId = second;
    RetrieveLinearFwhmCal(&cal, 0, db.name(), nullptr, nullptr);
    EXPECT_EQ(cal.Name, "second");

    // The caller's queries, SQL and parameters as given; the point query is closed afterwards.
    TQuery fwhmQ, pointQ;
    fwhmQ.SetDatabaseName(db.alias());
    fwhmQ.SetSQL("SELECT * FROM FWHMCAL WHERE NAME = :name");
    fwhmQ.ParamByName("name")->SetAsString("first");
    pointQ.SetDatabaseName(db.alias());
    pointQ.SetSQL(Format(
        "SELECT * FROM FWHMCALPOINT WHERE FWHMCAL_ID = %d AND CHPOS > 1000 ORDER BY CHPOS DESC",
        first));
    RetrieveLinearFwhmCalForSpectrum(&cal, db.name(), 7, &fwhmQ, &pointQ);
    ASSERT_EQ(cal.GetPointCount(), 2);
    EXPECT_TRUE(cal.FwhmCalId == first && cal.Points[0].ChPos == 3000.0 && !pointQ.Active());
}

TEST_F(FwhmCalStorageTest, MissingOrTooFewPointsAndBadFitsAreRefused) {
    FwhmCalibrClass cal;
    ExpectThrowsMessage([&] { RetrieveLinearFwhmCal(&cal, 42, db.name(), nullptr, nullptr); },
                        "Specified Fwhm calibration does not exist: ID = 42");
    const int full = Store("full", false, 0.0, {100, 900});
    db.Exec("INSERT INTO FWHMCAL (FWHMCAL_ID, SPECTRUM_ID, NAME) VALUES (60, 9, 'one')");
    db.Exec(
        "INSERT INTO FWHMCALPOINT (FWHMCALPOINT_ID, FWHMCAL_ID, CHPOS, FWHM) VALUES (61, 60, "
        "10, 1.5)");
    ExpectThrowsMessage(
        [&] { RetrieveLinearFwhmCal(&cal, 60, db.name(), nullptr, nullptr); },
        "Specified Fwhm calibration does not have at least 2 calibration points: ID = 60");
    EXPECT_FALSE(cal.Valid);
    // No points at all: those of the calibration read before must not count.
    RetrieveLinearFwhmCal(&cal, full, db.name(), nullptr, nullptr);
    db.Exec("DELETE FROM FWHMCALPOINT WHERE FWHMCAL_ID = 60");
    EXPECT_THROW(RetrieveLinearFwhmCal(&cal, 60, db.name(), nullptr, nullptr), Exception);
    EXPECT_FALSE(cal.Valid);

    // Two points at one channel cannot be fitted: refused before anything is written.
    EXPECT_THROW(Store("singular", false, 0.0, {500, 500}), Exception);
    EXPECT_EQ(db.Count("FWHMCAL WHERE TENTATIVE = 'Y' OR NAME = 'singular'"), 0);
}
