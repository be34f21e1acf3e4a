// PEAK and PEAKEVAL records: conditional columns, flags, the energy index, the cascade.
#include <gtest/gtest.h>

#include <vector>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/records/Peaktables.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::TestDatabase;

namespace {

class PeaktablesTest : public ::testing::Test {
  protected:
    TestDatabase db{true};

    int Count(const AnsiString& sql) { return std::stoi(db.Scalar(sql)); }
    TQuery& Select(const AnsiString& sql) {
        q.Close();
        q.SetDatabaseName(db.alias());
        q.SetSQL(sql);
        q.Open();
        return q;
    }
    TQuery q;
};

constexpr const char* kPeakResults[] = {"EFFPEAK", "RESOLPEAK", "NUCLIDEPEAK", "NONLINPEAK",
                                        "BKGPEAK"};
constexpr const char* kKinds[] = {"NONLIN", "RESOL", "BKG", "EFF"};

}  // namespace

TEST_F(PeaktablesTest, ConditionalColumnsStayNullAndNullsReadAsReset) {
    PEAKData p;
    p.PEAK_ID = 1;
    p.SetBasicData(7, 3, 45000.25);
    p.E = 661.7;
    p.GAUSSFWHM = 0.0;  // not above 0: left alone
    p.HEIGHT = 12.5;
    p.Insert(nullptr, db.name(), nullptr);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PEAK WHERE PEAK_ID = 1 AND PEAKEVAL_ID = 7 AND "
                    "EMPLOYEE_ID = 3 AND POS = -1 AND PEAKEVALPEAK_ID IS NULL AND GAUSSFWHM IS "
                    "NULL AND BKG IS NULL AND HEIGHT = 12.5 AND CREATIONDATE IS NOT NULL"),
              1);
    PEAKData back;
    ASSERT_TRUE(back.GetData(&Select("SELECT * FROM PEAK")));
    EXPECT_EQ(back.GAUSSFWHM, -1.0);
    EXPECT_EQ(back.PEAKEVALPEAK_ID, -1);
    EXPECT_DOUBLE_EQ(back.CREATIONDATE, 45000.25);

    // Flags: "y" is true, "N" and "yes" are false, null keeps the reset value true.
    db.Exec(
        "INSERT INTO PEAKEVAL (PEAKEVAL_ID, NAME, ECAL_ID, USENEWESTECAL, USENEWESTWCAL) "
        "VALUES (1, 'pe', 5, 'y', 'N')");
    PEAKEVALData e;
    ASSERT_TRUE(e.GetData(&Select("SELECT * FROM PEAKEVAL")));
    EXPECT_TRUE(e.USENEWESTECAL);
    EXPECT_FALSE(e.USENEWESTWCAL);
    EXPECT_TRUE(e.USEAUTOECALUPDATE);
    EXPECT_EQ(e.LEFTTRESHOLDCH, 1);
    e.Reset();
    ASSERT_TRUE(e.GetData(&Select("SELECT 'yes' AS USENEWESTECAL")));
    EXPECT_FALSE(e.USENEWESTECAL);

    // Calibration references below 1 become null, also over a value already in the row.
    q.Close();
    q.SetSQL("SELECT * FROM PEAKEVAL WHERE PEAKEVAL_ID = 1");
    q.SetRequestLive(true);
    q.Open();
    e.Reset();
    ASSERT_TRUE(e.GetData(&q));
    e.ECAL_ID = -1;
    e.FWHMCAL_ID = 4;
    e.USEAUTOECALUPDATE = false;
    q.Edit();
    e.SetData(&q);
    q.Post();
    q.Close();
    q.SetRequestLive(false);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PEAKEVAL WHERE ECAL_ID IS NULL AND FWHMCAL_ID = 4 AND "
                    "USENEWESTECAL = 'Y' AND USENEWESTWCAL = 'N' AND USEAUTOECALUPDATE = 'N'"),
              1);
}

TEST_F(PeaktablesTest, ReadAllPeaksKeepsKeyOrderAmongEqualEnergies) {
    const double energies[] = {100.0, 50.0, 100.0, 100.0};  // keys 5, 3, 9, 1
    const int keys[] = {5, 3, 9, 1};
    for (int i = 0; i < 4; ++i)
        db.Exec(Format("INSERT INTO PEAK (PEAK_ID, E) VALUES (%d, %g)", keys[i], energies[i]));

    std::set<PEAKData> peaks;
    std::multiset<PEAKData*, EIndexedPeaksSetSorter> byEnergy;
    PEAKData stale;
    stale.PEAK_ID = 77;
    peaks.insert(stale);
    byEnergy.insert(&stale);
    // Rows against key order, and a second row of key 3 that is dropped.
    q.SetDatabaseName(db.alias());
    q.SetSQL(
        "SELECT PEAK_ID, E, 0 AS K FROM PEAK UNION ALL SELECT PEAK_ID, 999.0, 1 FROM PEAK WHERE "
        "PEAK_ID = 3 ORDER BY 3, 1 DESC");
    ReadAllPeaks(&q, &peaks, &byEnergy);
    EXPECT_FALSE(q.Active());  // closed before, closed after
    ASSERT_EQ(peaks.size(), 4u);
    std::vector<int> order;
    for (const PEAKData* p : byEnergy) order.push_back(p->PEAK_ID);
    EXPECT_EQ(order, (std::vector<int>{3, 1, 5, 9}));

    // An open query is read from its current row on and left open at its end.
    q.SetSQL("SELECT * FROM PEAK ORDER BY PEAK_ID");
    q.Open();
    q.Next();
    ReadAllPeaks(&q, &peaks, nullptr);
    EXPECT_TRUE(q.Active());
    EXPECT_TRUE(q.Eof());
    ASSERT_EQ(peaks.size(), 3u);
    EXPECT_EQ(peaks.begin()->PEAK_ID, 3);
    q.Close();

    // Without a key column every row carries -1: one peak at most.
    q.SetSQL("SELECT E FROM PEAK");
    ReadAllPeaks(&q, &peaks, &byEnergy);
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_EQ(byEnergy.size(), 1u);
    EXPECT_EQ(peaks.begin()->PEAK_ID, -1);
}

namespace {

// Evaluation 1 (deleted) and 2 (kept), each with peaks, a fit region, a fitted peak, parameter
// values, peak results and analysis measurements.
void FillEvaluations(const TestDatabase& db) {
    for (int pe : {1, 2}) {
        db.Exec(Format("INSERT INTO PEAKEVAL (PEAKEVAL_ID, NAME) VALUES (%d, 'pe%d')", pe, pe));
        db.Exec(
            Format("INSERT INTO PEAKEVALREGION (PEAKEVALREGION_ID, PEAKEVAL_ID) VALUES (%d, "
                   "%d)",
                   30 + pe, pe));
        db.Exec(
            Format("INSERT INTO PEAKEVALPEAK (PEAKEVALPEAK_ID, PEAKEVALREGION_ID) VALUES (%d, "
                   "%d)",
                   40 + pe, 30 + pe));
        db.Exec(
            Format("INSERT INTO PEAKPARAMVALUE (PEAKPARAMVALUE_ID, PEAKEVALPEAK_ID) VALUES "
                   "(%d, %d)",
                   50 + pe, 40 + pe));
        db.Exec(
            Format("INSERT INTO REGIONPARAMVALUE (REGIONPARAMVALUE_ID, PEAKEVALREGION_ID) "
                   "VALUES (%d, %d)",
                   60 + pe, 30 + pe));
        db.Exec(Format("INSERT INTO NUCLIDEIDENT (NUCLIDEIDENT_ID, PEAKEVAL_ID) VALUES (%d, %d)",
                       70 + pe, pe));
        for (int peak : {10 * pe, 10 * pe + 1}) {
            db.Exec(Format("INSERT INTO PEAK (PEAK_ID, PEAKEVAL_ID) VALUES (%d, %d)", peak, pe));
            for (const char* t : kPeakResults)
                db.Exec(
                    Format("INSERT INTO %s (%s_ID, PEAK_ID) VALUES (%d, %d)", t, t, peak, peak));
        }
    }
    // Measurements 7 and 12 of each analysis kind name evaluation 1; 8 names evaluation 2;
    // 9 names evaluation 1 without an analysis row (not reported, still released).
    for (const char* k : kKinds) {
        db.Exec(Format("INSERT INTO %sANALYSIS (%sANALYSIS_ID, NAME) VALUES (1, '%s a')", k, k, k));
        for (int m : {7, 12, 8, 9})
            db.Exec(
                Format("INSERT INTO %sMEASUREMENT (%sMEASUREMENT_ID, %sANALYSIS_ID, "
                       "PEAKEVAL_ID) VALUES (%d, %d, %d)",
                       k, k, k, m, m == 9 ? 99 : 1, m == 8 ? 2 : 1));
    }
}

}  // namespace

TEST_F(PeaktablesTest, DeletingAnEvaluationReleasesResultsAndRemovesItsDetails) {
    FillEvaluations(db);
    PEAKEVALData pe;
    pe.PEAKEVAL_ID = 999;  // no such row: nothing reported, nothing changed
    std::set<AnsiString> blocking{"stale"}, nulled{"stale"};
    pe.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
    EXPECT_TRUE(blocking.empty());
    EXPECT_TRUE(nulled.empty());
    pe.Delete(db.alias());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PEAK"), 4);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM EFFMEASUREMENT WHERE PEAKEVAL_ID IS NOT NULL"), 4);

    pe.PEAKEVAL_ID = 1;
    blocking = {"stale"};
    pe.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
    EXPECT_TRUE(blocking.empty());
    std::vector<AnsiString> expected;
    for (const char* k : {"BKG", "EFF", "NONLIN", "RESOL"})  // byte order: 12 before 7
        for (int m : {12, 7}) expected.push_back(Format("%sMEASURMENT ID=%d of '%s a'", k, m, k));
    EXPECT_EQ(std::vector<AnsiString>(nulled.begin(), nulled.end()), expected);

    pe.Delete(db.alias());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PEAKEVAL"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PEAK WHERE PEAKEVAL_ID = 2"), 2);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PEAK"), 2);
    for (const char* t : kPeakResults) {
        EXPECT_EQ(Count(Format("SELECT COUNT(*) FROM %s WHERE PEAK_ID IS NULL AND %s_ID IN (10, "
                               "11)",
                               t, t)),
                  2)
            << t;
        EXPECT_EQ(Count(Format("SELECT COUNT(*) FROM %s WHERE PEAK_ID IS NOT NULL", t)), 2) << t;
    }
    for (const char* t : {"PEAKEVALREGION", "PEAKEVALPEAK", "PEAKPARAMVALUE", "REGIONPARAMVALUE"})
        EXPECT_EQ(Count(Format("SELECT COUNT(*) FROM %s", t)), 1) << t;
    EXPECT_EQ(Count("SELECT COUNT(*) FROM NUCLIDEIDENT WHERE PEAKEVAL_ID IS NULL"), 1);
    for (const char* k : kKinds) {
        EXPECT_EQ(Count(Format("SELECT COUNT(*) FROM %sMEASUREMENT WHERE PEAKEVAL_ID IS NULL", k)),
                  3)
            << k;
        EXPECT_EQ(Count(Format("SELECT COUNT(*) FROM %sMEASUREMENT WHERE PEAKEVAL_ID = 2", k)), 1);
    }
}

TEST_F(PeaktablesTest, CascadeFailingAfterReleasingPeakResults) {
    // The last peak-result table is missing: the four before lose their peaks, the peaks stay.
    FillEvaluations(db);
    db.Exec("ALTER TABLE BKGPEAK RENAME TO BKGPEAK_AWAY");
    PEAKEVALData pe;
    pe.PEAKEVAL_ID = 1;
    try {
        pe.Delete(db.alias());
        ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message.find("UPDATE BKGPEAK"), AnsiString::npos) << e.Message;
    }
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PEAK"), 4);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM NONLINPEAK WHERE PEAK_ID IS NULL"), 2);

    // Inside a caller's transaction nothing of it stays.
    db.Exec("UPDATE EFFPEAK SET PEAK_ID = EFFPEAK_ID");
    try {
        Transaction tr(db.alias());
        pe.Delete(db.alias());
        tr.Commit();
    } catch (const EDatabaseError&) {
    }
    EXPECT_EQ(Count("SELECT COUNT(*) FROM EFFPEAK WHERE PEAK_ID IS NULL"), 0);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PEAK"), 4);
}
