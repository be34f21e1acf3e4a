// Record classes of the peak tables: PEAKEVAL (one peak search and fit over a measurement) and
// PEAK (its peaks), the bulk peak reader with its energy index, and the evaluation's cascade;
// the fit regions of an evaluation (PEAKEVALREGION), the peaks fitted in them (PEAKEVALPEAK) and
// the named values of both (REGIONPARAMVALUE, PEAKPARAMVALUE: "name=value" in CMT).
#pragma once

#include <array>
#include <set>

#include "quantora/frame/CachedRecord.h"

struct PEAKData : CachedRecord<PEAKData, 21> {
    // The four integers together: no padding between the doubles (a million peaks in a set).
    int PEAK_ID, PEAKEVAL_ID, PEAKEVALPEAK_ID, EMPLOYEE_ID;
    double POS, POSUNC, E, EUNC, AREA, AREAUNC, FWHM, FWHMUNC;
    double GAUSSFWHM, GAUSSFWHMUNC, GAUSSAMPL, GAUSSAMPLUNC, HEIGHT, HEIGHTUNC, GUEST, BKG;
    TDateTime CREATIONDATE;

    static constexpr const char* Table = "PEAK";
    static const ColumnList& Columns();

    PEAKData() { Reset(); }
    ~PEAKData();

    // Sets the evaluation, the employee and the creation date; nothing else changes.
    void SetBasicData(int peakEvalId, int employeeId, TDateTime creationDate);
};

// Orders peak pointers by energy, ascending. In a multiset a peak goes after the peaks of equal
// energy already present.
struct EIndexedPeaksSetSorter {
    bool operator()(const PEAKData* a, const PEAKData* b) const { return a->E < b->E; }
};

// Reads every remaining row of `q` into `peaks` (emptied first; a repeated PEAK_ID is dropped)
// and, when `byEnergy` is given, indexes them by energy, equal energies in PEAK_ID order. A
// closed `q` is opened and closed again; an open one is read from its current row on and left
// open at its end. The index points into `peaks`: valid while `peaks` is neither changed nor
// destroyed, and the PEAK_ID of a peak must not be changed through it.
void ReadAllPeaks(TQuery* q, std::set<PEAKData>* peaks,
                  std::multiset<PEAKData*, EIndexedPeaksSetSorter>* byEnergy = nullptr);

struct PEAKEVALData : CachedRecord<PEAKEVALData, 18> {
    int PEAKEVAL_ID, PEAKEVALMETHOD_ID, PEAKEVALCAL_ID, MEASUREMENT_ID;
    AnsiString NAME;
    AnsiString TENTATIVE;  // "Y" or "N"
    int LASTMODBY_EMP_ID;
    TDateTime LASTMODIFIEDDATE;
    int PERFORMEDBY_EMP_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int LEFTTRESHOLDCH, RIGHTTRESHOLDCH;
    int ECAL_ID, FWHMCAL_ID;  // null in the row when not above 0
    bool USENEWESTECAL, USENEWESTWCAL, USEAUTOECALUPDATE;

    static constexpr const char* Table = "PEAKEVAL";
    static const ColumnList& Columns();
    // The analyses' measurements that name the evaluation are reported and released; its peaks,
    // fit regions and their parameter values go with it.
    static const quantora::DeletionRules& Deletion();

    PEAKEVALData() { Reset(); }
};

struct PEAKEVALREGIONData : CachedRecord<PEAKEVALREGIONData, 6> {
    int PEAKEVALREGION_ID, PEAKEVAL_ID, PEAKEVALCAL_ID, EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "PEAKEVALREGION";
    static const ColumnList& Columns();

    PEAKEVALREGIONData() { Reset(); }
};

struct PEAKEVALPEAKData : CachedRecord<PEAKEVALPEAKData, 5> {
    int PEAKEVALPEAK_ID, PEAKEVALREGION_ID, EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "PEAKEVALPEAK";
    static const ColumnList& Columns();

    PEAKEVALPEAKData() { Reset(); }
};

struct PEAKPARAMVALUEData : CachedRecord<PEAKPARAMVALUEData, 5> {
    int PEAKPARAMVALUE_ID, PEAKEVALPEAK_ID, EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "PEAKPARAMVALUE";
    static const ColumnList& Columns();

    PEAKPARAMVALUEData() { Reset(); }
};

struct REGIONPARAMVALUEData : CachedRecord<REGIONPARAMVALUEData, 5> {
    int REGIONPARAMVALUE_ID, PEAKEVALREGION_ID, EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "REGIONPARAMVALUE";
    static const ColumnList& Columns();

    REGIONPARAMVALUEData() { Reset(); }
};
