// The demo lab of qdb demo: a gamma spectroscopy lab built in a fresh database. DemoData.cpp
// holds its tables of rows and inserts them, DemoMeasure.cpp generates the spectra and has the
// library evaluate, calibrate and analyse them, DemoPrint.cpp shows what was made.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/RecordColumns.h"
#include "quantora/lab/PeakEvalRun.h"
#include "tools/qdb/Progress.h"

namespace qdbtool::demo {

constexpr const char* kAlias = "qdb";
constexpr int kBuildSteps = 25;  // progress steps of DemoLab::Build
// The demo's root project (PROJECT_ID 1): how qdb demo knows a file it may replace.
constexpr const char* kRootProject = "Gamma spectrometry lab 2026";
constexpr const char* kLibraryName = "Calibration nuclides";  // the demo's radiation library
constexpr size_t kSoilPlan = 6;  // the measurement of the first soil core, shown in the summary

inline TDateTime Date(int y, int mo, int d, int h = 9) {
    return quantora::EncodeDateTime({y, mo, d, h, 0, 0, 0});
}

struct GammaLine {
    double energy, energyUnc, intensity, intensityUnc;  // keV; photons per 100 decays
};
struct Nuclide {
    const char* symbol;
    double halfLifeYears, halfLifeUncYears;
    const char* decayMode;  // "A", "B-", "EC", "EC+B+"
    std::vector<GammaLine> lines;
};
const Nuclide& NuclideBySymbol(const char* symbol);  // throws for an unknown one

struct Content {
    const char* nuclide;
    double activity;  // Bq at the reference date (sources) or the measurement date (samples)
};
struct SourcePlan {
    const char* name;
    TDateTime refDate;
    std::vector<Content> contents;
    int id = -1;
};
// What a measurement is for: the Eu-152 calibrations give the nonlinearity, the mixed standard's
// the efficiency, both the resolution.
enum MeasRole { kSample, kCheck, kNonlinearity, kEfficiency };
struct MeasPlan {
    const char* name;
    int setup, project, source, sample;  // source: index into the sources or -1; SAMPLE_ID or -1
    std::vector<Content> sampleContents;
    double liveTime;
    MeasRole role = kSample;
};
struct MeasResult {
    int spectrumId = -1, setupId = -1;
    MeasRole role = kSample;
    TDateTime date = 0;
    quantora::PeakEvalRun run;  // the stored evaluation with its calibrations
};

double ActivityAt(const SourcePlan& source, const Content& content, TDateTime date);

using Row = std::vector<Variant>;
// The names of a space-separated column list; throws unless there is one per value.
std::vector<std::string_view> ColumnNames(const char* table, std::string_view columns,
                                          size_t values);
// A row of a table without record class: the columns named, the rest null.
void InsertRow(const char* table, std::string_view columns, const Row& values);

// Sets the members of the named columns of `r` (texts for text columns, numbers for the rest).
template <class R>
void Fill(R& r, std::string_view columns, const Row& values) {
    using quantora::ColumnType;
    const auto names = ColumnNames(R::Table, columns, values.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const quantora::Column<R>* c = nullptr;
        for (const auto& col : R::Columns())
            if (col.name == names[i]) c = &col;
        const std::string column = std::string(R::Table) + "." + std::string(names[i]);
        if (!c) throw Exception("the demo sets no such column: " + column);
        if (values[i].IsText() != (c->type == ColumnType::String))
            throw Exception("the demo sets a value of the wrong type: " + column);
        const double x = values[i].ToDouble();
        if (c->type == ColumnType::Int) r.*c->member.i = static_cast<int>(x);
        if (c->type == ColumnType::Short) r.*c->member.s = static_cast<short>(x);
        if (c->type == ColumnType::Float || c->type == ColumnType::DateTime) r.*c->member.d = x;
        if (c->type == ColumnType::String) r.*c->member.str = values[i].text_value();
        if (c->type == ColumnType::Flag) r.*c->member.b = x != 0.0;
    }
}

class DemoLab {
  public:
    explicit DemoLab(ProgressBar& bar) : bar_(bar) {}

    void Build();
    void PrintSummary(const std::string& db, const std::string& xml, double seconds);

    // Inserts a row of R with the named columns set and its key from the table's generator; the
    // key.
    template <class R>
    int Add(std::string_view columns, const Row& values) {
        R r;
        Fill(r, columns, values);
        r.Insert(Keys(R::Table), kAlias, nullptr);
        for (const auto& c : R::Columns())
            if (c.key && c.type == quantora::ColumnType::Int) return r.*c.member.i;
        return -1;
    }
    // The key generator of a table, counting from 1.
    IntKeyGen* Keys(const char* table) {
        return &keys_.try_emplace(table, quantora::CountingKeyGen(1, kAlias)).first->second;
    }
    void Step(const std::string& label) { bar_.Step(label); }

  private:
    void Library();
    void Sources();
    void Measure(const MeasPlan& plan, uint32_t seed);
    void SetupAnalyses(int setupIndex);
    void Documents();

    ProgressBar& bar_;
    std::map<std::string, quantora::CountingKeyGen> keys_;
    std::vector<SourcePlan> sources_;
    std::vector<MeasResult> results_;
    std::map<AnsiString, int> isomerIds_;
    int libraryId_ = -1, peakEvalCalId_ = -1;  // what the measurements are evaluated with
};

}  // namespace qdbtool::demo
