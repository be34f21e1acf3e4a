// The demo lab's data tables: people, projects, clients and orders, irradiations, samples and
// their geometries, the radiation library, sources, setups, the peak evaluation setting,
// documents, user settings and the plan of the measurements.
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/calibmodel/PeakEvalCalibration.h"
#include "quantora/calibration/Peakevalcaltables.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/nuclides/Decay.h"
#include "quantora/nuclides/GammaLineTable.h"
#include "quantora/nuclides/Nuclibtables.h"
#include "quantora/records/Devicetables.h"
#include "quantora/records/Othertables.h"
#include "quantora/records/Sampletables.h"
#include "quantora/services/Blobutil.h"
#include "quantora/services/Usersettings.h"
#include "tools/qdb/DemoLab.h"

namespace qdbtool::demo {

using quantora::Format;

// A row of a table that has no record class: the columns given, the rest null.
void InsertRow(const char* table, std::initializer_list<std::pair<const char*, Variant>> values) {
    AutoQuery q(nullptr, kAlias, table);
    q->Open();
    q->Insert();
    for (const auto& [column, value] : values) q->FieldByName(column)->SetAsVariant(value);
    q->Post();
}

AnsiString RadiationKey(const Nuclide& n, const GammaLine& l) {
    return Format("%s %.2f", n.symbol, l.energy);
}

double ActivityAt(const SourcePlan& source, const Content& content, TDateTime date) {
    return quantora::DecayedActivity(content.activity, (date - source.refDate) / 365.2422,
                                     NuclideBySymbol(content.nuclide).halfLifeYears);
}

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
        {0, kRootProject, 1},
        {1, "Detector calibration", 2},
        {1, "Environmental monitoring", 1},
        {3, "Soil survey North", 2},
        {3, "Drinking water 2026", 3},
        {1, "Neutron activation", 2},
        {6, "Reactor irradiations Q4", 2},
        {3, "Air filters", 4},
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
    Geometries();
    LotsAndSamples();
    Step("samples and geometries");
}

void DemoLab::Geometries() {
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
}

void DemoLab::LotsAndSamples() {
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
    peakEvalSetting_ = pec;
    Step("peak evaluation setting");
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

std::vector<MeasPlan> MeasurementPlans(int& soilMeasurement) {
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
    return plans;
}

}  // namespace qdbtool::demo
