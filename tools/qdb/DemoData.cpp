// The demo lab's data: tables of rows (people, projects, clients, samples, setups and what they
// need), the calibration nuclides, the sources, documents and the plan of the measurements.
#include <cstring>

#include "quantora/base/Format.h"
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
namespace {

using quantora::Format;

constexpr double kDay = 1.0 / 365.2422;  // in years
constexpr double kSecondsPerYear = 365.2422 * 86400.0;

// clang-format off
const Nuclide kNuclides[] = {
    {"Am-241", 432.6, 0.6, "A", {{26.3446, 0.0002, 2.31, 0.08}, {59.5409, 0.0001, 35.92, 0.17}}},
    {"Ba-133", 10.551, 0.011, "EC",
     {{53.1622, 0.0006, 2.14, 0.03}, {79.6142, 0.0019, 2.65, 0.05}, {80.9979, 0.0011, 32.9, 0.3},
      {276.3989, 0.0012, 7.16, 0.05}, {302.8508, 0.0005, 18.34, 0.13},
      {356.0129, 0.0007, 62.05, 0.19}, {383.8485, 0.0012, 8.94, 0.06}}},
    {"Cs-137", 30.08, 0.09, "B-", {{661.657, 0.003, 84.99, 0.20}}},
    {"Co-57", 271.74 * kDay, 0.06 * kDay, "EC",
     {{122.06065, 0.00012, 85.49, 0.14}, {136.47356, 0.00029, 10.71, 0.15}}},
    {"Co-60", 5.2713, 0.0008, "B-",
     {{1173.228, 0.003, 99.85, 0.03}, {1332.492, 0.004, 99.9826, 0.0006}}},
    {"Eu-152", 13.517, 0.009, "EC+B+",
     {{121.7817, 0.0003, 28.41, 0.13}, {244.6974, 0.0008, 7.55, 0.04},
      {344.2785, 0.0012, 26.59, 0.12}, {411.1165, 0.0012, 2.238, 0.010},
      {443.9606, 0.0016, 2.80, 0.02}, {778.9045, 0.0024, 12.97, 0.06},
      {867.380, 0.003, 4.243, 0.023}, {964.072, 0.018, 14.50, 0.06},
      {1085.837, 0.010, 10.13, 0.06}, {1112.076, 0.003, 13.41, 0.06},
      {1408.013, 0.003, 20.85, 0.08}}},
    {"Mn-54", 312.20 * kDay, 0.07 * kDay, "EC", {{834.848, 0.003, 99.9760, 0.0010}}},
    {"Na-22", 2.6018, 0.0022, "EC+B+",
     {{510.999, 0.001, 180.7, 0.2}, {1274.537, 0.007, 99.94, 0.13}}},
    {"Y-88", 106.626 * kDay, 0.021 * kDay, "EC+B+",
     {{898.042, 0.011, 93.7, 0.3}, {1836.063, 0.012, 99.2, 0.3}}},
    {"K-40", 1.248e9, 0.003e9, "B-", {{1460.822, 0.006, 10.66, 0.13}}},
    {"Pb-210", 22.20, 0.22, "B-", {{46.539, 0.001, 4.252, 0.040}}},
    {"Cd-109", 461.4 * kDay, 1.2 * kDay, "EC", {{88.0336, 0.0010, 3.644, 0.016}}},
    {"Ce-139", 137.641 * kDay, 0.020 * kDay, "EC", {{165.8575, 0.0011, 79.90, 0.04}}},
    {"Hg-203", 46.594 * kDay, 0.012 * kDay, "B-", {{279.1952, 0.0010, 81.56, 0.05}}},
    {"Sn-113", 115.09 * kDay, 0.03 * kDay, "EC", {{391.698, 0.003, 64.97, 0.17}}},
    {"Sr-85", 64.850 * kDay, 0.007 * kDay, "EC", {{514.0048, 0.0022, 98.5, 0.4}}},
    {"Be-7", 53.22 * kDay, 0.06 * kDay, "EC", {{477.6035, 0.0020, 10.44, 0.04}}},
};
// clang-format on

Variant At(int y, int mo, int d, int h = 9) {
    return Variant::FromDate(Date(y, mo, d, h));
}

// How the rows of a table go in: through its record class, or column by column.
using Insert = void (*)(DemoLab& lab, const char* table, std::string_view cols, const Row& row);
struct Inserter {
    const char* table;
    Insert insert;
};
template <class R>
constexpr Inserter kRecord{R::Table, [](DemoLab& lab, const char*, std::string_view c,
                                        const Row& row) { lab.Add<R>(c, row); }};
constexpr Inserter Plain(const char* table) {
    return {table, [](DemoLab&, const char* t, std::string_view c, const Row& row) {
                InsertRow(t, c, row);
            }};
}

// Rows of one table: the columns named once and a row of values each, the columns and values
// that all rows share, and the progress step that the table completes.
struct Rows {
    Inserter into;
    const char* columns;
    std::vector<Row> rows;
    const char* sharedColumns = "";
    Row shared = {};
    const char* step = nullptr;
};

void InsertAll(DemoLab& lab, std::initializer_list<Rows> tables) {
    for (const Rows& t : tables) {
        const std::string columns = std::string(t.sharedColumns) + " " + t.columns;
        for (const Row& row : t.rows) {
            Row values = t.shared;
            values.insert(values.end(), row.begin(), row.end());
            t.into.insert(lab, t.into.table, columns, values);
        }
        if (t.step) lab.Step(t.step);
    }
}

// clang-format off
void LabRows(DemoLab& lab) {
    InsertAll(lab, {
        {Plain("EMPLOYEE"), "EMPLOYEE_ID NAME",
         {{1, "Dr. Ada Lindqvist (lab manager)"}, {2, "Tomas Berger (physicist)"},
          {3, "Mira Okafor (technician)"}, {4, "Jan Novak (technician)"}},
         "CREATIONDATE", {At(2025, 1, 6)}, "employees"},
        // Three levels: the lab, its programmes, their campaigns.
        {kRecord<PROJECTData>, "SUPERPROJECT_ID NAME EMPLOYEE_ID",
         {{0, kRootProject, 1},           {1, "Detector calibration", 2},
          {1, "Environmental monitoring", 1}, {3, "Soil survey North", 2},
          {3, "Drinking water 2026", 3},   {1, "Neutron activation", 2},
          {6, "Reactor irradiations Q4", 2}, {3, "Air filters", 4}},
         "STARTDATE ENDDATE CREATIONDATE", {At(2026, 1, 5), At(2026, 12, 18), At(2026, 1, 5)},
         "projects"},
        {kRecord<CLIENTData>, "NAME ADDRESS EMAIL",
         {{"Regional Water Authority", "12 Reservoir Road, Lakeside", "lab@water.example"},
          {"Agricultural Research Institute", "4 Field Lane, Greenvale", "soil@ari.example"},
          {"City Environment Office", "1 Town Hall Square, Midtown", "env@city.example"}},
         "TEL EMPLOYEE_ID CREATIONDATE", {"+00 100 2000", 1, At(2026, 2, 1)}},
        {kRecord<ORDERSData>, "CLIENT_ID PROJECT_ID NAME SPECIALREQUEST",
         {{1, 5, "Quarterly drinking water screening", "Report Cs-137 and K-40 activity per litre"},
          {2, 4, "Soil cores North transect", "Detection limits below 1 Bq/kg for Cs-137"},
          {3, 8, "Air filter weekly samples", "Be-7 and Pb-210 trend"},
          {2, 4, "Soil cores North transect, second batch", ""}},
         "ORDERDATE EMPLOYEE_ID CREATIONDATE", {At(2026, 3, 2), 1, At(2026, 3, 2)},
         "clients and orders"},
        {kRecord<IRRADIATIONLOCATIONData>, "NAME",
         {{"Reactor pneumatic tube 1"}, {"Reactor central channel"}},
         "EMPLOYEE_ID CREATIONDATE", {2, At(2026, 1, 10)}},
        // Two hours each, a week apart.
        {kRecord<IRRADIATIONData>, "IRRADIATIONLOCATION_ID NAME STARTDATE ENDDATE CREATIONDATE",
         {{1, "Irradiation 1 (Au flux monitors)", At(2026, 10, 5, 10),
           Date(2026, 10, 5, 10) + 2.0 / 24, At(2026, 10, 5, 10)},
          {2, "Irradiation 2 (Au flux monitors)", At(2026, 10, 12, 10),
           Date(2026, 10, 12, 10) + 2.0 / 24, At(2026, 10, 12, 10)},
          {1, "Irradiation 3 (Au flux monitors)", At(2026, 10, 19, 10),
           Date(2026, 10, 19, 10) + 2.0 / 24, At(2026, 10, 19, 10)}},
         "PROJECT_ID IRRADLENGTH EMPLOYEE_ID", {7, 7200.0, 2}, "irradiations"},
        // Geometry types and the parameters they require.
        {Plain("SAMPLEGEOMREQPARAM"), "SAMPLEGEOMREQPARAM_ID SAMPLEGEOMTYPE_ID NAME SYMBOL",
         {{1, 1, "Inner diameter (mm)", "d"}, {2, 1, "Filling height (mm)", "h"},
          {3, 1, "Wall thickness (mm)", "w"}, {4, 2, "Volume (ml)", "V"}},
         "SAMPLEGEOMPARAMTYPE_ID", {1}},
        // Geometries of type 1 (parameters 1-3) or 2 (parameter 4) with their values.
        {Plain("SAMPLEGEOM"), "SAMPLEGEOM_ID SAMPLEGEOMTYPE_ID NAME",
         {{1, 1, "Cylinder 70 x 40 mm"}, {2, 1, "Cylinder 90 x 20 mm"}, {3, 2, "Marinelli 1 l"}},
         "EMPLOYEE_ID CREATIONDATE", {2, At(2026, 1, 12)}},
        {Plain("SAMPLEGEOMPARAM"), "SAMPLEGEOMPARAM_ID SAMPLEGEOM_ID SAMPLEGEOMREQPARAM_ID NUMVALUE1",
         {{1, 1, 1, 70.0}, {2, 1, 2, 40.0}, {3, 1, 3, 1.5}, {4, 2, 1, 90.0}, {5, 2, 2, 20.0},
          {6, 2, 3, 1.5}, {7, 3, 4, 1000.0}}},
        {kRecord<SAMPLEGEOMMATRIXData>, "SAMPLEGEOM_ID NAME SAMPLEDENSITY",
         {{1, "Dry soil in cylinder 70 x 40", 1.35},
          {2, "Air filter stack in cylinder 90 x 20", 0.30}, {3, "Water in Marinelli 1 l", 1.00}},
         "ISSUPPORTRADIATINGDEF ISDILUENTRADIATINGDEF EMPLOYEE_ID CREATIONDATE",
         {"N", "N", 2, At(2026, 1, 12)}},
        {kRecord<LOTData>, "PROJECT_ID NAME",
         {{4, "North transect, cores 1-3"}, {5, "Tap water, October"}, {8, "Roof filter, October"}},
         "EMPLOYEE_ID CREATIONDATE", {3, At(2026, 10, 20)}},
        {kRecord<SAMPLEData>, "LOT_ID SAMPLEGEOMMATRIX_ID NAME SAMPLEWEIGHT",
         {{1, 1, "Soil core N-1 (0-5 cm)", 0.212}, {1, 1, "Soil core N-2 (0-5 cm)", 0.198},
          {1, 1, "Soil core N-3 (0-5 cm)", 0.205}, {2, 3, "Tap water Midtown", 1.000},
          {2, 3, "Tap water Lakeside", 1.000},     {3, 2, "Air filter week 43", 0.015}},
         "ISSUPPORTRADIATING ISDILUENTRADIATING EMPLOYEE_ID CREATIONDATE",
         {"N", "N", 3, At(2026, 10, 21)}},
        // Two soil cores went through an activation run as well.
        {Plain("SAMPLEIRRADIATION"), "SAMPLE_ID IRRADIATION_ID", {{1, 2}, {2, 2}}, "", {},
         "samples and geometries"},
    });
}

// Setup i (from 1) is ADC i with detector i.
void SetupRows(DemoLab& lab) {
    const char* made = "EMPLOYEE_ID CREATIONDATE";
    const Row by2 = {2, At(2026, 1, 7)};
    InsertAll(lab, {
        {kRecord<ADCData>, "NAME", {{"ADC 1 (8192 ch, 3 MeV)"}, {"ADC 2 (8192 ch, 3 MeV)"}},
         made, by2},
        {kRecord<DETECTORData>, "NAME VOLUME DETECTORSUBTYPE_ID",
         {{"HPGe coaxial p-type 40%", 190.0, 1}, {"HPGe broad energy 50 cm2", 95.0, 1}}, made, by2},
        {kRecord<MEASPOSITIONData>, "NAME DETSAMPLEDISTANCE",
         {{"End cap", 0.0}, {"Shelf 10 cm", 10.0}}, made, by2},
        {kRecord<MEASRANGEData>, "NAME STARTE ENDE", {{"20 keV - 3 MeV", 20.0, 3000.0}}, made, by2},
        {kRecord<MEASDEVICEData>, "MEASDEVTYPE_ID NAME",
         {{1, "Lead shield 10 cm, Cu lined"}, {2, "Spectroscopy amplifier"},
          {3, "Electric cooler"}, {1, "Low-background shield 15 cm"}}, made, by2},
        {kRecord<MEASSETUPData>,
         "MEASSETUP_ID ADC_ID DETECTOR_ID NAME MEASPOSITION_ID MEASRANGE_ID",
         {{1, 1, 1, "Lab 1: HPGe 40% on end cap", 1, 1}, {2, 2, 2, "Lab 2: BEGe on end cap", 1, 1}},
         made, by2},
        {Plain("MEASDEVICE_MSETUP"), "MEASDEVICE_ID MEASSETUP_ID",
         {{1, 1}, {2, 1}, {3, 1}, {2, 2}, {3, 2}, {4, 2}}, "", {}, "setups and devices"},
    });
}
// clang-format on

void UserSettings(DemoLab& lab) {
    InsertAll(lab, {{Plain("SETTING"),
                     "SETTING_ID VALUETYPE NAME",
                     {{1, "I", "Default project"},
                      {2, "F", "Peak search significance"},
                      {3, "T", "Report title"},
                      {4, "I", "Recent measurement"}}}});
    for (int employee = 1; employee <= 3; ++employee) {
        DbUserSettings us;
        us.SetBasicData(kAlias, lab.Keys("USERSETTINGS"), employee);
        us.InsertUserValue(1, QuantoraSettingType::Integer, Variant(employee == 1 ? 3 : 4));
        us.InsertUserValue(2, QuantoraSettingType::Float, Variant(employee == 2 ? 5.0 : 6.0));
        us.InsertUserValue(
            3, QuantoraSettingType::Text,
            Variant(AnsiString(employee == 1 ? "Monthly lab report" : "Measurement report")));
        for (int i = 1; i <= 3; ++i)
            us.InsertUserValue(4, QuantoraSettingType::Integer, Variant(i + employee), i);
        us.SaveSettings();
    }
    lab.Step("user settings");
}

}  // namespace

const Nuclide& NuclideBySymbol(const char* symbol) {
    for (const Nuclide& n : kNuclides)
        if (!std::strcmp(n.symbol, symbol)) return n;
    throw Exception(std::string("unknown demo nuclide ") + symbol);
}

double ActivityAt(const SourcePlan& source, const Content& content, TDateTime date) {
    return quantora::DecayedActivity(content.activity, (date - source.refDate) / 365.2422,
                                     NuclideBySymbol(content.nuclide).halfLifeYears);
}

std::vector<std::string_view> ColumnNames(const char* table, std::string_view columns,
                                          size_t values) {
    std::vector<std::string_view> names;
    for (size_t at = 0, end; at < columns.size(); at = end + 1) {
        end = std::min(columns.find(' ', at), columns.size());
        if (end > at) names.push_back(columns.substr(at, end - at));
    }
    if (names.size() != values)
        throw Exception(
            Format("demo %s row: %zu values for %zu columns", table, values, names.size()));
    return names;
}

void InsertRow(const char* table, std::string_view columns, const Row& values) {
    const auto names = ColumnNames(table, columns, values.size());
    AutoQuery q(nullptr, kAlias, table);
    q->Open();
    q->Insert();
    for (size_t i = 0; i < names.size(); ++i)
        q->FieldByName(std::string(names[i]))->SetAsVariant(values[i]);
    q->Post();
}

void DemoLab::Build() {
    LabRows(*this);
    Library();
    Sources();
    SetupRows(*this);
    PeakEvalCalibration pec;
    pec.PeakEvalCalId = peakEvalCalId_ = Keys("PEAKEVALCAL")->NextKey();
    pec.EmployeeId = 2;
    pec.Name = "HPGe standard search (6 sigma)";
    pec.CreationDate = Date(2026, 1, 15);
    pec.SearchSignificance = 6.0;
    if (!StorePeakEvalCal(&pec, kAlias, true, nullptr))
        throw Exception("could not store the peak evaluation setting");
    Step("peak evaluation setting");
    // Calibrations and checks on both setups, then the samples.
    // clang-format off
    const MeasPlan plans[] = {
        {"Eu-152 calibration, Lab 1", 0, 2, 0, -1, {}, 7200.0, kNonlinearity},
        {"Mixed gamma standard, Lab 1", 0, 2, 1, -1, {}, 7200.0, kEfficiency},
        {"Ba-133 weekly check, Lab 1", 0, 2, 2, -1, {}, 1800.0, kCheck},
        {"Eu-152 calibration, Lab 2", 1, 2, 0, -1, {}, 7200.0, kNonlinearity},
        {"Mixed gamma standard, Lab 2", 1, 2, 1, -1, {}, 7200.0, kEfficiency},
        {"Na-22/Mn-54 weekly check, Lab 2", 1, 2, 3, -1, {}, 1800.0, kCheck},
        {"Soil core N-1", 0, 4, -1, 1, {{"K-40", 118}, {"Cs-137", 6.2}, {"Pb-210", 21}}, 8e4},
        {"Soil core N-2", 0, 4, -1, 2, {{"K-40", 104}, {"Cs-137", 9.8}, {"Pb-210", 17}}, 8e4},
        {"Soil core N-3", 0, 4, -1, 3, {{"K-40", 126}, {"Cs-137", 3.1}, {"Pb-210", 25}}, 8e4},
        {"Tap water Midtown", 1, 5, -1, 4, {{"K-40", 30}, {"Cs-137", 1.5}}, 2.5e5},
        {"Tap water Lakeside", 1, 5, -1, 5, {{"K-40", 22}, {"Cs-137", 1.1}}, 2.5e5},
        {"Air filter week 43", 1, 8, -1, 6, {{"Be-7", 45}, {"Pb-210", 18}, {"K-40", 15}}, 1.5e5},
    };
    // clang-format on
    uint32_t seed = 20261103;
    for (const MeasPlan& p : plans) Measure(p, seed++);
    SetupAnalyses(0);
    SetupAnalyses(1);
    Documents();
    UserSettings(*this);
}

void DemoLab::Library() {
    libraryId_ = Keys("RADIATIONLIBRARY")->NextKey();
    InsertRow("RADIATIONLIBRARY", "RADIATIONLIBRARY_ID NAME", {libraryId_, kLibraryName});
    const Variant created = At(2026, 1, 8);
    for (const Nuclide& n : kNuclides) {
        const int isomer = isomerIds_[n.symbol] =
            Add<ISOMERData>("SYMBOL ISOMERNUM HALFLIFE HALFLIFEUNC EMPLOYEE_ID CREATIONDATE",
                            {n.symbol, 0, n.halfLifeYears * kSecondsPerYear,
                             n.halfLifeUncYears * kSecondsPerYear, 2, created});
        const int decay = Add<DECAYData>(
            "ISOMER_ID TRANSITIONTYPE_ID NAME DECAYBRANCHING DECAYBRANCHINGUNC EMPLOYEE_ID "
            "CREATIONDATE",
            {isomer, quantora::TransitionTypeOfDecayMode(n.decayMode),
             Format("%s %s", n.symbol, n.decayMode), 100.0, 0.0, 2, created});
        InsertRow("RADLIB_TRANSFORM", "RADIATIONLIBRARY_ID DECAY_ID", {libraryId_, decay});
        for (const GammaLine& l : n.lines)
            Add<RADIATIONData>(
                "RADIATION_ID DECAY_ID E EUNC INTENSITY INTENSITYUNC RADIATIONTYPE EMPLOYEE_ID "
                "CREATIONDATE",
                {Format("%s %.2f", n.symbol, l.energy), decay, l.energy, l.energyUnc, l.intensity,
                 l.intensityUnc, "G", 2, created});
    }
    Step("radiation library");
}

void DemoLab::Sources() {
    // clang-format off
    sources_ = {
        {"Eu-152 point source EP-19", Date(2025, 6, 1, 12), {{"Eu-152", 31500.0}}},
        {"Mixed gamma standard MG-7", Date(2026, 10, 1, 12),
         {{"Am-241", 5200.0}, {"Cd-109", 21000.0}, {"Co-57", 1900.0}, {"Ce-139", 2300.0},
          {"Hg-203", 6100.0}, {"Sn-113", 3500.0}, {"Sr-85", 5400.0}, {"Cs-137", 3100.0},
          {"Y-88", 6800.0}, {"Co-60", 4200.0}}},
        {"Ba-133 check source", Date(2024, 3, 15, 12), {{"Ba-133", 12800.0}}},
        {"Na-22 / Mn-54 check source", Date(2026, 5, 4, 12), {{"Na-22", 8100}, {"Mn-54", 6900}}},
    };
    // clang-format on
    const Variant created = At(2026, 1, 9);
    for (SourcePlan& p : sources_) {
        p.id = Add<SOURCEData>("NAME OWNER EMPLOYEE_ID CREATIONDATE",
                               {p.name, "Gamma spectrometry lab", 1, created});
        for (const Content& c : p.contents)
            Add<SOURCEISOMERData>(
                "SOURCE_ID ISOMER_ID ACTIVITYCALIBRATED ACTIVITY ACTIVITYUNC CALIBRATOR CALIBRDATE "
                "EMPLOYEE_ID CREATIONDATE",
                {p.id, isomerIds_.at(c.nuclide), 1, c.activity, c.activity * 0.015,
                 "National metrology institute", p.refDate, 1, created});
    }
    Step("sources");
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
    for (const D& x : docs) {
        AnsiString content;
        for (int i = 0; i < x.repeat; ++i) content += Format("%3d  ", i + 1) + x.text;
        DOCUMENTData d;
        const int size = static_cast<int>(content.size());
        Fill(d,
             "DOCUMENT_ID DOCUMENTCATEGORY_ID PROJECT_ID FILETYPE_ID NAME EMPLOYEE_ID DATAFORMAT "
             "ORIGSIZE DATASIZE CREATIONDATE",
             {Keys("DOCUMENT")->NextKey(), 1, x.project, 1, x.name, 1, 0, size, size,
              At(2026, 2, 10)});
        AutoQuery q(nullptr, kAlias, "DOCUMENT");
        OpenerCloser open(q.get());
        q->Insert();
        d.SetData(q.get());
        // The first kilobyte in the row, the rest in chunks.
        StoreBlobChunks(content, "pDocument", d.DOCUMENT_ID, 0, 1, q->FieldByName("DATA"),
                        Keys("BLOBCHUNK"), 1, 1024);
        q->Post();
    }
    Step("documents");
}

}  // namespace qdbtool::demo
