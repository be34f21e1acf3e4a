// MEASUREMENT and SPECTRUM: columns, the object-type rule, count compression, deletion cascades.
#include "quantora/records/Meastables.h"

#include "quantora/spectrum/SpectrumCompressor.h"

using quantora::Col;
using quantora::DateCol;

namespace {

enum MeasColumn { kSourceId = 3, kSourceListId = 4, kMeasObjType = 7, kSampleId = 8 };

// The object column MEASOBJTYPE_ID selects, or -1.
int ObjectColumn(int objType) {
    switch (objType) {
        case 2:
            return kSampleId;
        case 3:
            return kSourceId;
        case 4:
            return kSourceListId;
        default:
            return -1;
    }
}

const ReferringTableInfo_t kMeasurementReferrers[] = {
    {Blocking, "ADCANALYSIS", "NAME", nullptr},
    {Blocking, "PEAKEVAL", "NAME", nullptr},
    {NullOnDelete, "BKGMEASUREMENT", "BKGMEASUREMENT_ID", nullptr},
    {NullOnDelete, "NONLINMEASUREMENT", "NONLINMEASUREMENT_ID", nullptr},
    {NullOnDelete, "RESOLMEASUREMENT", "RESOLMEASUREMENT_ID", nullptr},
    {NullOnDelete, "EFFMEASUREMENT", "EFFMEASUREMENT_ID", nullptr},
    {Detail, "SPECTRUM", "NAME", nullptr},
    {Blocking, nullptr, nullptr, nullptr},
};

const ReferringTableInfo_t kSpectrumReferrers[] = {
    {Detail, "ECAL", "NAME", nullptr},
    {Detail, "FWHMCAL", "NAME", nullptr},
    {Blocking, nullptr, nullptr, nullptr},
};

void DeleteSpectrum(const AnsiString& dbName, int key) {
    SPECTRUMData s;
    s.SPECTRUM_ID = key;
    s.Delete(dbName);
}

}  // namespace

const MEASUREMENTData::ColumnList& MEASUREMENTData::Columns() {
    using R = MEASUREMENTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("MEASMETHOD_ID", &R::MEASMETHOD_ID),
        Col("MEASUREMENT_ID", &R::MEASUREMENT_ID).Key(),
        Col("MEASSETUP_ID", &R::MEASSETUP_ID),
        Col("SOURCE_ID", &R::SOURCE_ID).Hooked(),
        Col("SOURCELIST_ID", &R::SOURCELIST_ID).Hooked(),
        Col("PROJECT_ID", &R::PROJECT_ID),
        Col("NAME", &R::NAME),
        Col("MEASOBJTYPE_ID", &R::MEASOBJTYPE_ID).ResetTo(1).HookWrite(),
        Col("SAMPLE_ID", &R::SAMPLE_ID).Hooked(),
        Col("MEASUREDBY_EMP_ID", &R::MEASUREDBY_EMP_ID),
        DateCol("STARTDATE", &R::STARTDATE).IfPositive(),
        DateCol("ENDDATE", &R::ENDDATE).IfPositive(),
        Col("ENTEREDBY_EMP_ID", &R::ENTEREDBY_EMP_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("EXPORTFILENAME", &R::EXPORTFILENAME).IfNotEmpty(),
    });
    return cols;
}

const quantora::DeletionRules& MEASUREMENTData::Deletion() {
    static constexpr quantora::DetailStep details[] = {
        {"SELECT SPECTRUM_ID FROM SPECTRUM WHERE MEASUREMENT_ID=%d", DeleteSpectrum},
        {"delete from MEAS_KEYWORD WHERE MEASUREMENT_ID=%d"},
    };
    static const quantora::DeletionRules rules{"MEASUREMENT", kMeasurementReferrers, details};
    return rules;
}

void MEASUREMENTData::AfterGetData(TQuery* q) {
    int col = ObjectColumn(MEASOBJTYPE_ID);
    if (col >= 0) quantora::detail::ReadIfPresent(*this, Columns()[col], Field(q, col));
    MeasTypeInfo.GetInfo(q->DatabaseName().c_str(), MEASUREMENT_ID, NAME);
}

void MEASUREMENTData::AfterSetData(TQuery* q) {
    int col = ObjectColumn(MEASOBJTYPE_ID);
    if (col < 0)
        MEASOBJTYPE_ID = 1;
    else if (TField* f = Field(q, col))
        quantora::detail::WriteMember(*this, Columns()[col], f);
    if (TField* f = Field(q, kMeasObjType)) f->SetAsInteger(MEASOBJTYPE_ID);
}

const SPECTRUMData::ColumnList& SPECTRUMData::Columns() {
    using R = SPECTRUMData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("SPECTRUM_ID", &R::SPECTRUM_ID).Key(),
        Col("SPECTRUMTYPE_ID", &R::SPECTRUMTYPE_ID),
        Col("MEASUREMENT_ID", &R::MEASUREMENT_ID),
        Col("NAME", &R::NAME),
        DateCol("SPECOLLSTARTEDAT", &R::SPECOLLSTARTEDAT),
        DateCol("SPECOLLENDEDAT", &R::SPECOLLENDEDAT),
        Col("LIVETIME", &R::LIVETIME),
        Col("TRUETIME", &R::TRUETIME),
        Col("CHANNELS", &R::CHANNELS),
        Col("MAXCOUNT", &R::MAXCOUNT),
        Col("MINCOUNT", &R::MINCOUNT),
        Col("SUMCOUNT", &R::SUMCOUNT),
        Col("STARTCOUNT", &R::STARTCOUNT),
        Col("CRC32", &R::CRC32),
        Col("COUNTDATAFORMAT", &R::COUNTDATAFORMAT),
        Col("COUNTDATASIZE", &R::COUNTDATASIZE),
        Col("COUNTDATA", &R::COUNTDATA).IfNotEmpty(),
        Col("SPECIFICDATASIZE", &R::SPECIFICDATASIZE),
        Col("SPECIFICDATA", &R::SPECIFICDATA).IfNotEmpty(),
        Col("SPEFILETYPE", &R::SPEFILETYPE),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const quantora::DeletionRules& SPECTRUMData::Deletion() {
    static constexpr quantora::DetailStep details[] = {
        {" DELETE FROM ecalpoint WHERE ecal_id IN (SELECT ecal_id FROM ecal WHERE spectrum_id=%d)"},
        // The curvature of a file calibration, a nonlinearity analysis that only this spectrum's
        // calibration uses and that no measurement or setup has.
        {"DELETE FROM nonlinanalysis WHERE nonlinanalysis_id IN (SELECT nonlinanalysis_id FROM "
         "ecal WHERE spectrum_id=%d) AND (SELECT COUNT(*) FROM ecal e WHERE e.nonlinanalysis_id = "
         "nonlinanalysis.nonlinanalysis_id) = 1 AND NOT EXISTS (SELECT 1 FROM nonlinmeasurement m "
         "WHERE m.nonlinanalysis_id = nonlinanalysis.nonlinanalysis_id) AND NOT EXISTS (SELECT 1 "
         "FROM meassetupnonlin s WHERE s.nonlinanalysis_id = nonlinanalysis.nonlinanalysis_id)"},
        {"DELETE FROM ecal WHERE spectrum_id=%d"},
        {" DELETE FROM fwhmcalpoint WHERE fwhmcal_id IN (SELECT fwhmcal_id FROM fwhmcal WHERE "
         "spectrum_id=%d)"},
        {"DELETE FROM fwhmcal WHERE spectrum_id=%d"},
        // Activities found in the spectrum go with it; their identification stays.
        {"DELETE FROM activityresult WHERE spectrum_id=%d"},
    };
    static const quantora::DeletionRules rules{"SPECTRUM", kSpectrumReferrers, details};
    return rules;
}

SPECTRUMData::~SPECTRUMData() = default;

void SPECTRUMData::CompressCounts(std::vector<unsigned long>* counts, bool option) {
    if (!counts || counts->empty()) {
        COUNTDATA.clear();
        COUNTDATAFORMAT = 1;
        COUNTDATASIZE = 0;
        STARTCOUNT = 0;
        CHANNELS = 0;
        return;
    }
    SpectrumCompressor compressor;
    unsigned short format = 0;
    COUNTDATA = compressor.GetCompressedStream(counts, &format, option);
    COUNTDATAFORMAT = static_cast<short>(format);
    COUNTDATASIZE = static_cast<int>(COUNTDATA.size());
    STARTCOUNT = static_cast<int>(static_cast<unsigned int>((*counts)[0]));
    CHANNELS = static_cast<int>(counts->size());
}

void SPECTRUMData::UncompressCounts(std::vector<unsigned long>* counts) {
    SpectrumCompressor compressor;
    compressor.SetCompressedStream(COUNTDATA, static_cast<unsigned int>(STARTCOUNT),
                                   static_cast<unsigned short>(COUNTDATAFORMAT), CHANNELS);
    compressor.GetCounts(counts);
}
