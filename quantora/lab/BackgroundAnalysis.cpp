// Background analyses of measurement setups.
#include "quantora/lab/BackgroundAnalysis.h"

#include <cstdio>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/lab/PeakEvalRun.h"

namespace quantora {
namespace {

// Runs an INSERT with its named values: integers, dates and texts (the rates go into comments).
void Insert(const char* db, const char* sql,
            const std::vector<std::pair<const char*, Variant>>& values) {
    TQuery q;
    q.SetDatabaseName(db);
    q.SetSQL(sql);
    for (const auto& [name, value] : values) {
        TParam* p = q.ParamByName(name);
        switch (value.kind()) {
            case Variant::Kind::Int:
                p->SetAsInteger(static_cast<int>(value.int_value()));
                break;
            case Variant::Kind::Date:
                p->SetAsDateTime(value.float_value());
                break;
            default:
                p->SetAsString(value.text_value());
        }
    }
    q.ExecSQL();
}

}  // namespace

int StoreBackgroundAnalysis(const char* db, const BackgroundAnalysisOptions& o) {
    PeakEvalRunOptions ro;
    ro.settingId = o.settingId;
    ro.libraryIds = o.libraryIds;
    ro.store = false;
    PeakEvalRun run = EvaluateStoredSpectrum(db, o.spectrumId, ro);
    const double liveTime = run.spectrum.row.rec.LIVETIME;
    if (!(liveTime > 0))
        throw Exception(
            Format("spectrum %d has no live time: its rates are unknown", o.spectrumId));
    Transaction t(db);
    StorePeakEvaluation(db, run, o.employeeId);
    const TDateTime now = LocalNow();
    DbKeyGen analysisKeys(db, "BKGANALYSIS", "BKGANALYSIS"),
        measurementKeys(db, "BKGMEASUREMENT", "BKGMEASUREMENT"), peakKeys(db, "BKGPEAK", "BKGPEAK");
    const int analysis = analysisKeys.NextKey();
    const AnsiString name =
        (o.name.empty() ? Format("Background of spectrum %d", o.spectrumId) : o.name)
            .substr(0, 100);
    Insert(db,
           "INSERT INTO BKGANALYSIS (BKGANALYSIS_ID, NAME, EMPLOYEE_ID, CREATIONDATE) VALUES "
           "(:id, :name, :emp, :created)",
           {{"id", analysis},
            {"name", name},
            {"emp", o.employeeId},
            {"created", Variant::FromDate(now)}});
    const int measurement = measurementKeys.NextKey();
    Insert(db,
           "INSERT INTO BKGMEASUREMENT (BKGMEASUREMENT_ID, BKGANALYSIS_ID, MEASUREMENT_ID, "
           "PEAKEVAL_ID, EMPLOYEE_ID, CREATIONDATE) VALUES (:id, :a, :m, :e, :emp, :created)",
           {{"id", measurement},
            {"a", analysis},
            {"m", run.spectrum.row.rec.MEASUREMENT_ID},
            {"e", run.peakEvalId},
            {"emp", o.employeeId},
            {"created", Variant::FromDate(now)}});
    for (size_t i = 0; i < run.result.peaks.size(); ++i) {
        const analysis::FittedPeak& p = run.result.peaks[i];
        Insert(db,
               "INSERT INTO BKGPEAK (BKGPEAK_ID, BKGMEASUREMENT_ID, PEAK_ID, EMPLOYEE_ID, "
               "CREATIONDATE, CMT) VALUES (:id, :m, :p, :emp, :created, :cmt)",
               {{"id", peakKeys.NextKey()},
                {"m", measurement},
                {"p", run.peakIds[i]},
                {"emp", o.employeeId},
                {"created", Variant::FromDate(now)},
                {"cmt", Format("rate=%.10g+-%.6g", p.area / liveTime, p.areaUnc / liveTime)}});
    }
    const StoredSpectrumRow& row = run.spectrum.row;
    if (row.measSetupId > 0 && row.measDate > 0)
        Insert(db,
               "INSERT INTO MEASSETUPBKG (MEASSETUP_ID, VALIDFROM, BKGANALYSIS_ID) VALUES (:s, "
               ":v, :a)",
               {{"s", row.measSetupId}, {"v", Variant::FromDate(row.measDate)}, {"a", analysis}});
    t.Commit();
    return analysis;
}

std::vector<BackgroundLine> ValidBackground(const char* db, int measSetupId, TDateTime date,
                                            int* analysisId) {
    *analysisId = -1;
    std::vector<BackgroundLine> out;
    if (measSetupId <= 0 || !(date > 0)) return out;
    TQuery q;
    q.SetDatabaseName(db);
    q.SetSQL(
        "SELECT BKGANALYSIS_ID FROM MEASSETUPBKG WHERE MEASSETUP_ID = :s AND VALIDFROM <= :d "
        "ORDER BY VALIDFROM DESC");
    q.ParamByName("s")->SetAsInteger(measSetupId);
    q.ParamByName("d")->SetAsDateTime(date);
    q.Open();
    if (q.Eof() || q.Fields()[0]->IsNull()) return out;
    *analysisId = q.Fields()[0]->AsInteger();
    q.Close();
    q.SetSQL(
        "SELECT P.E, BP.CMT FROM BKGPEAK BP JOIN BKGMEASUREMENT BM ON BM.BKGMEASUREMENT_ID = "
        "BP.BKGMEASUREMENT_ID JOIN PEAK P ON P.PEAK_ID = BP.PEAK_ID WHERE BM.BKGANALYSIS_ID = :a "
        "ORDER BY P.E");
    q.ParamByName("a")->SetAsInteger(*analysisId);
    for (q.Open(); !q.Eof(); q.Next()) {
        BackgroundLine b;
        b.energy = q.Fields()[0]->AsFloat();
        const AnsiString cmt = q.Fields()[1]->AsString();
        if (std::sscanf(cmt.c_str(), "rate=%lf+-%lf", &b.rate, &b.rateUnc) == 2 && b.energy > 0)
            out.push_back(b);
    }
    return out;
}

}  // namespace quantora
