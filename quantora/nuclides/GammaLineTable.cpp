// The gamma-line table loader: header mapping, value checks, and the rows it writes.
#include "quantora/nuclides/GammaLineTable.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/nuclides/CsvReader.h"
#include "quantora/nuclides/Nuclibtables.h"

namespace quantora {
namespace {

// The columns the loader reads; those before kFirstOptional must be in the header.
enum Column {
    kNuclide,
    kIsomerState,
    kHalfLife,
    kHalfLifeUnc,
    kDecayMode,
    kBranching,
    kEnergy,
    kEnergyUnc,
    kIntensity,
    kIntensityUnc,
    kSource,
    kFirstOptional,
    kBranchingUnc = kFirstOptional,
    kParentLevel,
    kLevelFrom,
    kLevelTo,
    kMultipolarity,
    kColumnCount
};

constexpr const char* kColumnNames[kColumnCount] = {
    "nuclide",
    "isomer_state",
    "half_life_s",
    "half_life_unc_s",
    "decay_mode",
    "branching",
    "energy_keV",
    "energy_unc_keV",
    "intensity_percent",
    "intensity_unc_percent",
    "source",
    "branching_unc",
    "parent_level_keV",
    "level_from_keV",
    "level_to_keV",
    "multipolarity",
};

const AnsiString kRadiationType = "G";  // gamma

AnsiString Trimmed(const AnsiString& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

// A live "SELECT * FROM table", kept open so that every insert reuses one prepared statement.
void OpenLive(TQuery& q, const AnsiString& alias, const char* table) {
    q.SetDatabaseName(alias);
    q.SetSQL(Format("SELECT * FROM %s", table));
    q.SetRequestLive(true);
    q.SetUniDirectional(true);
    q.Open();
}

class TableLoader {
  public:
    TableLoader(const AnsiString& alias, const AnsiString& file, IntKeyGen* keyGen,
                StringLogger* logger)
        : alias_(alias), csv_(file), keys_(keyGen), logger_(logger), now_(LocalNow()) {}

    GammaLineLoad Run();

  private:
    struct DataSet {
        int decayId;
        size_t line;
        AnsiString nuclide;
        int isomer;
        AnsiString mode;
    };

    void ReadHeader();
    void LoadRow();
    int IsomerFor(const AnsiString& nuclide, int state);
    int DecayFor(const AnsiString& nuclide, int state);
    int InsertLibrary();
    void LinkDecay(int decayId);
    AnsiString LineComment() const;

    const AnsiString& Field(Column c) const {
        static const AnsiString kNone;
        return index_[c] < 0 ? kNone : fields_[static_cast<size_t>(index_[c])];
    }
    // The value of a numeric column; nullopt when empty. Anything else but a finite number
    // throws.
    std::optional<double> Number(Column c) const;
    // A number of 0 or more, or -1.0 when empty (the records' reset value).
    double NonNegative(Column c) const;
    AnsiString Where() const { return Format("%s line %zu: ", csv_.Name().c_str(), csv_.Line()); }
    [[noreturn]] void Fail(const AnsiString& what) const {
        throw quantora::BadFileError(Where() + what);
    }
    // A row the database refuses (a key already used, for one).
    [[noreturn]] void FailInDatabase(const EDatabaseError& e) const {
        throw EDatabaseError(Where() + e.Message);
    }

    AnsiString alias_;
    CsvReader csv_;
    IntKeyGen* keys_;
    StringLogger* logger_;
    TDateTime now_;
    // Before the queries, so that they close before an uncommitted load is rolled back.
    std::unique_ptr<Transaction> tx_;

    int index_[kColumnCount];
    size_t header_fields_ = 0;
    std::vector<AnsiString> fields_;

    TQuery isomers_q_, decays_q_, lines_q_, transform_q_;
    int library_id_ = -1;
    std::map<std::pair<AnsiString, int>, int> isomers_;  // (nuclide, isomer_state) -> ISOMER_ID
    std::map<std::pair<AnsiString, int>, double> half_lives_;
    std::map<AnsiString, DataSet> data_sets_;  // by source
    ISOMERData isomer_;
    DECAYData decay_;
    RADIATIONData line_;
    GammaLineLoad result_;
};

GammaLineLoad TableLoader::Run() {
    if (!keys_ || !keys_->CanGenerate())
        throw quantora::MisuseError(
            "LoadGammaLineTable: a key generator that can give keys is needed");
    ReadHeader();
    tx_ = std::make_unique<Transaction>(alias_);
    OpenLive(isomers_q_, alias_, "ISOMER");
    OpenLive(decays_q_, alias_, "DECAY");
    OpenLive(lines_q_, alias_, "RADIATION");
    transform_q_.SetDatabaseName(alias_);
    transform_q_.SetSQL(
        "INSERT INTO RADLIB_TRANSFORM (RADIATIONLIBRARY_ID, DECAY_ID) VALUES (:lib, :decay)");
    transform_q_.Prepare();
    library_id_ = InsertLibrary();
    while (csv_.Next(fields_)) LoadRow();
    isomers_q_.Close();
    decays_q_.Close();
    lines_q_.Close();
    transform_q_.UnPrepare();
    tx_->Commit();
    result_.libraryId = library_id_;
    if (logger_) {
        logger_->AddLine(Format("%s: library %d with %d lines of %d decays of %d isomers",
                                csv_.Name().c_str(), library_id_, result_.lines, result_.decays,
                                result_.isomers)
                             .c_str());
        if (result_.unmatchable)
            logger_->AddLine(Format("%d lines lack an energy uncertainty or an absolute intensity "
                                    "with uncertainty: stored, but not used for matching",
                                    result_.unmatchable)
                                 .c_str());
        if (result_.withoutEnergy)
            logger_->AddLine(
                Format("%d rows without an energy were skipped", result_.withoutEnergy).c_str());
        if (result_.halfLifeConflicts)
            logger_->AddLine(Format("%d isomers have another half-life in a second data set; the "
                                    "first one was kept",
                                    result_.halfLifeConflicts)
                                 .c_str());
        logger_->Flush();
    }
    return result_;
}

void TableLoader::ReadHeader() {
    std::vector<AnsiString> header;
    if (!csv_.Next(header)) throw quantora::BadFileError(csv_.Name() + ": the file is empty");
    header_fields_ = header.size();
    for (int c = 0; c < kColumnCount; ++c) {
        index_[c] = -1;
        for (size_t i = 0; i < header.size(); ++i)
            if (Trimmed(header[i]) == kColumnNames[c]) {
                index_[c] = static_cast<int>(i);
                break;
            }
        if (index_[c] < 0 && c < kFirstOptional)
            Fail(Format("the column '%s' is missing", kColumnNames[c]));
    }
}

std::optional<double> TableLoader::Number(Column c) const {
    const AnsiString& raw = Field(c);
    size_t b = 0, e = raw.size();
    while (b < e && (raw[b] == ' ' || raw[b] == '\t')) ++b;
    while (e > b && (raw[e - 1] == ' ' || raw[e - 1] == '\t')) --e;
    if (b == e) return std::nullopt;
    if (raw[b] == '+') ++b;  // from_chars takes no plus sign
    double v = 0.0;
    auto [end, ec] = std::from_chars(raw.data() + b, raw.data() + e, v);
    if (ec != std::errc() || end != raw.data() + e || !std::isfinite(v))
        Fail(Format("%s is not a number: '%s'", kColumnNames[c], raw.c_str()));
    return v;
}

double TableLoader::NonNegative(Column c) const {
    std::optional<double> v = Number(c);
    if (!v) return -1.0;
    if (*v < 0.0) Fail(Format("%s is negative: '%s'", kColumnNames[c], Field(c).c_str()));
    return *v;
}

void TableLoader::LoadRow() {
    if (fields_.size() != header_fields_)
        Fail(Format("%zu fields where the header has %zu", fields_.size(), header_fields_));
    const AnsiString nuclide = Trimmed(Field(kNuclide));
    if (nuclide.empty()) Fail("the nuclide is empty");
    std::optional<double> state = Number(kIsomerState);
    if (!state || *state < 0 || *state > 32767 || *state != std::floor(*state))
        Fail(Format("isomer_state is not a state number: '%s'", Field(kIsomerState).c_str()));
    std::optional<double> energy = Number(kEnergy);
    if (!energy) {
        ++result_.withoutEnergy;
        return;
    }
    if (*energy <= 0.0) Fail(Format("energy_keV is not positive: '%s'", Field(kEnergy).c_str()));

    line_.ResetData();  // keeps the field pointers of the live query
    line_.DECAY_ID = DecayFor(nuclide, static_cast<int>(*state));
    line_.E = *energy;
    line_.EUNC = NonNegative(kEnergyUnc);
    line_.INTENSITY = NonNegative(kIntensity);
    line_.INTENSITYUNC = NonNegative(kIntensityUnc);
    line_.RADIATIONTYPE = kRadiationType;
    line_.CREATIONDATE = now_;
    line_.CMT = LineComment();
    try {
        line_.Insert(keys_, alias_.c_str(), &lines_q_);
    } catch (const EDatabaseError& e) {
        FailInDatabase(e);
    }
    ++result_.lines;
    if (!(line_.EUNC > 0.0 && line_.INTENSITY > 0.0 && line_.INTENSITYUNC > 0.0))
        ++result_.unmatchable;
}

// "level 661.659 -> 0 keV, M4": where the line comes from, when the table says.
AnsiString TableLoader::LineComment() const {
    AnsiString from = Trimmed(Field(kLevelFrom)), to = Trimmed(Field(kLevelTo));
    AnsiString mult = Trimmed(Field(kMultipolarity));
    AnsiString cmt;
    if (!from.empty() && !to.empty()) cmt = "level " + from + " -> " + to + " keV";
    if (!mult.empty()) cmt += (cmt.empty() ? "" : ", ") + mult;
    return cmt;
}

int TableLoader::IsomerFor(const AnsiString& nuclide, int state) {
    const auto key = std::make_pair(nuclide, state);
    const double halfLife = NonNegative(kHalfLife);
    if (auto it = isomers_.find(key); it != isomers_.end()) {
        if (halfLife != half_lives_[key]) ++result_.halfLifeConflicts;
        return it->second;
    }
    isomer_.Reset();
    isomer_.SYMBOL = nuclide;
    isomer_.ISOMERNUM = static_cast<short>(state);
    isomer_.HALFLIFE = halfLife;
    isomer_.HALFLIFEUNC = NonNegative(kHalfLifeUnc);
    isomer_.CREATIONDATE = now_;
    const AnsiString level = Trimmed(Field(kParentLevel));
    if (state > 0 && !level.empty()) isomer_.CMT = "level " + level + " keV";
    try {
        isomer_.Insert(keys_, alias_.c_str(), &isomers_q_);
    } catch (const EDatabaseError& e) {
        FailInDatabase(e);
    }
    isomers_.emplace(key, isomer_.ISOMER_ID);
    half_lives_.emplace(key, halfLife);
    ++result_.isomers;
    return isomer_.ISOMER_ID;
}

int TableLoader::DecayFor(const AnsiString& nuclide, int state) {
    const AnsiString mode = Trimmed(Field(kDecayMode));
    AnsiString source = Trimmed(Field(kSource));
    // Without a named data set, the nuclide, state and mode identify it.
    if (source.empty()) source = Format("%s/%d/%s", nuclide.c_str(), state, mode.c_str());
    if (auto it = data_sets_.find(source); it != data_sets_.end()) {
        const DataSet& d = it->second;
        if (d.nuclide != nuclide || d.isomer != state || d.mode != mode)
            Fail(Format("the data set '%s' already belongs to %s state %d (%s) on line %zu",
                        source.c_str(), d.nuclide.c_str(), d.isomer, d.mode.c_str(), d.line));
        return d.decayId;
    }
    const int isomerId = IsomerFor(nuclide, state);
    decay_.Reset();
    decay_.TRANSITIONTYPE_ID = TransitionTypeOfDecayMode(mode);
    decay_.ISOMER_ID = isomerId;
    decay_.NAME = mode.empty() ? nuclide : nuclide + " " + mode;
    decay_.DECAYBRANCHING = NonNegative(kBranching);
    decay_.DECAYBRANCHINGUNC = NonNegative(kBranchingUnc);
    decay_.CREATIONDATE = now_;
    decay_.CMT = Trimmed(Field(kSource));
    try {
        decay_.Insert(keys_, alias_.c_str(), &decays_q_);
        LinkDecay(decay_.DECAY_ID);
    } catch (const EDatabaseError& e) {
        FailInDatabase(e);
    }
    data_sets_.emplace(source, DataSet{decay_.DECAY_ID, csv_.Line(), nuclide, state, mode});
    ++result_.decays;
    return decay_.DECAY_ID;
}

void TableLoader::LinkDecay(int decayId) {
    transform_q_.ParamByName("lib")->SetAsInteger(library_id_);
    transform_q_.ParamByName("decay")->SetAsInteger(decayId);
    transform_q_.ExecSQL();
}

int TableLoader::InsertLibrary() {
    const int id = keys_->NextKey();
    const AnsiString name = std::filesystem::path(csv_.Name()).stem().string();
    TQuery q;
    q.SetDatabaseName(alias_);
    q.SetSQL("INSERT INTO RADIATIONLIBRARY (RADIATIONLIBRARY_ID, NAME) VALUES (:id, :name)");
    q.ParamByName("id")->SetAsInteger(id);
    q.ParamByName("name")->SetAsString(name);
    try {
        q.ExecSQL();
    } catch (const EDatabaseError& e) {
        throw EDatabaseError(Format("%s: the library cannot be created: %s", csv_.Name().c_str(),
                                    e.Message.c_str()));
    }
    return id;
}

}  // namespace

int TransitionTypeOfDecayMode(const AnsiString& mode) {
    if (mode == "B-") return 1;
    if (mode == "EC+B+" || mode == "EC" || mode == "B+") return 2;
    if (mode == "A") return 3;
    if (mode == "IT") return 4;
    return -1;
}

GammaLineLoad LoadGammaLineTable(const AnsiString& alias, const AnsiString& csvFile,
                                 IntKeyGen* keyGen, StringLogger* logger) {
    TableLoader loader(alias, csvFile, keyGen, logger);
    return loader.Run();
}

}  // namespace quantora
