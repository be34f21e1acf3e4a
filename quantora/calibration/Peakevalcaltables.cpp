// PEAKEVALCAL record and the storage of peak evaluation algorithm settings.
#include "quantora/calibration/Peakevalcaltables.h"

#include <cmath>
#include <ctime>
#include <optional>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/frame/QueryGuards.h"

using quantora::Col;
using quantora::DateCol;
using quantora::Format;

const PEAKEVALCALData::ColumnList& PEAKEVALCALData::Columns() {
    using R = PEAKEVALCALData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("PEAKEVALCAL_ID", &R::PEAKEVALCAL_ID).Key(),
        Col("NAME", &R::NAME),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const quantora::DeletionRules& PEAKEVALCALData::Deletion() {
    static constexpr quantora::CheckStep checks[] = {
        {"select PEAKEVAL_id, name from PEAKEVAL where PEAKEVALCAL_ID = %d",
         "PEAK EVALUATION ID=%d of '%s'", Blocking},
        {"select PEAKEVALREGION_id from PEAKEVALREGION where PEAKEVALCAL_ID = %d",
         "PEAK EVAL. REGION ID=%d", Blocking},
    };
    static constexpr quantora::DetailStep details[] = {
        {"delete from PEAKEVALCALPARAMLIST where PEAKEVALCAL_ID = %d"}};
    static constexpr const char* deletes[] = {
        "DELETE FROM PEAKEVALCALPARAMLIST WHERE PEAKEVALCAL_id = %d",
        "DELETE FROM PEAKEVALCAL WHERE PEAKEVALCAL_id = %d",
    };
    static const quantora::DeletionRules rules{"PEAKEVALCAL", nullptr, details, checks, deletes};
    return rules;
}

namespace {

// The current local date and time as an SQL text literal: 'yyyy-mm-dd hh:nn:ss'.
AnsiString NowLiteral() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "'%Y-%m-%d %H:%M:%S'", &local);
    return text;
}

}  // namespace

bool StorePeakEvalCal(PeakEvalCalibration* cal, const char* dbName, bool asNew, StringLogger* log) {
    if (!cal) throw quantora::MisuseError("StorePeakEvalCal: no peak evaluation setting given");
    AutoQuery params(nullptr, dbName, "PEAKEVALCALPARAMLIST");
    ExecQuery exec;
    exec.Flag = false;
    exec.Query = params.get();
    exec.Logger = log;

    const int key = cal->PeakEvalCalId;
    std::optional<AutoQuery> header;  // the new setting row, posted at the end
    if (asNew) {
        header.emplace(nullptr, dbName, "PEAKEVALCAL");
        TQuery& h = *header->get();
        h.Open();
        h.Insert();
        h.FieldByName("PEAKEVALCAL_ID")->SetAsInteger(key);
        h.FieldByName("EMPLOYEE_ID")->SetAsInteger(cal->EmployeeId);
        h.FieldByName("NAME")->SetAsString(cal->Name);
        h.FieldByName("CREATIONDATE")->SetAsDateTime(cal->CreationDate);
        if (!cal->Comment.empty()) h.FieldByName("CMT")->SetAsString(cal->Comment);
    }

    exec(Format("DELETE FROM PEAKEVALCALPARAMLIST WHERE PEAKEVALCAL_ID=%d", key).c_str(), false);

    const AnsiString date = NowLiteral();
    int rows = 1;
    for (int number : PeakEvalCalibration::StoreOrder()) {
        const double value = cal->GetStoredValue(number);
        rows = exec(Format("INSERT INTO PEAKEVALCALPARAMLIST (PEAKEVALCAL_ID, "
                           "PEAKEVALCALPARAM_ID, PECPVALUE, CREATIONDATE) VALUES (%d,%d,%15g,%s)",
                           key, number, value, date.c_str())
                        .c_str(),
                    false);
        // "%15g" writes a NaN or an infinity as a word no engine takes for a number: that insert
        // has failed (and is logged) whatever count the layer still reports.
        if (!std::isfinite(value)) rows = 0;
        if (rows <= 0) break;
    }
    const bool stored = rows > 0;

    if (header) {
        if (stored)
            header->get()->Post();
        else
            header->get()->Cancel();
    }
    return stored;
}

bool RetrievePeakEvalCal(PeakEvalCalibration* cal, const char* dbName, int peakEvalCalId,
                         StringLogger* log) {
    if (!cal) throw quantora::MisuseError("RetrievePeakEvalCal: no peak evaluation setting given");
    cal->SetToDefault();
    if (peakEvalCalId > 0) cal->PeakEvalCalId = peakEvalCalId;
    const int key = cal->PeakEvalCalId;

    TQuery q;
    q.SetDatabaseName(dbName ? dbName : "");
    q.SetRequestLive(false);
    q.SetUniDirectional(true);
    q.SetSQL(Format("select * from PEAKEVALCAL where PEAKEVALCAL_ID = %d", key));
    q.Open();
    if (q.Eof()) {
        if (log)
            log->AddMessage(
                Format("Specified Peak evaluation algorithm setting does not exist (Id=%d)", key),
                0);
        return false;
    }
    cal->EmployeeId = q.FieldByName("EMPLOYEE_ID")->AsInteger();
    cal->Name = q.FieldByName("NAME")->AsString();
    cal->CreationDate = q.FieldByName("CREATIONDATE")->AsDateTime();
    if (const TField* cmt = q.FieldByName("CMT"); !cmt->IsNull()) cal->Comment = cmt->AsString();

    q.SetSQL(
        Format("select PEAKEVALCALPARAM_ID, PECPVALUE from PEAKEVALCALPARAMLIST where "
               "PEAKEVALCAL_ID = %d",
               key));
    q.Open();
    if (q.Eof()) {
        if (log)
            log->AddMessage(
                Format("Parameters do not exist for Peak evaluation algorithm setting (Id=%d)",
                       key),
                0);
        return false;
    }
    const TField* number = q.FieldByName("PEAKEVALCALPARAM_ID");
    const TField* value = q.FieldByName("PECPVALUE");
    for (; !q.Eof(); q.Next()) cal->SetFromStoredValue(number->AsInteger(), value->AsFloat());
    return true;
}
