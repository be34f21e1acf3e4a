// Record classes of the calibration tables: energy calibrations (ECAL, ECALPOINT), FWHM
// calibrations (FWHMCAL, FWHMCALPOINT) and the nonlinearity, efficiency and resolution analyses
// with their measurements and peaks. The analysis records share one scheme (AnalysisScheme.h)
// and move their results to and from the calibration objects.
#pragma once

#include <array>

#include "quantora/calibmodel/EffCalibration.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"
#include "quantora/calibmodel/NonlinECalibr.h"
#include "quantora/calibration/AnalysisScheme.h"
#include "quantora/frame/CachedRecord.h"

// One energy calibration of a spectrum; PARAMA .. COVAR are the fitted line as stored, never
// read back (the line is refitted from the points).
struct ECALData : CachedRecord<ECALData, 16> {
    int ECAL_ID, SPECTRUM_ID;
    AnsiString NAME, TENTATIVE;
    double PARAMA, PARAMB, AVAR, BVAR, COVAR;
    AnsiString USENONLINPART;  // reset "N"
    int NONLINANALYSIS_ID;
    TDateTime CREATIONDATE;
    int CREATEDBY_EMP_ID;
    TDateTime LASTMODIFIEDDATE;
    int LASTMODBY_EMP_ID;
    AnsiString CMT;

    static constexpr const char* Table = "ECAL";
    static const ColumnList& Columns();
    ECALData() { Reset(); }
    void AfterResetData() { USENONLINPART.assign(1, 'N'); }
};

struct ECALPOINTData : CachedRecord<ECALPOINTData, 10> {
    int ECALPOINT_ID, ECAL_ID;
    double CHPOS, CHPOSUNC, ENERGY, ENERGYUNC;
    AnsiString DESCRIPTION;
    TDateTime CREATIONDATE;  // reset 0.0
    int EMPLOYEE_ID;
    AnsiString CMT;

    static constexpr const char* Table = "ECALPOINT";
    static const ColumnList& Columns();
    ECALPOINTData() { Reset(); }
};

struct FWHMCALData : CachedRecord<FWHMCALData, 14> {
    int FWHMCAL_ID, SPECTRUM_ID;
    AnsiString NAME, TENTATIVE;
    int LASTMODBY_EMP_ID;
    TDateTime LASTMODIFIEDDATE;
    int CREATEDBY_EMP_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    double PARAMA, PARAMB, AVAR, BVAR, COVAR;

    static constexpr const char* Table = "FWHMCAL";
    static const ColumnList& Columns();
    FWHMCALData() { Reset(); }
};

struct FWHMCALPOINTData : CachedRecord<FWHMCALPOINTData, 9> {
    int FWHMCALPOINT_ID, FWHMCAL_ID;
    double CHPOS, CHPOSUNC, FWHM, FWHMUNC;
    TDateTime CREATIONDATE;  // reset 0.0
    int EMPLOYEE_ID;
    AnsiString CMT;

    static constexpr const char* Table = "FWHMCALPOINT";
    static const ColumnList& Columns();
    FWHMCALPOINTData() { Reset(); }
};

// A nonlinearity analysis: the orthogonal polynomial correcting the linear energy calibration,
// fitted over MEASNUM measurements (n = ORTPOLDEGREE + 2 * MEASNUM - 1 fit parameters).
struct NONLINANALYSISData : quantora::AnalysisRecord<NONLINANALYSISData, 23> {
    int NONLINANALYSIS_ID;  // written only when the column is null or holds another value
    AnsiString NAME;
    double CHISQUARE;
    short ORTPOLDEGREE;
    AnsiString ORTPOLAVECT, ORTPOLBVECT;
    double XAXISTRANS0, XAXISTRANS1, BASELINETRANS0, BASELINETRANS1, PEAKIDENTLIMITCH;
    AnsiString FITMATR, ORTPOLNORMVECT, FITCOEFFVECT;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int PROJECT_ID;
    AnsiString TENTATIVE, BASELINETYPE;
    short MEASNUM;
    double NONLINEARITY, PEAKINTLIMIT;

    static constexpr const char* Table = "NONLINANALYSIS";
    static const ColumnList& Columns();
    static const quantora::AnalysisNames& Names();
    NONLINANALYSISData() { Reset(); }
    void AfterSetData(TQuery* q);

    // Decodes the stored polynomial and fit into the nonlinear part; a missing or short part
    // leaves it invalid, a corrupted column throws.
    void CopyToNonlinECalibr(NonlinECalibr* cal);
    // Encodes the polynomial and fit of `cal`; other columns are the caller's.
    void CopyFromNonlinECalibr(NonlinECalibr* cal);
};

struct NONLINMEASUREMENTData : CachedRecord<NONLINMEASUREMENTData, 8> {
    int NONLINMEASUREMENT_ID, NONLINANALYSIS_ID, MEASUREMENT_ID;
    double CHISQUARE;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int PEAKEVAL_ID;

    static constexpr const char* Table = "NONLINMEASUREMENT";
    static const ColumnList& Columns();
    NONLINMEASUREMENTData() { Reset(); }
};

struct NONLINPEAKData : CachedRecord<NONLINPEAKData, 12> {
    int NONLINPEAK_ID, NONLINMEASUREMENT_ID, PEAK_ID;
    AnsiString RADIATION_ID;
    double MEASCH, MEASCHUNC, NONLINVALUE, NONLINVALUEUNC, CHI;
    TDateTime CREATIONDATE;  // reset 0.0
    AnsiString CMT;
    int EMPLOYEE_ID;

    static constexpr const char* Table = "NONLINPEAK";
    static const ColumnList& Columns();
    NONLINPEAKData() { Reset(); }
};

// An efficiency analysis: the efficiency curve of a measurement setup as an orthogonal
// polynomial; the fit size is the length of FITCOEFFVECT in doubles.
struct EFFANALYSISData : quantora::AnalysisRecord<EFFANALYSISData, 22> {
    int EFFANALYSIS_ID;
    AnsiString NAME;
    double CHISQUARE;
    short ORTPOLDEGREE;
    AnsiString ORTPOLAVECT, ORTPOLBVECT, ORTPOLNORMVECT;
    double XAXISTRANS0, XAXISTRANS1, PEAKIDENTLIMIT;
    AnsiString FITMATR, FITCOEFFVECT;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int PROJECT_ID;
    AnsiString TENTATIVE;
    short MEASNUM;
    bool ISABSOLUTE;  // a "Y"/"N" column
    double EFFICIENCY, EFFICIENCYUNC, PEAKINTLIMIT;

    static constexpr const char* Table = "EFFANALYSIS";
    static const ColumnList& Columns();
    static const quantora::AnalysisNames& Names();
    EFFANALYSISData() { Reset(); }

    void CopyToEffCalibr(EffCalibration* cal);
    void CopyFromEffCalibr(EffCalibration* cal);
};

// The measurement comes before the analysis here, unlike the other two kinds.
struct EFFMEASUREMENTData : CachedRecord<EFFMEASUREMENTData, 8> {
    int EFFMEASUREMENT_ID, MEASUREMENT_ID, EFFANALYSIS_ID;
    double CHISQUARE;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int PEAKEVAL_ID;

    static constexpr const char* Table = "EFFMEASUREMENT";
    static const ColumnList& Columns();
    EFFMEASUREMENTData() { Reset(); }
};

// MEASE is the natural logarithm of the peak energy.
struct EFFPEAKData : CachedRecord<EFFPEAKData, 12> {
    int EFFPEAK_ID, PEAK_ID;
    AnsiString RADIATION_ID;
    int EFFMEASUREMENT_ID;
    double MEASE, MEASEUNC, AREA, AREAUNC, CHI;
    TDateTime CREATIONDATE;  // reset 0.0
    AnsiString CMT;
    int EMPLOYEE_ID;

    static constexpr const char* Table = "EFFPEAK";
    static const ColumnList& Columns();
    EFFPEAKData() { Reset(); }
};

// A resolution analysis: peak width against energy of a measurement setup, as the two
// parameters of a FwhmCalibrClass with their variances and covariance.
struct RESOLANALYSISData : quantora::AnalysisRecord<RESOLANALYSISData, 16> {
    int RESOLANALYSIS_ID;
    AnsiString NAME;
    double CHISQUARE, PEAKIDENTLIMITSIGMA, PARAMA, PARAMB, PARAMAVAR, PARAMBVAR, PARAMCOVAR;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int PROJECT_ID;
    AnsiString TENTATIVE;
    double RESOLUTION, PEAKINTLIMIT;

    static constexpr const char* Table = "RESOLANALYSIS";
    static const ColumnList& Columns();
    static const quantora::AnalysisNames& Names();
    RESOLANALYSISData() { Reset(); }

    // Key, name, creation date and the five parameters into `cal`, which becomes valid; its
    // points and other attributes are not touched.
    void CopyToResolCalibr(FwhmCalibrClass* cal);
    // The five parameters from `cal`.
    void CopyFromResolCalibr(FwhmCalibrClass* cal);
};

struct RESOLMEASUREMENTData : CachedRecord<RESOLMEASUREMENTData, 8> {
    int RESOLMEASUREMENT_ID, RESOLANALYSIS_ID, MEASUREMENT_ID;
    double CHISQUARE;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int PEAKEVAL_ID;

    static constexpr const char* Table = "RESOLMEASUREMENT";
    static const ColumnList& Columns();
    RESOLMEASUREMENTData() { Reset(); }
};

struct RESOLPEAKData : CachedRecord<RESOLPEAKData, 12> {
    int RESOLPEAK_ID, RESOLMEASUREMENT_ID, PEAK_ID;
    AnsiString RADIATION_ID;
    double MEASE, MEASEUNC, RESOLVALUE, RESOLVALUEUNC, CHI;
    TDateTime CREATIONDATE;  // reset 0.0
    AnsiString CMT;
    int EMPLOYEE_ID;

    static constexpr const char* Table = "RESOLPEAK";
    static const ColumnList& Columns();
    RESOLPEAKData() { Reset(); }
};
