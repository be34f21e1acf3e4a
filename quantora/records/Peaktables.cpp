// PEAK and PEAKEVAL: columns, the bulk peak reader, the peak evaluation's deletion cascade; the
// columns of the fit regions, fitted peaks and their values.
#include "quantora/records/Peaktables.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "quantora/base/Format.h"

using quantora::Col;
using quantora::DateCol;
using quantora::Format;

const PEAKData::ColumnList& PEAKData::Columns() {
    using R = PEAKData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("PEAK_ID", &R::PEAK_ID).Key(),
        Col("PEAKEVAL_ID", &R::PEAKEVAL_ID),
        Col("POS", &R::POS),
        Col("POSUNC", &R::POSUNC),
        Col("E", &R::E),
        Col("EUNC", &R::EUNC),
        Col("AREA", &R::AREA),
        Col("AREAUNC", &R::AREAUNC),
        Col("FWHM", &R::FWHM),
        Col("FWHMUNC", &R::FWHMUNC),
        Col("PEAKEVALPEAK_ID", &R::PEAKEVALPEAK_ID).IfPositive(),
        Col("GAUSSFWHM", &R::GAUSSFWHM).IfPositive(),
        Col("GAUSSFWHMUNC", &R::GAUSSFWHMUNC).IfPositive(),
        Col("GAUSSAMPL", &R::GAUSSAMPL).IfPositive(),
        Col("GAUSSAMPLUNC", &R::GAUSSAMPLUNC).IfPositive(),
        Col("HEIGHT", &R::HEIGHT).IfPositive(),
        Col("HEIGHTUNC", &R::HEIGHTUNC).IfPositive(),
        Col("GUEST", &R::GUEST).IfPositive(),
        Col("BKG", &R::BKG).IfPositive(),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
    });
    return cols;
}

PEAKData::~PEAKData() = default;

void PEAKData::SetBasicData(int peakEvalId, int employeeId, TDateTime creationDate) {
    PEAKEVAL_ID = peakEvalId;
    EMPLOYEE_ID = employeeId;
    CREATIONDATE = creationDate;
}

namespace {

// Fills the energy index in one pass: the peaks sorted by energy (stable, so equal energies
// keep their PEAK_ID order) and appended at the end of the index, which costs no search.
void IndexByEnergy(const std::set<PEAKData>& peaks,
                   std::multiset<PEAKData*, EIndexedPeaksSetSorter>& byEnergy) {
    struct ByEnergy {
        double e;
        PEAKData* peak;
    };
    std::vector<ByEnergy> order;
    order.reserve(peaks.size());
    // The index hands out mutable pointers; the set orders by PEAK_ID alone, which the index
    // never changes.
    for (const PEAKData& p : peaks) order.push_back({p.E, const_cast<PEAKData*>(&p)});
    // A NaN energy goes last, so the sort sees a strict order whatever the data.
    std::stable_sort(order.begin(), order.end(), [](const ByEnergy& a, const ByEnergy& b) {
        return a.e < b.e || (std::isnan(b.e) && !std::isnan(a.e));
    });
    byEnergy.clear();
    for (const ByEnergy& o : order) byEnergy.insert(byEnergy.end(), o.peak);
}

}  // namespace

void ReadAllPeaks(TQuery* q, std::set<PEAKData>* peaks,
                  std::multiset<PEAKData*, EIndexedPeaksSetSorter>* byEnergy) {
    if (!q || !peaks) return;
    peaks->clear();
    // No guard: a failure while reading leaves the query open.
    const bool was_open = q->Active();
    PEAKData peak;
    q->Open();
    while (!q->Eof()) {
        if (!peak.GetData(q)) break;
        peaks->insert(peaks->end(), peak);  // rows in key order cost no search
        q->Next();
    }
    if (!was_open) q->Close();
    if (byEnergy) IndexByEnergy(*peaks, *byEnergy);
}

const PEAKEVALData::ColumnList& PEAKEVALData::Columns() {
    using R = PEAKEVALData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("PEAKEVAL_ID", &R::PEAKEVAL_ID).Key(),
        Col("PEAKEVALMETHOD_ID", &R::PEAKEVALMETHOD_ID),
        Col("PEAKEVALCAL_ID", &R::PEAKEVALCAL_ID),
        Col("MEASUREMENT_ID", &R::MEASUREMENT_ID),
        Col("NAME", &R::NAME),
        Col("TENTATIVE", &R::TENTATIVE),
        Col("LASTMODBY_EMP_ID", &R::LASTMODBY_EMP_ID),
        DateCol("LASTMODIFIEDDATE", &R::LASTMODIFIEDDATE),
        Col("PERFORMEDBY_EMP_ID", &R::PERFORMEDBY_EMP_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("LEFTTRESHOLDCH", &R::LEFTTRESHOLDCH).ResetTo(1),
        Col("RIGHTTRESHOLDCH", &R::RIGHTTRESHOLDCH).ResetTo(1),
        Col("ECAL_ID", &R::ECAL_ID).OrNull(),
        Col("FWHMCAL_ID", &R::FWHMCAL_ID).OrNull(),
        Col("USENEWESTECAL", &R::USENEWESTECAL).ResetTo(1),
        Col("USENEWESTWCAL", &R::USENEWESTWCAL).ResetTo(1),
        Col("USEAUTOECALUPDATE", &R::USEAUTOECALUPDATE).ResetTo(1),
    });
    return cols;
}

namespace {

// Analyses whose measurements may name a peak evaluation, in the order they are checked.
constexpr const char* kAnalysisKinds[] = {"NONLIN", "RESOL", "BKG", "EFF"};
// Peak results of other applications that point at single peaks.
constexpr const char* kPeakResultTables[] = {"EFFPEAK", "RESOLPEAK", "NUCLIDEPEAK", "NONLINPEAK",
                                             "BKGPEAK"};
// Tables whose rows name the evaluation itself; released before it goes.
constexpr const char* kEvaluationUsers[] = {"NUCLIDEIDENT", "NONLINMEASUREMENT", "RESOLMEASUREMENT",
                                            "BKGMEASUREMENT", "EFFMEASUREMENT"};

// The statement texts that repeat per table, made once.
const quantora::DeletionRules& BuildPeakEvalDeletion() {
    static quantora::DeletionRulesBuilder b("PEAKEVAL");
    for (const char* p : kAnalysisKinds)
        b.Check(Format("SELECT m.%sMEASUREMENT_ID, a.NAME FROM %sANALYSIS a, %sMEASUREMENT "
                       "m WHERE    m.%sANALYSIS_ID = a.%sANALYSIS_ID AND    m.PEAKEVAL_ID  "
                       " = %%d",
                       p, p, p, p, p),
                Format("%sMEASURMENT ID=%%d of '%%s'", p), NullOnDelete);

    // The peak results lose their peak before the peaks go.
    for (const char* t : kPeakResultTables)
        b.Detail(
            Format("UPDATE %s \r\n   SET %s.PEAK_ID = NULL \r\nWHERE "
                   "\r\n   %s.PEAK_ID IN \r\n   (SELECT PEAK_ID FROM "
                   "PEAK WHERE PEAKEVAL_ID = %%d) ",
                   t, t, t));
    b.Detail("delete from peak where peakeval_id = %d")
        .Detail(
            "DELETE    FROM PEAKPARAMVALUE WHERE    PEAKEVALPEAK_ID IN    (SELECT "
            "pep.PEAKEVALPEAK_ID    FROM PEAKEVALPEAK pep, PEAKEVALREGION per    WHERE       "
            "per.PEAKEVALREGION_ID = pep.PEAKEVALREGION_ID AND       per.PEAKEVAL_ID = %d)")
        .Detail(
            "DELETE    FROM REGIONPARAMVALUE WHERE    PEAKEVALREGION_ID IN    (SELECT "
            "PEAKEVALREGION_ID     FROM   PEAKEVALREGION     WHERE  PEAKEVAL_ID = %d)")
        .Detail(
            "DELETE    FROM PEAKEVALPEAK WHERE    PEAKEVALREGION_ID IN    (SELECT "
            "PEAKEVALREGION_ID     FROM   PEAKEVALREGION     WHERE  PEAKEVAL_ID = %d)")
        .Detail("DELETE    FROM PEAKEVALREGION WHERE     PEAKEVAL_ID = %d");

    for (const char* t : kEvaluationUsers)
        b.Delete(Format(
            "UPDATE %s \r\n   SET PEAKEVAL_ID = NULL \r\nWHERE \r\n   PEAKEVAL_ID = %%d", t));
    b.Delete("delete from peakeval where peakeval_id = %d");
    return b.Rules();
}

}  // namespace

const quantora::DeletionRules& PEAKEVALData::Deletion() {
    static const quantora::DeletionRules& rules = BuildPeakEvalDeletion();
    return rules;
}

const PEAKEVALREGIONData::ColumnList& PEAKEVALREGIONData::Columns() {
    using R = PEAKEVALREGIONData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("PEAKEVALREGION_ID", &R::PEAKEVALREGION_ID).Key(),
        Col("PEAKEVAL_ID", &R::PEAKEVAL_ID),
        Col("PEAKEVALCAL_ID", &R::PEAKEVALCAL_ID),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const PEAKEVALPEAKData::ColumnList& PEAKEVALPEAKData::Columns() {
    using R = PEAKEVALPEAKData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("PEAKEVALPEAK_ID", &R::PEAKEVALPEAK_ID).Key(),
        Col("PEAKEVALREGION_ID", &R::PEAKEVALREGION_ID),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const PEAKPARAMVALUEData::ColumnList& PEAKPARAMVALUEData::Columns() {
    using R = PEAKPARAMVALUEData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("PEAKPARAMVALUE_ID", &R::PEAKPARAMVALUE_ID).Key(),
        Col("PEAKEVALPEAK_ID", &R::PEAKEVALPEAK_ID),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const REGIONPARAMVALUEData::ColumnList& REGIONPARAMVALUEData::Columns() {
    using R = REGIONPARAMVALUEData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("REGIONPARAMVALUE_ID", &R::REGIONPARAMVALUE_ID).Key(),
        Col("PEAKEVALREGION_ID", &R::PEAKEVALREGION_ID),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}
