// qdb demo: builds a realistic gamma spectroscopy lab in a fresh database (projects, people,
// clients, samples, sources, setups, a radiation library, measured spectra with their peak
// evaluations and calibrations, setup analyses, documents and user settings), all in one
// transaction, then shows what it made and the library at work on it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/calibmodel/ECalibration.h"
#include "quantora/calibmodel/EffCalibration.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"
#include "quantora/calibmodel/NonlinECalibr.h"
#include "quantora/calibmodel/PeakEvalCalibration.h"
#include "quantora/calibration/AnalysisRetrieval.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/calibration/FwhmCalStorage.h"
#include "quantora/calibration/Peakevalcaltables.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/frame/SqlNames.h"
#include "quantora/nuclides/GammaLineTable.h"
#include "quantora/nuclides/Nuclibtables.h"
#include "quantora/nuclides/Radlib.h"
#include "quantora/records/Devicetables.h"
#include "quantora/records/Meastables.h"
#include "quantora/records/Othertables.h"
#include "quantora/records/Peaktables.h"
#include "quantora/records/Sampletables.h"
#include "quantora/services/Blobutil.h"
#include "quantora/services/Usersettings.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/DemoNuclides.h"
#include "tools/qdb/DemoSpectra.h"
#include "tools/qdb/Progress.h"

namespace qdbtool {
namespace {

namespace fs = std::filesystem;
using quantora::Format;
using namespace qdbtool::demo;

constexpr const char* kAlias = "qdb";
constexpr int kDocumentChunkSize = 1024;
constexpr int kFirstChannel = 40;       // below: the ADC's low-level discriminator region
constexpr double kNominalGain = 0.375;  // keV per channel, the ADC setting before calibration

TDateTime Date(int y, int mo, int d, int h = 9, int mi = 0) {
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
void InsertRow(const char* table, std::initializer_list<std::pair<const char*, Variant>> values) {
    AutoQuery q(nullptr, kAlias, table);
    q->Open();
    q->Insert();
    for (const auto& [column, value] : values) q->FieldByName(column)->SetAsVariant(value);
    q->Post();
}

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

// A peak matched to a library line.
struct Assigned {
    int peak;  // index into the found peaks
    const Nuclide* nuclide;
    const GammaLine* line;
    AnsiString radiationId;
};

struct MeasResult {
    int measId = -1, spectrumId = -1, peakEvalId = -1, setupId = -1;
    TDateTime date = 0;
    double liveTime = 0;
    std::vector<FoundPeak> peaks;
    std::vector<int> peakIds;
    std::vector<Assigned> assigned;
    ECalibration ecal;
    FwhmCalibrClass fwhm;
    const SourcePlan* source = nullptr;
};

AnsiString RadiationKey(const Nuclide& n, const GammaLine& l) {
    return Format("%s %.2f", n.symbol, l.energy);
}

class DemoLab {
  public:
    DemoLab(ProgressBar& bar) : bar_(bar) {}

    void Build();
    void PrintSummary(const std::string& db, const std::string& xml, double seconds);

  private:
    void People();
    void Projects();
    void ClientsAndOrders();
    void Irradiations();
    void Samples();
    void Sources();
    void Setups();
    void RadiationLibraryRows();
    void PeakEvalSetting();
    void Measure(const MeasPlan& plan, uint32_t seed);
    void SetupAnalyses(int setupIndex);
    void Documents();
    void UserSettings();

    void Step(const std::string& label) { bar_.Step(label); }
    std::vector<Assigned> MatchLines(const std::vector<FoundPeak>& peaks,
                                     const std::vector<const Nuclide*>& nuclides,
                                     const ECalibration* cal, double tolKeV);

    ProgressBar& bar_;
    Keys keys_;
    TDateTime created_ = Date(2026, 11, 2, 8, 0);
    std::vector<int> setupIds_;
    std::vector<DetectorModel> detectors_;
    std::vector<SourcePlan> sources_;
    std::vector<MeasResult> results_;
    std::map<AnsiString, int> isomerIds_;
    int libraryId_ = -1;
    int peakEvalCalId_ = -1;

  public:
    // For the summary.
    int soilMeasurement = -1;
    int busyProject = 4;
};

void DemoLab::People() {
    const char* names[] = {"Dr. Ada Lindqvist (lab manager)", "Tomas Berger (physicist)",
                           "Mira Okafor (technician)", "Jan Novak (technician)"};
    for (const char* n : names)
        InsertRow("EMPLOYEE", {{"EMPLOYEE_ID", keys_("EMPLOYEE")->NextKey()},
                               {"NAME", n},
                               {"CREATIONDATE", Variant::FromDate(Date(2025, 1, 6))}});
    Step("employees");
}

void DemoLab::Projects() {
    struct P {
        int parent;
        const char* name;
        int employee;
    };
    // Three levels: the lab, its programmes, their campaigns.
    const P tree[] = {
        {0, "Gamma spectrometry lab 2026", 1}, {1, "Detector calibration", 2},
        {1, "Environmental monitoring", 1},    {3, "Soil survey North", 2},
        {3, "Drinking water 2026", 3},         {1, "Neutron activation", 2},
        {6, "Reactor irradiations Q4", 2},     {3, "Air filters", 4},
    };
    PROJECTData p;
    for (const P& t : tree) {
        p.Reset();
        p.SUPERPROJECT_ID = t.parent;
        p.NAME = t.name;
        p.STARTDATE = Date(2026, 1, 5);
        p.ENDDATE = Date(2026, 12, 18);
        p.EMPLOYEE_ID = t.employee;
        p.CREATIONDATE = Date(2026, 1, 5);
        p.CMT = "";
        p.Insert(keys_("PROJECT"), kAlias, nullptr);
    }
    Step("projects");
}

void DemoLab::ClientsAndOrders() {
    struct C {
        const char* name;
        const char* address;
        const char* email;
    };
    const C clients[] = {
        {"Regional Water Authority", "12 Reservoir Road, Lakeside", "lab@water.example"},
        {"Agricultural Research Institute", "4 Field Lane, Greenvale", "soil@ari.example"},
        {"City Environment Office", "1 Town Hall Square, Midtown", "env@city.example"},
    };
    CLIENTData c;
    for (const C& x : clients) {
        c.Reset();
        c.NAME = x.name;
        c.ADDRESS = x.address;
        c.EMAIL = x.email;
        c.TEL = "+00 100 2000";
        c.EMPLOYEE_ID = 1;
        c.CREATIONDATE = Date(2026, 2, 1);
        c.Insert(keys_("CLIENT"), kAlias, nullptr);
    }
    struct O {
        int client, project;
        const char* name;
        const char* request;
    };
    const O orders[] = {
        {1, 5, "Quarterly drinking water screening", "Report Cs-137 and K-40 activity per litre"},
        {2, 4, "Soil cores North transect", "Detection limits below 1 Bq/kg for Cs-137"},
        {3, 8, "Air filter weekly samples", "Be-7 and Pb-210 trend"},
        {2, 4, "Soil cores North transect, second batch", ""},
    };
    ORDERSData o;
    for (const O& x : orders) {
        o.Reset();
        o.CLIENT_ID = x.client;
        o.PROJECT_ID = x.project;
        o.NAME = x.name;
        o.SPECIALREQUEST = x.request;
        o.ORDERDATE = Date(2026, 3, 2);
        o.EMPLOYEE_ID = 1;
        o.CREATIONDATE = Date(2026, 3, 2);
        o.Insert(keys_("ORDERS"), kAlias, nullptr);
    }
    Step("clients and orders");
}

void DemoLab::Irradiations() {
    IRRADIATIONLOCATIONData loc;
    for (const char* n : {"Reactor pneumatic tube 1", "Reactor central channel"}) {
        loc.Reset();
        loc.NAME = n;
        loc.EMPLOYEE_ID = 2;
        loc.CREATIONDATE = Date(2026, 1, 10);
        loc.Insert(keys_("IRRADIATIONLOCATION"), kAlias, nullptr);
    }
    IRRADIATIONData irr;
    for (int i = 0; i < 3; ++i) {
        irr.Reset();
        irr.PROJECT_ID = 7;
        irr.IRRADIATIONLOCATION_ID = 1 + i % 2;
        irr.NAME = Format("Irradiation %d (Au flux monitors)", i + 1);
        irr.STARTDATE = Date(2026, 10, 5 + 7 * i, 10, 0);
        irr.ENDDATE = irr.STARTDATE + 2.0 / 24;
        irr.IRRADLENGTH = 7200.0;
        irr.EMPLOYEE_ID = 2;
        irr.CREATIONDATE = irr.STARTDATE;
        irr.Insert(keys_("IRRADIATION"), kAlias, nullptr);
    }
    Step("irradiations");
}

void DemoLab::Samples() {
    // Geometry types and the parameters they require.
    struct R {
        int type;
        const char* name;
        const char* symbol;
    };
    const R req[] = {{1, "Inner diameter (mm)", "d"},
                     {1, "Filling height (mm)", "h"},
                     {1, "Wall thickness (mm)", "w"},
                     {2, "Volume (ml)", "V"}};
    for (const R& r : req)
        InsertRow("SAMPLEGEOMREQPARAM",
                  {{"SAMPLEGEOMREQPARAM_ID", keys_("SAMPLEGEOMREQPARAM")->NextKey()},
                   {"SAMPLEGEOMTYPE_ID", r.type},
                   {"NAME", r.name},
                   {"SYMBOL", r.symbol},
                   {"SAMPLEGEOMPARAMTYPE_ID", 1}});
    struct G {
        const char* name;
        int type;
        std::vector<double> values;
    };
    const G geoms[] = {{"Cylinder 70 x 40 mm", 1, {70.0, 40.0, 1.5}},
                       {"Cylinder 90 x 20 mm", 1, {90.0, 20.0, 1.5}},
                       {"Marinelli 1 l", 2, {1000.0}}};
    SAMPLEGEOMData g;
    for (const G& x : geoms) {
        g.Reset();
        g.NAME = x.name;
        g.SAMPLEGEOMTYPE_ID = x.type;
        g.EMPLOYEE_ID = 2;
        g.CREATIONDATE = Date(2026, 1, 12);
        int reqId = x.type == 1 ? 1 : 4;
        for (double v : x.values) {
            SAMPLEGEOMPARAM_EditData& e = g.Params.emplace_back();
            e.SAMPLEGEOMREQPARAM_ID = reqId++;
            e.NUMVALUE1 = v;
        }
        g.Insert(keys_("SAMPLEGEOM"), keys_("SAMPLEGEOMPARAM"), kAlias, nullptr);
    }
    struct M {
        int geom;
        const char* name;
        double density;
    };
    const M matrices[] = {{1, "Dry soil in cylinder 70 x 40", 1.35},
                          {2, "Air filter stack in cylinder 90 x 20", 0.30},
                          {3, "Water in Marinelli 1 l", 1.00}};
    SAMPLEGEOMMATRIXData m;
    for (const M& x : matrices) {
        m.Reset();
        m.SAMPLEGEOM_ID = x.geom;
        m.NAME = x.name;
        m.SAMPLEDENSITY = x.density;
        m.ISSUPPORTRADIATINGDEF = "N";
        m.ISDILUENTRADIATINGDEF = "N";
        m.EMPLOYEE_ID = 2;
        m.CREATIONDATE = Date(2026, 1, 12);
        m.Insert(keys_("SAMPLEGEOMMATRIX"), kAlias, nullptr);
    }
    LOTData lot;
    const std::pair<int, const char*> lots[] = {
        {4, "North transect, cores 1-3"}, {5, "Tap water, October"}, {8, "Roof filter, October"}};
    for (const auto& [project, name] : lots) {
        lot.Reset();
        lot.PROJECT_ID = project;
        lot.NAME = name;
        lot.EMPLOYEE_ID = 3;
        lot.CREATIONDATE = Date(2026, 10, 20);
        lot.Insert(keys_("LOT"), kAlias, nullptr);
    }
    struct S {
        int lot, matrix;
        const char* name;
        double weight;
    };
    const S samples[] = {
        {1, 1, "Soil core N-1 (0-5 cm)", 0.212}, {1, 1, "Soil core N-2 (0-5 cm)", 0.198},
        {1, 1, "Soil core N-3 (0-5 cm)", 0.205}, {2, 3, "Tap water Midtown", 1.000},
        {2, 3, "Tap water Lakeside", 1.000},     {3, 2, "Air filter week 43", 0.015}};
    SAMPLEData s;
    for (const S& x : samples) {
        s.Reset();
        s.LOT_ID = x.lot;
        s.SAMPLEGEOMMATRIX_ID = x.matrix;
        s.NAME = x.name;
        s.SAMPLEWEIGHT = x.weight;
        s.ISSUPPORTRADIATING = "N";
        s.ISDILUENTRADIATING = "N";
        s.EMPLOYEE_ID = 3;
        s.CREATIONDATE = Date(2026, 10, 21);
        s.Insert(keys_("SAMPLE"), kAlias, nullptr);
    }
    // Two soil cores went through an activation run as well.
    for (int sample : {1, 2})
        InsertRow("SAMPLEIRRADIATION", {{"SAMPLE_ID", sample}, {"IRRADIATION_ID", 2}});
    Step("samples and geometries");
}

void DemoLab::RadiationLibraryRows() {
    libraryId_ = keys_("RADIATIONLIBRARY")->NextKey();
    InsertRow("RADIATIONLIBRARY",
              {{"RADIATIONLIBRARY_ID", libraryId_}, {"NAME", "Calibration nuclides"}});
    ISOMERData iso;
    DECAYData decay;
    RADIATIONData rad;
    for (const Nuclide& n : CalibrationNuclides()) {
        iso.Reset();
        iso.SYMBOL = n.symbol;
        iso.ISOMERNUM = 0;
        iso.HALFLIFE = n.halfLifeYears * kSecondsPerYear;
        iso.HALFLIFEUNC = n.halfLifeUncYears * kSecondsPerYear;
        iso.EMPLOYEE_ID = 2;
        iso.CREATIONDATE = Date(2026, 1, 8);
        iso.Insert(keys_("ISOMER"), kAlias, nullptr);
        isomerIds_[n.symbol] = iso.ISOMER_ID;
        decay.Reset();
        decay.ISOMER_ID = iso.ISOMER_ID;
        decay.TRANSITIONTYPE_ID = quantora::TransitionTypeOfDecayMode(n.decayMode);
        decay.NAME = Format("%s %s", n.symbol, n.decayMode);
        decay.DECAYBRANCHING = 100.0;
        decay.DECAYBRANCHINGUNC = 0.0;
        decay.EMPLOYEE_ID = 2;
        decay.CREATIONDATE = iso.CREATIONDATE;
        decay.Insert(keys_("DECAY"), kAlias, nullptr);
        InsertRow("RADLIB_TRANSFORM",
                  {{"RADIATIONLIBRARY_ID", libraryId_}, {"DECAY_ID", decay.DECAY_ID}});
        for (const GammaLine& l : n.lines) {
            rad.Reset();
            rad.RADIATION_ID = RadiationKey(n, l);
            rad.DECAY_ID = decay.DECAY_ID;
            rad.E = l.energy;
            rad.EUNC = l.energyUnc;
            rad.INTENSITY = l.intensity;
            rad.INTENSITYUNC = l.intensityUnc;
            rad.RADIATIONTYPE = "G";
            rad.EMPLOYEE_ID = 2;
            rad.CREATIONDATE = iso.CREATIONDATE;
            rad.Insert(nullptr, kAlias, nullptr);
        }
    }
    Step("radiation library");
}

void DemoLab::Sources() {
    sources_ = {
        {"Eu-152 point source EP-19", Date(2025, 6, 1, 12), {{"Eu-152", 31500.0}}},
        {"Mixed gamma standard MG-7",
         Date(2026, 10, 1, 12),
         {{"Am-241", 5200.0},
          {"Cd-109", 21000.0},
          {"Co-57", 1900.0},
          {"Ce-139", 2300.0},
          {"Hg-203", 6100.0},
          {"Sn-113", 3500.0},
          {"Sr-85", 5400.0},
          {"Cs-137", 3100.0},
          {"Y-88", 6800.0},
          {"Co-60", 4200.0}}},
        {"Ba-133 check source", Date(2024, 3, 15, 12), {{"Ba-133", 12800.0}}},
        {"Na-22 / Mn-54 check source",
         Date(2026, 5, 4, 12),
         {{"Na-22", 8100.0}, {"Mn-54", 6900.0}}},
    };
    SOURCEData s;
    SOURCEISOMERData si;
    for (SourcePlan& p : sources_) {
        s.Reset();
        s.NAME = p.name;
        s.OWNER = "Gamma spectrometry lab";
        s.EMPLOYEE_ID = 1;
        s.CREATIONDATE = Date(2026, 1, 9);
        s.Insert(keys_("SOURCE"), kAlias, nullptr);
        p.id = s.SOURCE_ID;
        for (const Content& c : p.contents) {
            si.Reset();
            si.SOURCE_ID = p.id;
            si.ISOMER_ID = isomerIds_.at(c.nuclide);
            si.ACTIVITYCALIBRATED = true;
            si.ACTIVITY = c.activity;
            si.ACTIVITYUNC = c.activity * 0.015;
            si.CALIBRATOR = "National metrology institute";
            si.CALIBRDATE = p.refDate;
            si.EMPLOYEE_ID = 1;
            si.CREATIONDATE = Date(2026, 1, 9);
            si.Insert(nullptr, kAlias, nullptr);
        }
    }
    Step("sources");
}

void DemoLab::Setups() {
    ADCData adc;
    for (const char* n : {"ADC 1 (8192 ch, 3 MeV)", "ADC 2 (8192 ch, 3 MeV)"}) {
        adc.Reset();
        adc.NAME = n;
        adc.EMPLOYEE_ID = 2;
        adc.CREATIONDATE = Date(2026, 1, 7);
        adc.Insert(keys_("ADC"), kAlias, nullptr);
    }
    DETECTORData det;
    const std::pair<const char*, double> dets[] = {{"HPGe coaxial p-type 40%", 190.0},
                                                   {"HPGe broad energy 50 cm2", 95.0}};
    for (const auto& [name, volume] : dets) {
        det.Reset();
        det.NAME = name;
        det.VOLUME = volume;
        det.EMPLOYEE_ID = 2;
        det.CREATIONDATE = Date(2026, 1, 7);
        det.DETECTORSUBTYPE_ID = 1;
        det.Insert(keys_("DETECTOR"), kAlias, nullptr);
    }
    MEASPOSITIONData pos;
    const std::pair<const char*, double> positions[] = {{"End cap", 0.0}, {"Shelf 10 cm", 10.0}};
    for (const auto& [name, dist] : positions) {
        pos.Reset();
        pos.NAME = name;
        pos.DETSAMPLEDISTANCE = dist;
        pos.EMPLOYEE_ID = 2;
        pos.CREATIONDATE = Date(2026, 1, 7);
        pos.Insert(keys_("MEASPOSITION"), kAlias, nullptr);
    }
    MEASRANGEData range;
    range.NAME = "20 keV - 3 MeV";
    range.STARTE = 20.0;
    range.ENDE = 3000.0;
    range.EMPLOYEE_ID = 2;
    range.CREATIONDATE = Date(2026, 1, 7);
    range.Insert(keys_("MEASRANGE"), kAlias, nullptr);
    MEASDEVICEData dev;
    const std::pair<int, const char*> devices[] = {{1, "Lead shield 10 cm, Cu lined"},
                                                   {2, "Spectroscopy amplifier"},
                                                   {3, "Electric cooler"},
                                                   {1, "Low-background shield 15 cm"}};
    for (const auto& [type, name] : devices) {
        dev.Reset();
        dev.MEASDEVTYPE_ID = type;
        dev.NAME = name;
        dev.EMPLOYEE_ID = 2;
        dev.CREATIONDATE = Date(2026, 1, 7);
        dev.Insert(keys_("MEASDEVICE"), kAlias, nullptr);
    }
    MEASSETUPData su;
    const char* names[] = {"Lab 1: HPGe 40% on end cap", "Lab 2: BEGe on end cap"};
    for (int i = 0; i < 2; ++i) {
        su.Reset();
        su.ADC_ID = i + 1;
        su.DETECTOR_ID = i + 1;
        su.MEASPOSITION_ID = 1;
        su.MEASRANGE_ID = 1;
        su.NAME = names[i];
        su.EMPLOYEE_ID = 2;
        su.CREATIONDATE = Date(2026, 1, 7);
        su.Insert(keys_("MEASSETUP"), kAlias, nullptr);
        setupIds_.push_back(su.MEASSETUP_ID);
        for (int d : i == 0 ? std::vector<int>{1, 2, 3} : std::vector<int>{2, 3, 4})
            InsertRow("MEASDEVICE_MSETUP",
                      {{"MEASDEVICE_ID", d}, {"MEASSETUP_ID", su.MEASSETUP_ID}});
    }
    // The two detectors differ in gain, resolution and efficiency.
    DetectorModel a;
    DetectorModel b;
    b.offset = -0.6;
    b.gain = 0.37465;
    b.nonlinAmplitude = -0.25;
    b.fwhmA = 0.45;
    b.fwhmB = 0.0019;
    b.effScale = 0.018;
    detectors_ = {a, b};
    Step("setups and devices");
}

void DemoLab::PeakEvalSetting() {
    PeakEvalCalibration pec;
    pec.PeakEvalCalId = keys_("PEAKEVALCAL")->NextKey();
    pec.EmployeeId = 2;
    pec.Name = "HPGe standard search (6 sigma)";
    pec.CreationDate = Date(2026, 1, 15);
    pec.SearchSignificance = 6.0;
    if (!StorePeakEvalCal(&pec, kAlias, true, nullptr))
        throw Exception("could not store the peak evaluation setting");
    peakEvalCalId_ = pec.PeakEvalCalId;
    Step("peak evaluation setting");
}

std::vector<Assigned> DemoLab::MatchLines(const std::vector<FoundPeak>& peaks,
                                          const std::vector<const Nuclide*>& nuclides,
                                          const ECalibration* cal, double tolKeV) {
    // Lines worth calibrating with: not weak, and no other candidate line close by.
    std::vector<std::pair<const Nuclide*, const GammaLine*>> lines;
    for (const Nuclide* n : nuclides)
        for (const GammaLine& l : n->lines)
            if (l.intensity >= 2.0) lines.push_back({n, &l});
    std::vector<Assigned> out;
    for (const auto& [n, l] : lines) {
        bool crowded = false;
        for (const auto& [n2, l2] : lines)
            if (l2 != l && std::fabs(l2->energy - l->energy) < 3.0) crowded = true;
        if (crowded) continue;
        int best = -1;
        double bestDiff = tolKeV;
        for (size_t i = 0; i < peaks.size(); ++i) {
            const double e = cal ? cal->Energy(peaks[i].pos) : peaks[i].pos * kNominalGain;
            if (std::fabs(e - l->energy) < bestDiff) {
                bestDiff = std::fabs(e - l->energy);
                best = static_cast<int>(i);
            }
        }
        if (best >= 0) out.push_back({best, n, l, RadiationKey(*n, *l)});
    }
    std::sort(out.begin(), out.end(),
              [](const Assigned& a, const Assigned& b) { return a.peak < b.peak; });
    return out;
}

void DemoLab::Measure(const MeasPlan& plan, uint32_t seed) {
    MeasResult r;
    r.setupId = setupIds_[plan.setup];
    r.liveTime = plan.liveTime;
    r.date = Date(2026, 11, 3) + static_cast<double>(results_.size()) * 0.9;
    const DetectorModel& det = detectors_[plan.setup];

    // What is in front of the detector, decay-corrected to the measurement date.
    std::vector<const Nuclide*> nuclides;
    std::vector<Emission> emissions;
    auto add = [&](const Content& c, double activity) {
        const Nuclide& n = NuclideBySymbol(c.nuclide);
        nuclides.push_back(&n);
        for (const GammaLine& l : n.lines)
            emissions.push_back({l.energy, activity * l.intensity / 100.0 *
                                               det.Efficiency(l.energy) * plan.liveTime});
    };
    if (plan.source >= 0) {
        r.source = &sources_[plan.source];
        for (const Content& c : r.source->contents) {
            const Nuclide& n = NuclideBySymbol(c.nuclide);
            const double years = (r.date - r.source->refDate) / 365.2422;
            add(c, c.activity * std::exp(-std::log(2.0) * years / n.halfLifeYears));
        }
    }
    for (const Content& c : plan.sampleContents) add(c, c.activity);

    MEASUREMENTData m;
    m.PROJECT_ID = plan.project;
    m.MEASSETUP_ID = r.setupId;
    m.NAME = plan.name;
    m.MEASOBJTYPE_ID = plan.source >= 0 ? 3 : 2;
    m.SOURCE_ID = plan.source >= 0 ? sources_[plan.source].id : -1;
    m.SAMPLE_ID = plan.sample;
    m.MEASUREDBY_EMP_ID = 3;
    m.ENTEREDBY_EMP_ID = 3;
    m.STARTDATE = r.date;
    m.ENDDATE = r.date + plan.liveTime * 1.01 / 86400.0;
    m.CREATIONDATE = m.ENDDATE;
    m.CMT = plan.calibration ? "Calibration measurement" : "";
    m.Insert(keys_("MEASUREMENT"), kAlias, nullptr);
    r.measId = m.MEASUREMENT_ID;

    std::vector<unsigned long> counts =
        GenerateSpectrum(det, emissions, plan.liveTime / 3600.0, seed);
    SPECTRUMData s;
    s.MEASUREMENT_ID = r.measId;
    s.SPECTRUMTYPE_ID = 1;
    // Spectrum and calibration names say what they add to the measurement's, so the tree of a
    // measurement does not repeat its name at every level.
    s.NAME = "HPGe gamma spectrum";
    s.SPECOLLSTARTEDAT = m.STARTDATE;
    s.SPECOLLENDEDAT = m.ENDDATE;
    s.LIVETIME = plan.liveTime;
    s.TRUETIME = plan.liveTime * 1.01;
    double sum = 0, maxc = 0, minc = 1e300;
    for (unsigned long c : counts) {
        sum += static_cast<double>(c);
        maxc = std::max(maxc, static_cast<double>(c));
        minc = std::min(minc, static_cast<double>(c));
    }
    s.SUMCOUNT = sum;
    s.MAXCOUNT = maxc;
    s.MINCOUNT = minc;
    s.SPEFILETYPE = "generated";
    s.EMPLOYEE_ID = 3;
    s.CREATIONDATE = m.ENDDATE;
    std::vector<unsigned long> toStore = counts;
    s.CompressCounts(&toStore, false);
    s.Insert(keys_("SPECTRUM"), kAlias, nullptr);
    r.spectrumId = s.SPECTRUM_ID;

    // Peak search with the widths the setting expects for this setup (channel units).
    const double g2 = det.gain * det.gain;
    r.peaks = SearchPeaks(counts, det.fwhmA / g2 + det.fwhmB * det.offset / g2,
                          det.fwhmB / det.gain, 6.0, kFirstChannel);

    // Energy calibration: match with the nominal gain, fit, match again closer, refit.
    auto fit = [&](const std::vector<Assigned>& as) {
        r.ecal.Init();
        r.ecal.SpectrumId = r.spectrumId;
        int i = 0;
        for (const Assigned& a : as) {
            const FoundPeak& p = r.peaks[a.peak];
            r.ecal.LinearPart.Set(i++, p.pos, a.line->energy, p.posUnc, a.line->energyUnc, -1,
                                  a.radiationId.c_str(), true);
        }
        r.ecal.LinearPart.CalcCoeff();
    };
    r.assigned = MatchLines(r.peaks, nuclides, nullptr, 4.0);
    if (r.assigned.size() >= 2) {
        fit(r.assigned);
        r.assigned = MatchLines(r.peaks, nuclides, &r.ecal, 0.8);
    }
    if (r.assigned.size() < 2)
        throw Exception(Format("demo spectrum '%s': too few peaks matched", plan.name));
    fit(r.assigned);
    r.ecal.Name = Format("Fit of %zu peaks", r.assigned.size());
    r.ecal.CreationDate = m.ENDDATE + 0.05;
    r.ecal.CreatedByEmpId = 2;
    r.ecal.LastModByEmpId = 2;
    StoreECal(&r.ecal, keys_("ECAL"), keys_("ECALPOINT"), kAlias, nullptr, nullptr);

    int i = 0;
    for (const Assigned& a : r.assigned) {
        const FoundPeak& p = r.peaks[a.peak];
        r.fwhm.Set(i++, p.pos, p.fwhm, p.posUnc, p.fwhmUnc, -1);
    }
    r.fwhm.CalcCoeff();
    r.fwhm.SpectrumId = r.spectrumId;
    r.fwhm.Name = Format("FWHM calibration of %s", plan.name);
    r.fwhm.CreationDate = r.ecal.CreationDate;
    r.fwhm.LastModifiedDate = r.ecal.CreationDate;
    r.fwhm.CreatedByEmpId = 2;
    r.fwhm.LastModByEmpId = 2;
    if (r.fwhm.Valid)
        StoreLinearFwhmCal(&r.fwhm, keys_("FWHMCAL"), keys_("FWHMCALPOINT"), kAlias, nullptr,
                           nullptr);

    PEAKEVALData pe;
    pe.MEASUREMENT_ID = r.measId;
    pe.PEAKEVALCAL_ID = peakEvalCalId_;
    pe.PEAKEVALMETHOD_ID = 1;
    pe.NAME = Format("Peak search of %s", plan.name);
    pe.TENTATIVE = "N";
    pe.PERFORMEDBY_EMP_ID = 2;
    pe.LASTMODBY_EMP_ID = 2;
    pe.CREATIONDATE = r.ecal.CreationDate;
    pe.LASTMODIFIEDDATE = r.ecal.CreationDate;
    pe.LEFTTRESHOLDCH = kFirstChannel;
    pe.RIGHTTRESHOLDCH = det.channels - 10;
    pe.ECAL_ID = r.ecal.ECalId;
    pe.FWHMCAL_ID = r.fwhm.Valid ? r.fwhm.FwhmCalId : -1;
    pe.USENEWESTECAL = true;
    pe.USENEWESTWCAL = true;
    pe.USEAUTOECALUPDATE = false;
    pe.Insert(keys_("PEAKEVAL"), kAlias, nullptr);
    r.peakEvalId = pe.PEAKEVAL_ID;

    AutoQuery live(nullptr, kAlias, "PEAK");
    OpenerCloser open(live.get());
    PEAKData pk;
    for (const FoundPeak& p : r.peaks) {
        pk.Reset();
        pk.SetBasicData(r.peakEvalId, 2, pe.CREATIONDATE);
        pk.POS = p.pos;
        pk.POSUNC = p.posUnc;
        pk.E = r.ecal.Energy(p.pos);
        pk.EUNC = r.ecal.EnergyUnc(p.pos, p.posUnc);
        pk.AREA = p.area;
        pk.AREAUNC = p.areaUnc;
        pk.FWHM = p.fwhm;
        pk.FWHMUNC = p.fwhmUnc;
        pk.GAUSSFWHM = p.fwhm;
        pk.GAUSSFWHMUNC = p.fwhmUnc;
        pk.HEIGHT = p.height;
        pk.HEIGHTUNC = p.height * p.areaUnc / p.area;
        pk.GAUSSAMPL = p.height;
        pk.GAUSSAMPLUNC = pk.HEIGHTUNC;
        pk.BKG = p.bkg;
        pk.Insert(keys_("PEAK"), kAlias, live.get());
        r.peakIds.push_back(pk.PEAK_ID);
    }
    results_.push_back(std::move(r));
    Step(plan.name);
}

void DemoLab::SetupAnalyses(int setupIndex) {
    const int setupId = setupIds_[setupIndex];
    std::vector<const MeasResult*> cal;
    for (const MeasResult& r : results_)
        if (r.setupId == setupId && r.source && r.source != &sources_[2] &&
            r.source != &sources_[3])
            cal.push_back(&r);
    if (cal.empty()) return;
    const TDateTime created = cal.back()->date + 1.0;
    const TDateTime validFrom = Date(2026, 11, 1);
    const char* setupName = setupIndex == 0 ? "Lab 1" : "Lab 2";

    // Nonlinearity: what the straight line leaves of the Eu-152 peak positions.
    {
        const MeasResult& r = *cal.front();
        double a, b;
        r.ecal.LinearPart.GetParams(&a, &b, nullptr, nullptr, nullptr);
        std::vector<double> ch, dev, unc;
        for (const Assigned& as : r.assigned) {
            const FoundPeak& p = r.peaks[as.peak];
            ch.push_back(p.pos);
            dev.push_back(p.pos - (as.line->energy - a) / b);
            unc.push_back(std::hypot(p.posUnc, as.line->energyUnc / b));
        }
        NonlinECalibr nl;
        nl.Fit(ch.data(), dev.data(), unc.data(), static_cast<int>(ch.size()), 3);
        NONLINANALYSISData na;
        na.CopyFromNonlinECalibr(&nl);
        na.NAME = Format("%s integral nonlinearity (Eu-152)", setupName);
        double chi2 = 0, worst = 0;
        for (size_t i = 0; i < ch.size(); ++i) {
            const double d = dev[i] - nl.Deviation(ch[i]);
            chi2 += d * d / (unc[i] * unc[i]);
        }
        for (int x = 0; x < 8192; x += 64) worst = std::max(worst, std::fabs(nl.Deviation(x)));
        na.CHISQUARE = chi2;
        na.BASELINETRANS0 = 0.0;
        na.BASELINETRANS1 = 1.0;
        na.PEAKIDENTLIMITCH = 1.0;
        na.EMPLOYEE_ID = 2;
        na.CREATIONDATE = created;
        na.PROJECT_ID = 2;
        na.TENTATIVE = "N";
        na.BASELINETYPE = "linear";
        na.MEASNUM = 1;
        na.NONLINEARITY = worst;
        na.PEAKINTLIMIT = 100.0;
        na.NONLINANALYSIS_ID = keys_("NONLINANALYSIS")->NextKey();
        na.Insert(nullptr, kAlias, nullptr);
        NONLINMEASUREMENTData nm;
        nm.NONLINANALYSIS_ID = na.NONLINANALYSIS_ID;
        nm.MEASUREMENT_ID = r.measId;
        nm.PEAKEVAL_ID = r.peakEvalId;
        nm.CHISQUARE = chi2;
        nm.EMPLOYEE_ID = 2;
        nm.CREATIONDATE = created;
        nm.Insert(keys_("NONLINMEASUREMENT"), kAlias, nullptr);
        NONLINPEAKData np;
        for (size_t i = 0; i < r.assigned.size(); ++i) {
            np.Reset();
            np.NONLINMEASUREMENT_ID = nm.NONLINMEASUREMENT_ID;
            np.PEAK_ID = r.peakIds[r.assigned[i].peak];
            np.RADIATION_ID = r.assigned[i].radiationId;
            np.MEASCH = ch[i];
            np.MEASCHUNC = r.peaks[r.assigned[i].peak].posUnc;
            np.NONLINVALUE = dev[i];
            np.NONLINVALUEUNC = unc[i];
            np.CHI = (dev[i] - nl.Deviation(ch[i])) / unc[i];
            np.CREATIONDATE = created;
            np.EMPLOYEE_ID = 2;
            np.Insert(keys_("NONLINPEAK"), kAlias, nullptr);
        }
        InsertRow("MEASSETUPNONLIN", {{"MEASSETUP_ID", setupId},
                                      {"VALIDFROM", Variant::FromDate(validFrom)},
                                      {"NONLINANALYSIS_ID", na.NONLINANALYSIS_ID}});
    }

    // Efficiency and resolution from the certified sources.
    struct Point {
        const MeasResult* r;
        const Assigned* a;
        double eff, effUnc;
    };
    std::vector<Point> points;
    for (const MeasResult* r : cal)
        for (const Assigned& a : r->assigned) {
            double activity = 0;
            for (const Content& c : r->source->contents)
                if (a.nuclide == &NuclideBySymbol(c.nuclide))
                    activity =
                        c.activity * std::exp(-std::log(2.0) * (r->date - r->source->refDate) /
                                              365.2422 / a.nuclide->halfLifeYears);
            const FoundPeak& p = r->peaks[a.peak];
            const double emitted = activity * a.line->intensity / 100.0 * r->liveTime;
            const double eff = p.area / emitted;
            const double rel =
                std::sqrt(std::pow(p.areaUnc / p.area, 2) +
                          std::pow(a.line->intensityUnc / a.line->intensity, 2) + 0.015 * 0.015);
            if (a.line->energy > 40.0) points.push_back({r, &a, eff, eff * rel});
        }
    {
        std::vector<double> e, eff, unc;
        for (const Point& p : points) {
            e.push_back(p.a->line->energy);
            eff.push_back(p.eff);
            unc.push_back(p.effUnc);
        }
        EffCalibration ec;
        ec.Fit(e.data(), eff.data(), unc.data(), static_cast<int>(e.size()), 4, true);
        EFFANALYSISData ea;
        ea.CopyFromEffCalibr(&ec);
        ea.NAME = Format("%s full-energy efficiency, end cap", setupName);
        double chi2 = 0;
        for (size_t i = 0; i < e.size(); ++i)
            chi2 += std::pow((eff[i] - ec.Efficiency(e[i])) / unc[i], 2);
        ea.CHISQUARE = chi2;
        ea.PEAKIDENTLIMIT = 1.0;
        ea.EMPLOYEE_ID = 2;
        ea.CREATIONDATE = created;
        ea.PROJECT_ID = 2;
        ea.TENTATIVE = "N";
        ea.MEASNUM = static_cast<short>(cal.size());
        ea.ISABSOLUTE = true;
        ea.EFFICIENCY = ec.Efficiency(661.657);
        ea.EFFICIENCYUNC = ec.EfficiencyUnc(661.657);
        ea.PEAKINTLIMIT = 100.0;
        ea.Insert(keys_("EFFANALYSIS"), kAlias, nullptr);
        InsertRow("MEASSETUPEFF", {{"MEASSETUP_ID", setupId},
                                   {"VALIDFROM", Variant::FromDate(validFrom)},
                                   {"EFFANALYSIS_ID", ea.EFFANALYSIS_ID}});
        std::map<const MeasResult*, int> measRows;
        for (const MeasResult* r : cal) {
            EFFMEASUREMENTData em;
            em.MEASUREMENT_ID = r->measId;
            em.EFFANALYSIS_ID = ea.EFFANALYSIS_ID;
            em.PEAKEVAL_ID = r->peakEvalId;
            em.CHISQUARE = chi2;
            em.EMPLOYEE_ID = 2;
            em.CREATIONDATE = created;
            em.Insert(keys_("EFFMEASUREMENT"), kAlias, nullptr);
            measRows[r] = em.EFFMEASUREMENT_ID;
        }
        EFFPEAKData ep;
        for (size_t i = 0; i < points.size(); ++i) {
            const Point& p = points[i];
            const FoundPeak& fp = p.r->peaks[p.a->peak];
            ep.Reset();
            ep.PEAK_ID = p.r->peakIds[p.a->peak];
            ep.RADIATION_ID = p.a->radiationId;
            ep.EFFMEASUREMENT_ID = measRows[p.r];
            ep.MEASE = std::log(p.a->line->energy);
            ep.MEASEUNC = p.a->line->energyUnc / p.a->line->energy;
            ep.AREA = fp.area;
            ep.AREAUNC = fp.areaUnc;
            ep.CHI = (p.eff - ec.Efficiency(e[i])) / p.effUnc;
            ep.CREATIONDATE = created;
            ep.EMPLOYEE_ID = 2;
            ep.Insert(keys_("EFFPEAK"), kAlias, nullptr);
        }
    }
    {
        const double gain = detectors_[setupIndex].gain;
        FwhmCalibrClass rc;
        int i = 0;
        for (const Point& p : points) {
            const FoundPeak& fp = p.r->peaks[p.a->peak];
            rc.Set(i++, p.a->line->energy, fp.fwhm * gain, p.a->line->energyUnc, fp.fwhmUnc * gain,
                   -1);
        }
        rc.CalcCoeff();
        if (!rc.Valid) throw Exception("resolution fit failed: " + rc.InvalidReason());
        RESOLANALYSISData ra;
        ra.CopyFromResolCalibr(&rc);
        ra.NAME = Format("%s resolution", setupName);
        ra.CHISQUARE = rc.GetChiSquare();
        ra.PEAKIDENTLIMITSIGMA = 3.0;
        ra.EMPLOYEE_ID = 2;
        ra.CREATIONDATE = created;
        ra.PROJECT_ID = 2;
        ra.TENTATIVE = "N";
        ra.RESOLUTION = rc.Fwhm(1332.492);
        ra.PEAKINTLIMIT = 100.0;
        ra.Insert(keys_("RESOLANALYSIS"), kAlias, nullptr);
        InsertRow("MEASSETUPRESOL", {{"MEASSETUP_ID", setupId},
                                     {"VALIDFROM", Variant::FromDate(validFrom)},
                                     {"RESOLANALYSIS_ID", ra.RESOLANALYSIS_ID}});
        std::map<const MeasResult*, int> measRows;
        for (const MeasResult* r : cal) {
            RESOLMEASUREMENTData rm;
            rm.RESOLANALYSIS_ID = ra.RESOLANALYSIS_ID;
            rm.MEASUREMENT_ID = r->measId;
            rm.PEAKEVAL_ID = r->peakEvalId;
            rm.CHISQUARE = ra.CHISQUARE;
            rm.EMPLOYEE_ID = 2;
            rm.CREATIONDATE = created;
            rm.Insert(keys_("RESOLMEASUREMENT"), kAlias, nullptr);
            measRows[r] = rm.RESOLMEASUREMENT_ID;
        }
        RESOLPEAKData rp;
        for (const Point& p : points) {
            const FoundPeak& fp = p.r->peaks[p.a->peak];
            rp.Reset();
            rp.RESOLMEASUREMENT_ID = measRows[p.r];
            rp.PEAK_ID = p.r->peakIds[p.a->peak];
            rp.RADIATION_ID = p.a->radiationId;
            rp.MEASE = p.a->line->energy;
            rp.MEASEUNC = p.a->line->energyUnc;
            rp.RESOLVALUE = fp.fwhm * gain;
            rp.RESOLVALUEUNC = fp.fwhmUnc * gain;
            rp.CHI = (rp.RESOLVALUE - rc.Fwhm(rp.MEASE)) / rp.RESOLVALUEUNC;
            rp.CREATIONDATE = created;
            rp.EMPLOYEE_ID = 2;
            rp.Insert(keys_("RESOLPEAK"), kAlias, nullptr);
        }
    }
    Step(Format("analyses of %s", setupName));
}

void DemoLab::Documents() {
    struct D {
        int project;
        const char* name;
        int repeat;
        const char* text;
    };
    const D docs[] = {
        {2, "Calibration procedure QP-07 rev. 3", 40,
         "Energy and efficiency calibration of the HPGe setups: count the Eu-152 and the mixed "
         "gamma standard on the end cap for at least 2 h live time, evaluate with the standard "
         "search setting, fit energy, FWHM and efficiency curves, release after review.\n"},
        {4, "Sampling protocol, North transect", 12,
         "Cores taken with a 5 cm steel corer, 0-5 cm layer, dried at 105 C, sieved to 2 mm and "
         "filled into 70 x 40 mm cylinders; sealed for 3 weeks before counting.\n"},
        {5, "Water sampling instructions", 6,
         "Flush the tap for 5 minutes, fill the 1 l Marinelli beaker to the mark, acidify.\n"},
    };
    DOCUMENTData d;
    for (const D& x : docs) {
        AnsiString content;
        for (int i = 0; i < x.repeat; ++i) content += Format("%3d  ", i + 1) + x.text;
        d.Reset();
        d.DOCUMENT_ID = keys_("DOCUMENT")->NextKey();
        d.DOCUMENTCATEGORY_ID = 1;
        d.PROJECT_ID = x.project;
        d.FILETYPE_ID = 1;
        d.NAME = x.name;
        d.EMPLOYEE_ID = 1;
        d.DATAFORMAT = 0;
        d.ORIGSIZE = static_cast<int>(content.size());
        d.DATASIZE = static_cast<int>(content.size());
        d.CREATIONDATE = Date(2026, 2, 10);
        AutoQuery q(nullptr, kAlias, "DOCUMENT");
        OpenerCloser open(q.get());
        q->Insert();
        d.SetData(q.get());
        // The first kilobyte in the row, the rest in chunks.
        StoreBlobChunks(content, "pDocument", d.DOCUMENT_ID, 0, 1, q->FieldByName("DATA"),
                        keys_("BLOBCHUNK"), 1, kDocumentChunkSize);
        q->Post();
    }
    Step("documents");
}

void DemoLab::UserSettings() {
    struct S {
        const char* type;
        const char* name;
    };
    const S defs[] = {{"I", "Default project"},
                      {"F", "Peak search significance"},
                      {"T", "Report title"},
                      {"I", "Recent measurement"}};
    int id = 0;
    for (const S& s : defs)
        InsertRow("SETTING", {{"SETTING_ID", ++id}, {"VALUETYPE", s.type}, {"NAME", s.name}});
    for (int employee = 1; employee <= 3; ++employee) {
        DbUserSettings us;
        us.SetBasicData(kAlias, keys_("USERSETTINGS"), employee);
        us.InsertUserValue(1, QuantoraSettingType::Integer, Variant(employee == 1 ? 3 : 4));
        us.InsertUserValue(2, QuantoraSettingType::Float, Variant(employee == 2 ? 5.0 : 6.0));
        us.InsertUserValue(
            3, QuantoraSettingType::Text,
            Variant(AnsiString(employee == 1 ? "Monthly lab report" : "Measurement report")));
        for (int i = 1; i <= 3; ++i)
            us.InsertUserValue(4, QuantoraSettingType::Integer, Variant(i + employee), i);
        us.SaveSettings();
    }
    Step("user settings");
}

void DemoLab::Build() {
    People();
    Projects();
    ClientsAndOrders();
    Irradiations();
    Samples();
    RadiationLibraryRows();
    Sources();
    Setups();
    PeakEvalSetting();

    std::vector<MeasPlan> plans;
    for (int s = 0; s < 2; ++s) {
        const bool lab1 = s == 0;
        plans.push_back({lab1 ? "Eu-152 calibration, Lab 1" : "Eu-152 calibration, Lab 2",
                         s,
                         2,
                         0,
                         -1,
                         {},
                         7200.0,
                         true});
        plans.push_back({lab1 ? "Mixed gamma standard, Lab 1" : "Mixed gamma standard, Lab 2",
                         s,
                         2,
                         1,
                         -1,
                         {},
                         7200.0,
                         true});
        plans.push_back({lab1 ? "Ba-133 weekly check, Lab 1" : "Na-22/Mn-54 weekly check, Lab 2",
                         s,
                         2,
                         lab1 ? 2 : 3,
                         -1,
                         {},
                         1800.0,
                         false});
    }
    soilMeasurement = static_cast<int>(plans.size()) + 1;
    plans.push_back({"Soil core N-1",
                     0,
                     4,
                     -1,
                     1,
                     {{"K-40", 118.0}, {"Cs-137", 6.2}, {"Pb-210", 21.0}},
                     80000.0,
                     false});
    plans.push_back({"Soil core N-2",
                     0,
                     4,
                     -1,
                     2,
                     {{"K-40", 104.0}, {"Cs-137", 9.8}, {"Pb-210", 17.0}},
                     80000.0,
                     false});
    plans.push_back({"Soil core N-3",
                     0,
                     4,
                     -1,
                     3,
                     {{"K-40", 126.0}, {"Cs-137", 3.1}, {"Pb-210", 25.0}},
                     80000.0,
                     false});
    plans.push_back(
        {"Tap water Midtown", 1, 5, -1, 4, {{"K-40", 30.0}, {"Cs-137", 1.5}}, 250000.0, false});
    plans.push_back(
        {"Tap water Lakeside", 1, 5, -1, 5, {{"K-40", 22.0}, {"Cs-137", 1.1}}, 250000.0, false});
    plans.push_back({"Air filter week 43",
                     1,
                     8,
                     -1,
                     6,
                     {{"Be-7", 45.0}, {"Pb-210", 18.0}, {"K-40", 15.0}},
                     150000.0,
                     false});
    uint32_t seed = 20261103;
    for (const MeasPlan& p : plans) Measure(p, seed++);
    SetupAnalyses(0);
    SetupAnalyses(1);
    Documents();
    UserSettings();
}

void PrintCalibration(const ECalibration& cal) {
    double a, b, av, bv, cv;
    cal.LinearPart.GetParams(&a, &b, &av, &bv, &cv);
    std::printf("    E(ch) = a + b*ch   a = %.4f +- %.4f keV, b = %.6f +- %.6f keV/ch\n", a,
                std::sqrt(av), b, std::sqrt(bv));
    std::printf("    %d points, chi2 = %.2f for %d degrees of freedom\n",
                cal.LinearPart.GetPointCount(), cal.LinearPart.GetChiSquare(),
                cal.LinearPart.GetDegreesOfFreedom());
    for (double e : {59.5409, 661.657, 1460.822}) {
        const double ch = cal.Channel(e);
        std::printf("    %8.3f keV -> channel %8.2f (energy back %.3f +- %.3f keV)\n", e, ch,
                    cal.Energy(ch), cal.EnergyUnc(ch));
    }
}

void DemoLab::PrintSummary(const std::string& db, const std::string& xml, double seconds) {
    std::printf("Demo lab created in %s (%.1f s)\n\n", db.c_str(), seconds);

    std::printf("Rows per table (empty tables left out):\n");
    TQuery q;
    q.SetDatabaseName(kAlias);
    long long total = 0;
    int column = 0;
    for (const AnsiString& table : quantora::SchemaTableNames()) {
        q.SetSQL(Format("SELECT COUNT(*) FROM %s", table.c_str()));
        q.Open();
        const int n = q.Fields()[0]->AsInteger();
        q.Close();
        if (n == 0) continue;
        total += n;
        std::printf("  %-20s %6d%s", table.c_str(), n, ++column % 3 == 0 ? "\n" : "");
    }
    if (column % 3) std::printf("\n");
    std::error_code ec;
    uintmax_t size = 0;
    for (const char* suffix : {"", "-wal"}) {
        const auto part = fs::file_size(db + suffix, ec);
        if (!ec) size += part;
    }
    std::printf("  %lld rows", total);
    if (size > 0) std::printf(", database %.1f KiB", size / 1024.0);
    std::printf("\n\n");

    // The applicable energy calibration of a sample spectrum.
    const MeasResult& soil = results_[static_cast<size_t>(soilMeasurement - 1)];
    ECalibration cal;
    cal.SpectrumId = soil.spectrumId;
    RetrieveECalForSpectrum(&cal, kAlias, soil.setupId, soil.date);
    std::printf("Energy calibration that applies to spectrum %d (RetrieveECalForSpectrum):\n",
                soil.spectrumId);
    std::printf("  '%s' (ECAL_ID %d)\n", cal.Name.c_str(), cal.ECalId);
    PrintCalibration(cal);
    FwhmCalibrClass resol;
    EffCalibration eff;
    if (RetrieveDefaultResolCalForMeas(&resol, kAlias, soil.setupId, soil.date) > 0 &&
        RetrieveDefaultEffCalForMeas(&eff, kAlias, soil.setupId, soil.date) > 0)
        std::printf(
            "  Setup analyses valid then: FWHM %.3f keV at 1332 keV ('%s'), efficiency "
            "%.5f +- %.5f at 661.7 keV ('%s')\n",
            resol.Fwhm(1332.492), resol.Name.c_str(), eff.Efficiency(661.657),
            eff.EfficiencyUnc(661.657), eff.Name.c_str());
    std::printf("\n");

    // Found peaks against the radiation library.
    RadiationLibrary lib;
    lib.Load(kAlias, {libraryId_});
    lib.GenerateBounds();
    std::printf("Peaks of '%s' matched against the library '%s' (%zu lines):\n", "Soil core N-1",
                lib.LibraryNames().c_str(), lib.Radiations().size());
    int shown = 0;
    for (const FoundPeak& p : soil.peaks) {
        const double e = cal.Energy(p.pos), eu = cal.EnergyUnc(p.pos, p.posUnc);
        std::vector<AnsiString> ids;
        lib.GetMatchingRadiations(e, eu, ids);
        std::printf("  peak %8.3f +- %.3f keV, area %8.0f +- %5.0f:", e, eu, p.area, p.areaUnc);
        if (ids.empty()) std::printf(" no library line");
        for (const AnsiString& id : ids) {
            const RADIATIONData* r = lib.GetRadiationData(id);
            const DECAYData* d = r ? lib.GetDecayData(r->DECAY_ID) : nullptr;
            const ISOMERData* i = d ? lib.GetIsomerData(d->ISOMER_ID) : nullptr;
            if (r)
                std::printf("  %s %.3f keV (%.2f %%)", i ? i->SYMBOL.c_str() : "?", r->E,
                            r->INTENSITY);
        }
        std::printf("\n");
        if (++shown == 8) break;
    }
    std::printf("\n");

    // What stands in the way of deleting a busy project.
    PROJECTData project;
    project.PROJECT_ID = busyProject;
    std::set<AnsiString> blocking, nulled;
    project.CheckBeforeDeletion(kAlias, &blocking, &nulled);
    std::printf(
        "Deletion check of project %d 'Soil survey North': %zu blocking rows, %zu "
        "references that would be dropped\n",
        busyProject, blocking.size(), nulled.size());
    int listed = 0;
    for (const AnsiString& b : blocking)
        if (listed++ < 4) std::printf("  blocked by %s\n", b.c_str());
    if (blocking.size() > 4) std::printf("  ... and %zu more\n", blocking.size() - 4);
    std::printf("\n");

    // The whole lab as an exchange file.
    QuantoraXmlExporter exporter;
    exporter.ExportDatabase(kAlias, xml.c_str());
    const auto xmlSize = fs::file_size(xml, ec);
    std::printf("XML export: %s (%.1f KiB)\n\n", xml.c_str(), ec ? 0.0 : xmlSize / 1024.0);
    std::printf(
        "Try next:  qdb info %s   |   qdb csv %s \"SELECT NAME, E, AREA FROM PEAK p, "
        "PEAKEVAL e WHERE p.PEAKEVAL_ID = e.PEAKEVAL_ID\" peaks.csv\n",
        db.c_str(), db.c_str());
}

}  // namespace

int CmdDemo(const Args& args) {
    if (args.size() > 1) throw Exception("usage: qdb demo [<db>]");
    const auto start = std::chrono::steady_clock::now();
    const std::string db = args.empty() ? "demo.db" : args[0];
    const bool uri = IsDatabaseUri(db);
    std::string xml = "demo.xml";
    if (!uri) {
        // A fresh demo every time: the old file and its journal go.
        std::error_code ec;
        if (fs::exists(db, ec) && !fs::is_regular_file(db, ec))
            throw Exception(Format("'%s' is not a file", db.c_str()));
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(db + suffix, ec);
        xml = fs::path(db).replace_extension(".xml").string();
    }
    OpenArgDatabase(kAlias, db);
    CreateSchema(kAlias);
    if (uri) {
        TQuery q;
        q.SetDatabaseName(kAlias);
        q.SetSQL("SELECT COUNT(*) FROM PROJECT");
        q.Open();
        if (q.Fields()[0]->AsInteger() > 0)
            throw Exception("the database already holds projects: the demo needs an empty one");
    }

    ProgressBar bar(25);  // the steps of DemoLab::Build
    DemoLab lab(bar);
    {
        Transaction tr(kAlias);
        lab.Build();
        tr.Commit();
    }
    bar.Finish();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    lab.PrintSummary(db, xml, seconds);
    WriteDemoPictures(kAlias, db);
    return 0;
}

}  // namespace qdbtool
