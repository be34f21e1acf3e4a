// Nonlinearity, efficiency and resolution analyses: the analysis valid for a setup at a date,
// stored polynomials and fits (missing, corrupted), updates and the references deletion drops.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <tuple>
#include <utility>
#include <vector>

#include "quantora/base/Format.h"
#include "quantora/calibration/AnalysisRetrieval.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/ECalStorage.h"
#include "tests/calibration/CalibTestSupport.h"

using calibtest::Date;
using calibtest::ExpectThrowsMessage;
using quantora::Format;
using quantora::test::TestDatabase;

namespace {

class AnalysisTest : public ::testing::Test {
  protected:
    TestDatabase db{true};

    // Row `key` of the record's table.
    template <class R>
    R Read(int key) {
        TQuery q;
        R r;
        EXPECT_TRUE(r.GetData(
            &db.Open(q, Format("SELECT * FROM %s WHERE %s_ID = %d", R::Table, R::Table, key))));
        return r;
    }
};

}  // namespace

TEST_F(AnalysisTest, TheSettingValidAtADateBoundaryIncludedForEveryKind) {
    for (const char* kind : {"NONLIN", "EFF", "RESOL"}) {
        SCOPED_TRACE(kind);
        auto find = [kind](const char* d, int s, TDateTime t) {
            return *kind == 'N'   ? RetrieveDefaultNonlinCalForMeas(nullptr, d, s, t, true)
                   : *kind == 'E' ? RetrieveDefaultEffCalForMeas(nullptr, d, s, t)
                                  : RetrieveDefaultResolCalForMeas(nullptr, d, s, t);
        };
        for (int key : {1, 2, 3})
            db.Exec(Format("INSERT INTO %sANALYSIS (%sANALYSIS_ID, NAME) VALUES (%d, 'a%d')", kind,
                           kind, key, key));
        calibtest::AddSetting(db, kind, 5, Date(2001, 1, 1), 1);
        calibtest::AddSetting(db, kind, 5, Date(2003, 1, 1), 2);
        calibtest::AddSetting(db, kind, 6, Date(1990, 1, 1), 3);
        EXPECT_EQ(find(db.name(), 5, Date(2002, 6, 30)), 1);
        EXPECT_EQ(find(db.name(), 5, Date(2003, 1, 1)), 2);
        EXPECT_EQ(find(db.name(), 5, Date(2000, 12, 31)), -1);
        EXPECT_EQ(find(db.name(), 6, Date(2000, 12, 31)), 3);
    }

    // recalcLinear refits the linear part from its points once the nonlinearity is loaded.
    for (const bool recalc : {false, true}) {
        ECalibration cal;
        cal.LinearPart.Set(0, 100, 50, 0, 0.01, -1, "a", true);
        cal.LinearPart.Set(1, 200, 100, 0, 0.01, -1, "b", true);
        EXPECT_EQ(RetrieveDefaultNonlinCalForMeas(&cal, db.name(), 5, Date(2010, 1, 1), recalc), 2);
        EXPECT_NEAR(cal.LinearPart.Energy(300), recalc ? 150 : 300, 1e-6) << recalc;
    }

    // Loaded into a calibration object: resolution parameters, valid without points.
    db.Exec("UPDATE RESOLANALYSIS SET PARAMA = 2.5, PARAMB = 0.003 WHERE RESOLANALYSIS_ID = 2");
    FwhmCalibrClass resol;
    EXPECT_EQ(RetrieveDefaultResolCalForMeas(&resol, db.name(), 5, Date(2010, 1, 1)), 2);
    EXPECT_TRUE(resol.Valid && resol.Name == "a2");
    EXPECT_DOUBLE_EQ(resol.Fwhm(1332.5), std::sqrt(2.5 + 0.003 * 1332.5));
    EXPECT_EQ(RetrieveDefaultResolCalForMeas(&resol, db.name(), 5, Date(1999, 1, 1)), -1);
    EXPECT_EQ(resol.FwhmCalId, -1);
}

TEST_F(AnalysisTest, MissingPartsLeaveTheCalibrationInvalidCorruptOnesThrow) {
    calibtest::StoreAnalysis(db, 1, calibtest::FittedCorrection(1.0));
    using N = NONLINANALYSISData;
    for (AnsiString N::*column :
         {&N::ORTPOLNORMVECT, &N::ORTPOLAVECT, &N::FITCOEFFVECT, &N::FITMATR}) {
        N r = Read<N>(1);
        NonlinECalibr nl;
        (r.*column).clear();
        EXPECT_NO_THROW(r.CopyToNonlinECalibr(&nl));
        EXPECT_FALSE(nl.NonlinValid);
    }
    // Degree 0 asks for -1 b-elements, which no stored vector holds: invalid, no crash.
    const double ch[] = {0, 100, 200}, dev[] = {1, 2, 1}, unc[] = {0.1, 0.1, 0.1};
    NonlinECalibr degree0, loaded;
    degree0.Fit(ch, dev, unc, 3, 0);
    N r0;
    r0.MEASNUM = 1;
    r0.CopyFromNonlinECalibr(&degree0);
    EXPECT_NO_THROW(r0.CopyToNonlinECalibr(&loaded));
    EXPECT_FALSE(loaded.NonlinValid);
    // Two measurements claimed: 2 + 2 * 2 - 1 = 5 parameters expected, 3 stored.
    ECalibration cal;
    cal.NonlinAnalysisId = 1;
    db.Exec("UPDATE NONLINANALYSIS SET MEASNUM = 2");
    ExpectThrowsMessage(
        [&] { RetrieveNonlinCal(&cal, db.name(), -1, 0.0); },
        "NumVector::LoadFromString: corrupted data (dim=5, expected len: 40, found: 24)");

    // Efficiency: the fit size is the length of the stored coefficient vector, 8 bytes each.
    const N stored = Read<N>(1);
    EFFANALYSISData e;
    e.ORTPOLDEGREE = 2;
    std::tie(e.ORTPOLNORMVECT, e.ORTPOLAVECT, e.ORTPOLBVECT) =
        std::tie(stored.ORTPOLNORMVECT, stored.ORTPOLAVECT, stored.ORTPOLBVECT);
    NumVector<double>(7).SaveToString(e.FITCOEFFVECT);
    NumMatrix<double>(7, 7).SaveToString(e.FITMATR);
    EffCalibration eff;
    e.CopyToEffCalibr(&eff);
    EXPECT_TRUE(eff.Valid);
    EXPECT_EQ(eff.FitCoeff.Dim(), 7);
    // Fewer fit parameters than the polynomial has terms: invalid, not an error.
    NumVector<double>(2).SaveToString(e.FITCOEFFVECT);
    NumMatrix<double>(2, 2).SaveToString(e.FITMATR);
    EXPECT_NO_THROW(e.CopyToEffCalibr(&eff));
    EXPECT_FALSE(eff.Valid);
}

TEST_F(AnalysisTest, RealEfficiencyAnalysisWithTheEnergyRangeOfItsPeaks) {
    // energy, efficiency, unc_efficiency of the Eu-152 peaks (columns 3, 8 and 9)
    std::ifstream in(QUANTORA_SHARED_DATA "/calib/eu_calib_7cm_curie_peak_data.csv");
    std::vector<double> e, eff, unc;
    double v[3];
    for (std::string line; std::getline(in, line);)
        if (std::sscanf(line.c_str(), "%*[^,],%*[^,],%lf,%*[^,],%*[^,],%*[^,],%*[^,],%lf,%lf", v,
                        v + 1, v + 2) == 3) {
            e.push_back(v[0]);
            eff.push_back(v[1]);
            unc.push_back(v[2]);
        }
    ASSERT_GE(e.size(), 8u);
    EffCalibration fitted;
    fitted.Fit(e.data(), eff.data(), unc.data(), static_cast<int>(e.size()), 3, true);
    EFFANALYSISData a;
    a.EFFANALYSIS_ID = 3;
    a.CopyFromEffCalibr(&fitted);
    a.Insert(nullptr, db.name(), nullptr);
    db.Exec("INSERT INTO EFFMEASUREMENT (EFFMEASUREMENT_ID, EFFANALYSIS_ID) VALUES (30, 3)");
    for (size_t i = 0; i < e.size(); ++i)
        db.Exec(
            Format("INSERT INTO EFFPEAK (EFFPEAK_ID, EFFMEASUREMENT_ID, MEASE) VALUES (%zu, "
                   "30, %.17g)",
                   300 + i, std::log(e[i])));

    EffCalibration back;
    ASSERT_TRUE(RetrieveEffCal(&back, 3, db.name()));
    ASSERT_TRUE(back.Valid && back.Absolute);
    EXPECT_NEAR(back.LowerEnergy, fitted.LowerEnergy, 1e-9);
    EXPECT_NEAR(back.UpperEnergy, fitted.UpperEnergy, 1e-9);
    for (double energy : {121.7817, 1408.013})
        EXPECT_EQ(std::make_pair(back.Efficiency(energy), back.EfficiencyUnc(energy)),
                  std::make_pair(fitted.Efficiency(energy), fitted.EfficiencyUnc(energy)));
    EXPECT_TRUE(RetrieveEffCal(&back, 99, db.name()));  // no such row: read, nothing loaded
    EXPECT_FALSE(back.Valid);
    EXPECT_FALSE(RetrieveEffCal(&back, 0, db.name()));
    EXPECT_EQ(back.EffAnalysisId, -1);
}

TEST_F(AnalysisTest, UpdateDataAndTheReferencesDeletionDrops) {
    db.Exec("INSERT INTO NONLINANALYSIS (NONLINANALYSIS_ID) VALUES (1), (2)");
    // The caller's query stands on another analysis: the record's own row is updated.
    TQuery live;
    db.Open(live, "SELECT * FROM NONLINANALYSIS WHERE NONLINANALYSIS_ID = 1", true);
    NONLINANALYSISData other;
    other.NONLINANALYSIS_ID = 2;
    other.NAME = "second";
    other.UpdateData(db.name(), &live);
    EXPECT_EQ(db.Count("NONLINANALYSIS WHERE NAME = 'second'"), 1);
    other.NONLINANALYSIS_ID = 99;
    ExpectThrowsMessage([&] { other.UpdateData(db.name(), nullptr); },
                        "Could not update NONLINANALYSIS record: ID=99 not found");

    // Resolution: A of 0.0 stays null and reads back as -1, a negative B is kept.
    FwhmCalibrClass fwhm;
    fwhm.B = -0.5;
    RESOLANALYSISData resol;
    resol.RESOLANALYSIS_ID = 4;
    resol.CopyFromResolCalibr(&fwhm);
    resol.Insert(nullptr, db.name(), nullptr);
    RESOLANALYSISData back = Read<RESOLANALYSISData>(4);
    EXPECT_EQ(back.PARAMA, -1.0);
    EXPECT_EQ(back.PARAMB, -0.5);

    // Deleting a nonlinearity analysis reports the energy calibrations that use it, and drops
    // the reference of every one that names it, used or not.
    db.Exec(
        "INSERT INTO ECAL (ECAL_ID, NAME, USENONLINPART, NONLINANALYSIS_ID) VALUES (30, 'uses', "
        "'Y', 1), (31, 'names only', 'N', 1)");
    NONLINANALYSISData nl;
    nl.NONLINANALYSIS_ID = 1;
    std::set<AnsiString> blocking{"stale"}, nulled;
    nl.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
    EXPECT_TRUE(blocking.empty());
    EXPECT_EQ(nulled, std::set<AnsiString>{"ENERGY CALIBRATION ID=30 of 'uses'"});
    nl.Delete(db.alias());
    EXPECT_EQ(db.Count("ECAL WHERE NONLINANALYSIS_ID IS NULL"), 2);
}
