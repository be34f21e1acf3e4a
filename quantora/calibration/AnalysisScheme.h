// The scheme the nonlinearity, efficiency and resolution analyses share. Each kind declares its
// names (analysis table, setup-setting table, measurement and peak tables, report label, the
// lookup of the analysis valid for a setup at a date); from them come, once per kind:
//   - UpdateData: the record written over the stored row with its key;
//   - the deletion trio: setup settings reported as dropped references; setup settings, peaks
//     and measurements deleted as details; then the analysis row;
//   - RetrieveSetupAnalysis: the analysis valid for a measurement setup at a date.
// A kind that other tables refer to adds a report and a nulling statement of its own.
#pragma once

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/frame/CachedRecord.h"
#include "quantora/frame/Deletion.h"

namespace quantora {

struct AnalysisNames {
    const char* table;        // e.g. "NONLINANALYSIS"; its key column is table + "_ID"
    const char* setupTable;   // setup, VALIDFROM, analysis key: the analysis valid from a date
    const char* measTable;    // the measurements of an analysis, key column table + "_ID"
    const char* peakTable;    // their peaks, key column table + "_ID"
    const char* rowSpelling;  // the table as the statement deleting the row spells it
    const char* setupLabel;   // report of a setup setting: "<label> ID=%d of '%s'"
    // Settings of the setup (:meassetup_id) valid at :measdate joined with the analysis row,
    // latest VALIDFROM first.
    const char* setupLookup;
    // Optional: rows of another table that name the analysis (reported as dropped references
    // before the setup settings) and the statement that nulls their references on delete.
    const char* referrerReport = nullptr;
    const char* referrerFormat = nullptr;
    const char* referrerNulling = nullptr;
};

// The statement texts of one kind, built from its names.
struct AnalysisTexts {
    explicit AnalysisTexts(const AnalysisNames& names);

    AnsiString keyColumn;      // "<table>_ID"
    AnsiString updateSelect;   // live "select * from <table> where <key> = %d"
    AnsiString updateMissing;  // "Could not update <table> record: ID=%d not found"
    DeletionRulesBuilder deletion;
};

// Opens `q` (own, read-only, forward-only) on the setup lookup of `names`: parameter 0 the
// setup key (integer), parameter 1 the date (date-time).
void OpenSetupLookup(TQuery& q, const AnalysisNames& names, const char* dbName, int measSetupId,
                     TDateTime measDate);

// Makes analysis `analysisId` of the kind valid for the setup from `validFrom`: a row of its
// setup table.
void InsertSetupValidity(const AnalysisNames& names, const char* dbName, int measSetupId,
                         TDateTime validFrom, int analysisId);

// The key of the analysis valid for the setup at the date, or -1. With `load` the row is read
// into an R and handed to `loadInto` first.
template <class R, class Load>
int RetrieveSetupAnalysis(const char* dbName, int measSetupId, TDateTime measDate, bool load,
                          Load&& loadInto) {
    TQuery q;
    OpenSetupLookup(q, R::Names(), dbName, measSetupId, measDate);
    if (q.Eof()) return -1;
    if (load) {
        R record;
        record.GetData(&q);
        loadInto(record);
    }
    return q.FieldByName(R::Texts().keyColumn)->AsInteger();
}

// Base of the analysis records: R declares `static const AnalysisNames& Names()` beside its
// columns.
template <class R, size_t N>
class AnalysisRecord : public CachedRecord<R, N> {
  public:
    static const AnalysisTexts& Texts() {
        static const AnalysisTexts texts(R::Names());
        return texts;
    }
    static const DeletionRules& Deletion() { return Texts().deletion.Rules(); }

    // Writes the record over the stored row with its key: through `q` when it stands on that
    // row of a live result (posting only an edit it started itself), otherwise through a live
    // query of its own. Throws when no row has the key.
    void UpdateData(const char* dbName, TQuery* q) {
        const int key = this->IntKey();
        if (q && !q->Eof() && q->CanModify()) {
            TField* k = this->Field(q, this->KeyColumn());
            if (k && !k->IsNull() && k->AsInteger() == key) {
                const bool startEdit = q->State() != dsEdit && q->State() != dsInsert;
                if (startEdit) q->Edit();
                this->SetData(q);
                if (startEdit) q->Post();
                return;
            }
        }
        TQuery own;
        own.SetDatabaseName(dbName ? dbName : "");
        own.SetSQL(Format(Texts().updateSelect.c_str(), key));
        own.SetRequestLive(true);
        own.Open();
        if (own.Eof()) throw quantora::NotFoundError(Format(Texts().updateMissing.c_str(), key));
        own.Edit();
        this->SetData(&own);
        own.Post();
    }
};

}  // namespace quantora
