// The demo lab of qdb demo: a realistic gamma spectroscopy lab built in a fresh database
// (projects, people, clients, samples, sources, setups, a radiation library, measured spectra with
// their peak evaluations and calibrations, setup analyses, documents and user settings).
// DemoLabData.cpp holds its data tables, DemoLabAnalyses.cpp makes the spectra and fits the
// calibrations and analyses, DemoLabPrint.cpp shows what was made and the library at work on it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "quantora/base/DateTime.h"
#include "quantora/base/Types.h"
#include "quantora/calibmodel/ECalibration.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"
#include "quantora/calibmodel/PeakEvalCalibration.h"
#include "quantora/dblayer/Variant.h"
#include "quantora/frame/IntKeyGen.h"
#include "tools/qdb/DemoNuclides.h"
#include "tools/qdb/DemoSpectra.h"
#include "tools/qdb/Progress.h"

namespace qdbtool::demo {

constexpr const char* kAlias = "qdb";
constexpr int kDocumentChunkSize = 1024;
constexpr int kFirstChannel = 40;       // below: the ADC's low-level discriminator region
constexpr double kNominalGain = 0.375;  // keV per channel, the ADC setting before calibration
constexpr int kBuildSteps = 25;         // progress steps of DemoLab::Build
// The demo's root project (PROJECT_ID 1): how qdb demo knows a file it may replace.
constexpr const char* kRootProject = "Gamma spectrometry lab 2026";

inline TDateTime Date(int y, int mo, int d, int h = 9, int mi = 0) {
    return quantora::EncodeDateTime({y, mo, d, h, mi, 0, 0});
}

// One key generator per table, counting from 1.
class Keys {
  public:
    IntKeyGen* operator()(const char* table) {
        auto it = gens_.find(table);
        if (it == gens_.end()) it = gens_.emplace(table, quantora::CountingKeyGen(1, kAlias)).first;
        return &it->second;
    }

  private:
    std::map<std::string, quantora::CountingKeyGen> gens_;
};

// A row of a table that has no record class: the columns given, the rest null.
void InsertRow(const char* table, std::initializer_list<std::pair<const char*, Variant>> values);

struct Content {
    const char* nuclide;
    double activity;  // Bq at the reference date
};

struct SourcePlan {
    const char* name;
    TDateTime refDate;
    std::vector<Content> contents;
    int id = -1;
};

// The activity of a source's content at `date`, decay-corrected from the reference date.
double ActivityAt(const SourcePlan& source, const Content& content, TDateTime date);

struct MeasPlan {
    const char* name;
    int setup;                            // index into the setups
    int project;                          // PROJECT_ID
    int source;                           // index into the sources, or -1
    int sample;                           // SAMPLE_ID, or -1
    std::vector<Content> sampleContents;  // for samples: activities at the measurement date
    double liveTime;
    bool calibration;  // used by the setup analyses
};

// The measurements of the demo in the order they are made; `soilMeasurement` receives the
// MEASUREMENT_ID of the first soil sample's.
std::vector<MeasPlan> MeasurementPlans(int& soilMeasurement);

// A peak matched to a library line.
struct Assigned {
    int peak;  // index into the found peaks
    const Nuclide* nuclide;
    const GammaLine* line;
    AnsiString radiationId;
};

struct MeasResult {
    int measId = -1, spectrumId = -1, peakEvalId = -1, setupId = -1;
    TDateTime date = 0, endDate = 0;
    double liveTime = 0;
    std::vector<FoundPeak> peaks;
    std::vector<int> peakIds;
    std::vector<Assigned> assigned;
    ECalibration ecal;
    FwhmCalibrClass fwhm;
    const SourcePlan* source = nullptr;
};

AnsiString RadiationKey(const Nuclide& n, const GammaLine& l);

class DemoLab {
  public:
    explicit DemoLab(ProgressBar& bar) : bar_(bar) {}

    void Build();
    void PrintSummary(const std::string& db, const std::string& xml, double seconds);

  private:
    // The setup analyses' common ground: the setup and its calibration measurements.
    struct SetupContext {
        int index, id;
        const char* name;
        std::vector<const MeasResult*> cal;
        TDateTime created, validFrom;
    };
    // An efficiency point of a certified line.
    struct EffPoint {
        const MeasResult* r;
        const Assigned* a;
        double eff, effUnc;
    };

    // DemoLabData.cpp
    void People();
    void Projects();
    void ClientsAndOrders();
    void Irradiations();
    void Samples();
    void Geometries();
    void LotsAndSamples();
    void Sources();
    void Setups();
    void RadiationLibraryRows();
    void PeakEvalSetting();
    void Documents();
    void UserSettings();

    // DemoLabAnalyses.cpp
    void Measure(const MeasPlan& plan, uint32_t seed);
    std::vector<const Nuclide*> InFront(const MeasPlan& plan, const MeasResult& r,
                                        std::vector<Emission>& emissions) const;
    void StoreMeasurement(const MeasPlan& plan, MeasResult& r,
                          const std::vector<unsigned long>& counts);
    void Calibrate(const MeasPlan& plan, MeasResult& r,
                   const std::vector<const Nuclide*>& nuclides);
    void StorePeaks(const MeasPlan& plan, MeasResult& r);
    std::vector<Assigned> MatchLines(const std::vector<FoundPeak>& peaks,
                                     const std::vector<const Nuclide*>& nuclides,
                                     const ECalibration* cal, double tolKeV);
    void SetupAnalyses(int setupIndex);
    void NonlinAnalysis(const SetupContext& s);
    std::vector<EffPoint> EfficiencyPoints(const SetupContext& s) const;
    void EfficiencyAnalysis(const SetupContext& s, const std::vector<EffPoint>& points);
    void ResolutionAnalysis(const SetupContext& s, const std::vector<EffPoint>& points);

    // DemoLabPrint.cpp
    void PrintRowCounts(const std::string& db);
    void PrintSoilCalibration(ECalibration& cal);
    void PrintPeakMatches(const ECalibration& cal);
    void PrintDeletionCheck();

    void Step(const std::string& label) { bar_.Step(label); }

    ProgressBar& bar_;
    Keys keys_;
    std::vector<int> setupIds_;
    std::vector<DetectorModel> detectors_;
    std::vector<SourcePlan> sources_;
    std::vector<MeasResult> results_;
    std::map<AnsiString, int> isomerIds_;
    int libraryId_ = -1;
    int peakEvalCalId_ = -1;
    PeakEvalCalibration peakEvalSetting_;  // what the measurements are evaluated with
    int soilMeasurement_ = -1;
    int busyProject_ = 4;
};

}  // namespace qdbtool::demo
