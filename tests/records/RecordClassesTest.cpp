// What each record class of the registry adds over the record framework, one table row per
// class: the columns its reset row leaves null, every column reaching its member and back, and
// the reports and rows of its deletion on a database whose rows all refer to each other.
#include <gtest/gtest.h>

#include <map>

#include "quantora/base/Format.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/Peakevalcaltables.h"
#include "quantora/frame/LabTables.h"
#include "quantora/nuclides/Nuclibtables.h"
#include "quantora/records/Devicetables.h"
#include "quantora/records/Meastables.h"
#include "quantora/records/Othertables.h"
#include "quantora/records/Peaktables.h"
#include "quantora/records/Resulttables.h"
#include "quantora/records/Sampletables.h"
#include "tests/faults/DatabaseImage.h"

using quantora::ColumnType;
using quantora::Format;
using quantora::test::TestDatabase;

namespace {

struct Expected {
    const char* nulls;  // the reset row: null columns, and "COLUMN=value" for values not -1/''
    const char* reports = nullptr;   // blocking, then "|" and dropped references, of row 1
    const char* deletion = nullptr;  // what deleting row 1 of the fill changes
};

const std::map<std::string, Expected> kExpected = {
    {"PROJECT",
     {"SUPERPROJECT_ID ENDDATE CMT",
      "ADCANALYSIS, BKGANALYSIS, DOCUMENT, EFFANALYSIS, IRRADIATION, LOT, MEASUREMENT, "
      "MONITORANALYSIS, NONLINANALYSIS, ORDERS, PROJECT, RESOLANALYSIS, SCHEDULEDTASK|",
      "-PROJECT.1"}},
    {"DOCUMENT", {"OWNER_ID CMT", "|", "-DOCUMENT.1 -BLOBCHUNK.1"}},
    {"CLIENT", {"CLIENTINSTITUTION_ID ADDRESS EMAIL TEL CMT", "ORDERS|", "-CLIENT.1"}},
    {"ORDERS", {"COMPLETEDDATE SPECIALREQUEST CMT", "|", "-ORDERS.1"}},
    {"MEASUREMENT",
     {"SOURCE_ID SOURCELIST_ID MEASOBJTYPE_ID=1 SAMPLE_ID STARTDATE ENDDATE CMT EXPORTFILENAME",
      "ADCANALYSIS, PEAKEVAL|BKGMEASUREMENT, EFFMEASUREMENT, NONLINMEASUREMENT, RESOLMEASUREMENT",
      "-MEASUREMENT.1 -SPECTRUM.1 -MEAS_KEYWORD.1 -ACTIVITYRESULT.1 -ECAL.1 -ECALPOINT.1 "
      "-FWHMCAL.1 "
      "-FWHMCALPOINT.1 NONLINMEASUREMENT.1:MEASUREMENT_ID=~ EFFMEASUREMENT.1:MEASUREMENT_ID=~ "
      "RESOLMEASUREMENT.1:MEASUREMENT_ID=~ BKGMEASUREMENT.1:MEASUREMENT_ID=~"}},
    {"SPECTRUM",
     {"COUNTDATA SPECIFICDATA CMT", "|",
      "-SPECTRUM.1 -ACTIVITYRESULT.1 -ECAL.1 -ECALPOINT.1 -FWHMCAL.1 -FWHMCALPOINT.1"}},
    {"PEAKEVAL",
     {"CMT LEFTTRESHOLDCH=1 RIGHTTRESHOLDCH=1 ECAL_ID FWHMCAL_ID USENEWESTECAL=Y USENEWESTWCAL=Y "
      "USEAUTOECALUPDATE=Y",
      "|BKGMEASURMENT, EFFMEASURMENT, NONLINMEASURMENT, RESOLMEASURMENT",
      "-PEAKEVAL.1 -PEAK.1 -PEAKEVALREGION.1 -PEAKEVALPEAK.1 -PEAKPARAMVALUE.1 -REGIONPARAMVALUE.1 "
      "NUCLIDEIDENT.1:PEAKEVAL_ID=~ NUCLIDEPEAK.1:PEAK_ID=~ NONLINMEASUREMENT.1:PEAKEVAL_ID=~ "
      "NONLINPEAK.1:PEAK_ID=~ EFFMEASUREMENT.1:PEAKEVAL_ID=~ EFFPEAK.1:PEAK_ID=~ "
      "RESOLMEASUREMENT.1:PEAKEVAL_ID=~ RESOLPEAK.1:PEAK_ID=~ BKGMEASUREMENT.1:PEAKEVAL_ID=~ "
      "BKGPEAK.1:PEAK_ID=~"}},
    {"PEAK",
     {"PEAKEVALPEAK_ID GAUSSFWHM GAUSSFWHMUNC GAUSSAMPL GAUSSAMPLUNC HEIGHT HEIGHTUNC GUEST BKG"}},
    {"PEAKEVALREGION", {"CMT"}},
    {"PEAKEVALPEAK", {"CMT"}},
    {"PEAKPARAMVALUE", {"CMT"}},
    {"REGIONPARAMVALUE", {"CMT"}},
    {"NUCLIDEIDENT", {"CMT", "|", "-NUCLIDEIDENT.1 -NUCLIDEPEAK.1 -ACTIVITYRESULT.1"}},
    {"NUCLIDEPEAK", {"CMT"}},
    {"ACTIVITYRESULT", {"EFFANALYSIS_ID DETECTED=N CMT"}},
    {"SOURCE",
     {"CMT", "|MEASUREMENT",
      "MEASUREMENT.1:SOURCE_ID=~ MEASUREMENT.1:MEASOBJTYPE_ID=1 -SOURCE.1 -SOURCEISOMER.1"}},
    {"SOURCEISOMER", {"ACTIVITYCALIBRATED=N ACTIVITY ACTIVITYUNC CALIBRATOR CALIBRDATE CMT"}},
    {"ADC", {"CMT", "ADCANALYSIS, MEASSETUP|", "-ADC.1"}},
    {"DETECTOR", {"CMT", "MEASSETUP|DETPARAM", "-DETECTOR.1 -DETPARAM.1"}},
    {"MEASPOSITION", {"EMPLOYEE_ID CMT", "MEAS. SETUP|", "-MEASPOSITION.1"}},
    {"MEASRANGE", {"CMT", "MEAS. SETUP|", "-MEASRANGE.1"}},
    {"MEASSETUP",
     {"ADC_ID CMT", "MEASUREMENT, Q.A. ANALYSIS, RADIATION CORR. LIST|",
      "-MEASSETUP.1 -MEASDEVICE_MSETUP.1 -MEASSETUPNONLIN.1 -MEASSETUPEFF.1 -MEASSETUPRESOL.1 "
      "-MEASSETUPBKG.1"}},
    {"MEASDEVICE", {"EMPLOYEE_ID CMT", "|MEAS. SETUP", "-MEASDEVICE.1 -MEASDEVICE_MSETUP.1"}},
    {"IRRADIATIONLOCATION", {"CMT", "IRRADIATION|", "-IRRADIATIONLOCATION.1"}},
    {"IRRADIATION", {"MONITOREVAL_ID CMT", "|SAMPLE", "-IRRADIATION.1 -SAMPLEIRRADIATION.1"}},
    {"LOT", {"COMPOSITION_ID CMT SAMPLESUBTYPE_ID", "QUANTANALYSIS, SAMPLE|", "-LOT.1"}},
    {"SAMPLEGEOM", {"CMT DATA", "SAMPLE GEOM. & MATRIX|", "-SAMPLEGEOM.1 -SAMPLEGEOMPARAM.1"}},
    {"SAMPLEGEOMMATRIX",
     {"SAMP_COMP_ID SUPP_COMP_ID DILU_COMP_ID CMT SAMPLEDENSITY", "RADIATION CORR. LIST, SAMPLE|",
      "-SAMPLEGEOMMATRIX.1"}},
    {"SAMPLE",
     {"DISPOSALDATE CMT SAMP_COMPOSITION_ID SUPP_COMPOSITION_ID DILU_COMPOSITION_ID SUPPORTWEIGHT "
      "DILUENTWEIGHT",
      "|MEASUREMENT",
      "MEASUREMENT.1:MEASOBJTYPE_ID=1 MEASUREMENT.1:SAMPLE_ID=~ -SAMPLEIRRADIATION.1 -SAMPLE.1"}},
    {"ECAL", {"USENONLINPART=N NONLINANALYSIS_ID CMT"}},
    {"ECALPOINT", {"DESCRIPTION CREATIONDATE=0 CMT"}},
    {"FWHMCAL", {"CMT"}},
    {"FWHMCALPOINT", {"CREATIONDATE=0 CMT"}},
    {"NONLINANALYSIS",
     {"CHISQUARE ORTPOLDEGREE ORTPOLAVECT ORTPOLBVECT PEAKIDENTLIMITCH FITMATR ORTPOLNORMVECT "
      "FITCOEFFVECT CMT PROJECT_ID BASELINETYPE MEASNUM PEAKINTLIMIT=0",
      "|ENERGY CALIBRATION, MEAS. SETUP NONLIN SETTING",
      "-MEASSETUPNONLIN.1 ECAL.1:NONLINANALYSIS_ID=~ -NONLINANALYSIS.1 -NONLINMEASUREMENT.1 "
      "-NONLINPEAK.1"}},
    {"NONLINMEASUREMENT", {"CMT"}},
    {"NONLINPEAK", {"CREATIONDATE=0"}},
    {"EFFANALYSIS",
     {"CHISQUARE ORTPOLDEGREE ORTPOLAVECT ORTPOLBVECT ORTPOLNORMVECT PEAKIDENTLIMIT FITMATR "
      "FITCOEFFVECT CMT PROJECT_ID MEASNUM ISABSOLUTE=N EFFICIENCY EFFICIENCYUNC PEAKINTLIMIT=0",
      "|ACTIVITYRESULT, MEAS. SETUP EFF. SETTING",
      "ACTIVITYRESULT.1:EFFANALYSIS_ID=~ -MEASSETUPEFF.1 -EFFANALYSIS.1 -EFFMEASUREMENT.1 "
      "-EFFPEAK.1"}},
    {"EFFMEASUREMENT", {"CMT"}},
    {"EFFPEAK", {"CREATIONDATE=0"}},
    {"RESOLANALYSIS",
     {"CHISQUARE PEAKIDENTLIMITSIGMA PARAMA PARAMAVAR PARAMBVAR CMT PROJECT_ID RESOLUTION "
      "PEAKINTLIMIT=0",
      "|MEAS. SETUP RESOL. SETTING",
      "-MEASSETUPRESOL.1 -RESOLANALYSIS.1 -RESOLMEASUREMENT.1 -RESOLPEAK.1"}},
    {"RESOLMEASUREMENT", {"CMT"}},
    {"RESOLPEAK", {"CREATIONDATE=0"}},
    {"PEAKEVALCAL",
     {"CMT", "PEAK EVAL. REGION, PEAK EVALUATION|", "-PEAKEVALCAL.1 -PEAKEVALCALPARAMLIST.1"}},
    {"ISOMER", {"NUCLEVEL_ID HALFLIFE HALFLIFEUNC NUCLDATASOURCE_ID CREATIONDATE=0 CMT"}},
    {"DECAY", {"NUCLDATASOURCE_ID DECAYBRANCHING DECAYBRANCHINGUNC CREATIONDATE=0 CMT"}},
    {"RADIATION",
     {"REACTION_ID DECAY_ID NUCLDATASOURCE_ID TRANSITION_ID TRANSFORMCHAIN_ID EUNC INTENSITY "
      "INTENSITYUNC EMPLOYEE_ID CMT"}},
};

template <class R>
void SetKey(R& r, int key) {
    for (const auto& c : R::Columns())
        if (c.key && c.type == ColumnType::Int)
            r.*(c.member.i) = key;
        else if (c.key)
            r.*(c.member.str) = std::to_string(key);
}

template <class R>
void InsertRecord(R& r, const TestDatabase& db) {
    if constexpr (requires { r.Insert(nullptr, nullptr, db.name(), nullptr); })
        r.Insert(nullptr, nullptr, db.name(), nullptr);
    else
        r.Insert(nullptr, db.name(), nullptr);
}

template <class R>
bool ReadRecord(R& r, TQuery* q) {
    if constexpr (requires { r.GetData(q); })
        return r.GetData(q);
    else
        return r.Read(q);
}

// Gives member `i` a value of its own; members of hooked columns keep theirs.
template <class R>
void Fill(R& r, const quantora::Column<R>& c, int i) {
    if (c.type == ColumnType::Int) r.*c.member.i = 100 + i;
    if (c.type == ColumnType::Short) r.*c.member.s = static_cast<short>(10 + i);
    if (c.type == ColumnType::Float) r.*c.member.d = i + 0.5;
    if (c.type == ColumnType::DateTime) r.*c.member.d = 45000.25 + i;
    if (c.type == ColumnType::String) r.*c.member.str = AnsiString(1, static_cast<char>('A' + i));
    if (c.type == ColumnType::Flag) r.*c.member.b = i % 2 == 0;
}

template <class R>
bool SameMember(const R& a, const R& b, const quantora::Column<R>& c) {
    const auto& m = c.member;
    return c.type == ColumnType::Int      ? a.*m.i == b.*m.i
           : c.type == ColumnType::Short  ? a.*m.s == b.*m.s
           : c.type == ColumnType::String ? a.*m.str == b.*m.str
           : c.type == ColumnType::Flag   ? a.*m.b == b.*m.b
                                          : a.*m.d == b.*m.d;  // Float and DateTime
}

// Row 1 as written from a reset record: null columns, and the values that are neither -1 nor ''.
template <class R>
std::string ResetRow(const TestDatabase& db) {
    R r;
    r.Reset();
    SetKey(r, 1);
    InsertRecord(r, db);
    TQuery q;
    db.Open(q, Format("SELECT * FROM %s", R::Table));
    std::string out;
    for (const auto& c : R::Columns()) {
        const TField* f = q.FindField(c.name);
        std::string v = !f                               ? "?"
                        : f->IsNull()                    ? ""
                        : c.type == ColumnType::DateTime ? Format("%g", f->AsDateTime())
                        : c.type == ColumnType::String || c.type == ColumnType::Flag
                            ? f->AsString()
                            : Format("%g", f->AsFloat());
        if (c.key || (f && !f->IsNull() && (v == "-1" || v.empty()))) continue;
        out += (out.empty() ? "" : " ") + std::string(c.name) + (f && f->IsNull() ? "" : "=" + v);
    }
    return out;
}

// Every declared column written from its member and read back into it. The analyses then
// write over their stored row through a caller's edit or insert in progress, left to the caller
// to post.
template <class R>
void ExpectColumnsRoundTrip(const TestDatabase& db) {
    R r;
    int i = 0;
    const char* key = R::Columns()[0].name;  // the first column where none is the key
    for (const auto& c : R::Columns()) {
        Fill(r, c, i++);
        if (c.key) key = c.name;
    }
    SetKey(r, 2);
    InsertRecord(r, db);
    TQuery q;
    db.Open(q, Format("SELECT * FROM %s WHERE %s >= '2' ORDER BY %s", R::Table, key, key), true);
    R back;
    ASSERT_TRUE(ReadRecord(back, &q));
    for (const auto& c : R::Columns())
        if (!c.hook_read && c.write != quantora::WriteRule::Hook) {
            EXPECT_TRUE(SameMember(r, back, c)) << R::Table << "." << c.name;
        }
    if constexpr (requires { R::Texts(); }) {
        q.Edit();
        back.CMT = "edited";
        back.UpdateData(db.name(), &q);
        EXPECT_EQ(q.State(), dsEdit);
        q.Post();
        q.Insert();
        q.FieldByName(key)->SetAsInteger(3);
        SetKey(back, 3);
        back.CMT = "inserted";
        back.UpdateData(db.name(), &q);
        EXPECT_EQ(q.State(), dsInsert);
        q.Post();
        EXPECT_EQ(db.Scalar(Format("SELECT COUNT(*) FROM %s WHERE %s > 1 AND CMT IN ('edited', "
                                   "'inserted')",
                                   R::Table, key)),
                  "2");
    }
}

std::string Joined(const std::set<AnsiString>& s) {
    std::string out;
    for (const AnsiString& e : s)  // the tables: the form of each entry is the framework's
        out += (out.empty() ? "" : ", ") + e.substr(0, e.find(" ID="));
    return out;
}

class RecordClasses : public ::testing::Test {
  protected:
    // Checks the row of class R against kExpected: `deletion` with the filled database.
    template <class R>
    void Check(const char* table, const quantora::test::DatabaseImage* image,
               const quantora::test::DatabaseImage::Rows* fill) {
        if constexpr (!std::is_same_v<R, NoRecord>) {
            SCOPED_TRACE(table);
            auto e = kExpected.find(table);
            Expected want = e == kExpected.end() ? Expected{"?", nullptr, nullptr} : e->second;
            if (!image) {
                EXPECT_EQ(ResetRow<R>(db), want.nulls);
                ExpectColumnsRoundTrip<R>(db);
            } else if constexpr (requires { R::Deletion(); }) {
                image->Restore(*fill, image->Take());
                R r;
                SetKey(r, 1);
                std::set<AnsiString> blocking, nulled;
                r.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
                EXPECT_EQ(Joined(blocking) + "|" + Joined(nulled),
                          want.reports ? want.reports : "");
                r.Delete(db.alias());
                EXPECT_EQ(image->Changes(fill->dump, image->Take()),
                          want.deletion ? want.deletion : "");
            }
        }
    }
    TestDatabase db{true};
};

}  // namespace

TEST_F(RecordClasses, ResetRowsAndEveryColumnThroughTheDatabase) {
#define QUANTORA_CHECK(table, record)                       \
    static_assert(quantora::RecordOfTable<record>(#table)); \
    Check<record>(#table, nullptr, nullptr);
    QUANTORA_LAB_TABLES(QUANTORA_CHECK)
#undef QUANTORA_CHECK
}

TEST_F(RecordClasses, DeletionReportsAndCascadesOnAFilledDatabase) {
    const quantora::test::DatabaseImage image(db, 1e9);
    image.FillEveryTable();
    const auto fill = image.Snapshot();
#define QUANTORA_CHECK(table, record) Check<record>(#table, &image, &fill);
    QUANTORA_LAB_TABLES(QUANTORA_CHECK)
#undef QUANTORA_CHECK
}
