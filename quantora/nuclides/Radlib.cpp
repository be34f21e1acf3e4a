// Loading the radiation library from the database, the interval index and energy matching.
#include "quantora/nuclides/Radlib.h"

#include <algorithm>
#include <cmath>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/UiHooks.h"

using quantora::Format;

namespace {

const char* const kLibraryNamesSql =
    " select NAME, RADIATIONLIBRARY_ID from RADIATIONLIBRARY  where     radiationlibrary_id in "
    "(%s)  order by RADIATIONLIBRARY_ID";

const char* const kRadiationsSql =
    "select r.* from radiation r, radlib_transform rlt where    rlt.radiationlibrary_id in (%s) "
    "AND    (       (rlt.decay_id is not null AND r.decay_id = rlt.decay_id) OR       "
    "(rlt.reaction_id is not null AND r.reaction_id = rlt.reaction_id) OR       "
    "(rlt.transformchain_id is not null AND r.transformchain_id = rlt.transformchain_id)    ) ";

bool PositiveNumber(double v) {
    return v > 0.0 && std::isfinite(v);
}

// A line is matched only with a known energy, intensity and both uncertainties.
bool Acceptable(const RADIATIONData& r) {
    return PositiveNumber(r.E) && PositiveNumber(r.EUNC) && PositiveNumber(r.INTENSITY) &&
           PositiveNumber(r.INTENSITYUNC);
}

}  // namespace

void RadiationLibrary::Reset() {
    bounds_valid_ = false;
    ToleranceFactor = 4.0;
    largest_unc_ = 0.0;
    isomer_key_.Reset();
    decay_key_.Reset();
    radiation_key_.Reset();
    library_ids_.clear();
    library_names_.clear();
    alias_.clear();
    isomers_.clear();
    decays_.clear();
    radiations_.clear();
    by_decay_.clear();
    by_isomer_.clear();
    bounds_.Clear();
}

bool RadiationLibrary::Load(const AnsiString& alias, const std::vector<int>& ids) {
    if (ids == library_ids_ && alias == alias_ && !radiations_.empty()) return true;
    library_ids_ = ids;
    largest_unc_ = 0.0;
    alias_.clear();
    // The index of the previous load must not answer for a half-finished one.
    bounds_valid_ = false;
    bounds_.Clear();

    TQuery q;
    q.SetDatabaseName(alias);
    q.SetUniDirectional(true);
    q.SetRequestLive(false);
    ReadIsomers(q);
    ReadDecays(q);
    radiations_.clear();
    by_decay_.clear();
    by_isomer_.clear();

    AnsiString idList;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i) idList += ",";
        idList += Format("%d", ids[i]);
    }
    ReadLibraryNames(q, idList);
    ReadRadiations(q, idList);
    GenerateBounds();
    alias_ = alias;
    return true;
}

void RadiationLibrary::ReadIsomers(TQuery& q) {
    isomers_.clear();
    q.SetSQL("select * from isomer");
    q.Open();
    ISOMERData rec;
    for (; rec.Read(&q); q.Next()) isomers_.insert(rec);
    q.Close();
}

void RadiationLibrary::ReadDecays(TQuery& q) {
    decays_.clear();
    q.SetSQL("select * from decay");
    q.Open();
    DECAYData rec;
    for (; rec.Read(&q); q.Next()) decays_.insert(rec);
    q.Close();
}

void RadiationLibrary::ReadLibraryNames(TQuery& q, const AnsiString& idList) {
    q.SetSQL(Format(kLibraryNamesSql, idList.c_str()));
    q.Open();
    library_names_.clear();
    for (; !q.Eof(); q.Next()) {
        if (!library_names_.empty()) library_names_ += ",";
        library_names_ += q.Fields()[0]->AsString();
    }
    q.Close();
}

void RadiationLibrary::ReadRadiations(TQuery& q, const AnsiString& idList) {
    q.SetSQL(Format(kRadiationsSql, idList.c_str()));
    q.Open();
    RADIATIONData rec;
    for (; rec.GetData(&q); q.Next()) {
        if (!Acceptable(rec)) continue;
        // A line of several library entries comes back once per entry; the first copy stays.
        if (!radiations_.contains(rec)) radiations_.insert(rec);
        by_decay_.emplace(rec.DECAY_ID, rec.RADIATION_ID);
        decay_key_.DECAY_ID = rec.DECAY_ID;
        auto decay = decays_.find(decay_key_);
        if (decay == decays_.end()) {
            quantora::ShowMessage("RadiationLibrary::Load: !D");
            continue;
        }
        isomer_key_.ISOMER_ID = decay->ISOMER_ID;
        auto isomer = isomers_.find(isomer_key_);
        if (isomer == isomers_.end()) {
            quantora::ShowMessage("RadiationLibrary::Load: !I");
            continue;
        }
        by_isomer_.emplace(isomer->ISOMER_ID, rec.RADIATION_ID);
        largest_unc_ = std::max(largest_unc_, rec.EUNC);
    }
    q.Close();
}

const ISOMERData* RadiationLibrary::GetIsomerData(int isomerId) {
    isomer_key_.ISOMER_ID = isomerId;
    auto it = isomers_.find(isomer_key_);
    return it == isomers_.end() ? nullptr : &*it;
}

const DECAYData* RadiationLibrary::GetDecayData(int decayId) {
    decay_key_.DECAY_ID = decayId;
    auto it = decays_.find(decay_key_);
    return it == decays_.end() ? nullptr : &*it;
}

const RADIATIONData* RadiationLibrary::GetRadiationData(const AnsiString& radiationId) {
    radiation_key_.RADIATION_ID = radiationId;
    auto it = radiations_.find(radiation_key_);
    return it == radiations_.end() ? nullptr : &*it;
}

void RadiationLibrary::GenerateBounds() {
    bounds_valid_ = false;
    bounds_.Clear();
    // A factor that is not a positive number would give empty or undefined intervals.
    if (!PositiveNumber(ToleranceFactor)) ToleranceFactor = 4.0;
    const double f = ToleranceFactor;
    std::vector<RadiationBound> bounds;
    bounds.reserve(radiations_.size());
    for (const RADIATIONData& r : radiations_) {
        const double halfWidth = f * r.EUNC;
        bounds.push_back({r.E - halfWidth, r.E + halfWidth, static_cast<float>(r.E),
                          static_cast<float>(halfWidth), r.RADIATION_ID, r.DECAY_ID});
    }
    bounds_.Assign(std::move(bounds));
    bounds_valid_ = true;
}

void RadiationLibrary::GetMatchingRadiations(double energy, double energyUnc,
                                             std::vector<AnsiString>& result) {
    if (!std::isfinite(energy))
        throw quantora::MisuseError(
            "RadiationLibrary::GetMatchingRadiations: the energy is not a number");
    if (!(energyUnc >= 0.0) || !std::isfinite(energyUnc))
        throw quantora::MisuseError(
            "RadiationLibrary::GetMatchingRadiations: the energy uncertainty must be a number of "
            "0 or more");
    if (!bounds_valid_) GenerateBounds();
    const double f = ToleranceFactor;
    if (!PositiveNumber(f))
        throw quantora::MisuseError(
            "RadiationLibrary::GetMatchingRadiations: the tolerance factor must be greater than 0");

    const double lower = energy - f * energyUnc;
    const double upper = energy + f * energyUnc;
    // Every line enclosing the query interval begins at or below `lower` and is at most two of
    // the widest half-widths long (f times the largest line uncertainty when every line has its
    // decay and isomer); the relative slack absorbs rounding.
    const double reach = 2.0 * bounds_.WidestHalfWidth();
    const double limit = lower + reach + 1e-9 * (std::abs(lower) + reach);
    const double uncSquared = energyUnc * energyUnc;
    auto passes = [&](const RadiationBound& b) {
        const double d = (static_cast<double>(b.Energy) - energy) / f;
        const double h = b.HalfWidth;
        return d * d <= h * h + uncSquared;
    };

    // Phase 1: lines beginning inside the query interval.
    const std::vector<RadiationBound>& byLower = bounds_.ByLower();
    for (size_t i = bounds_.FirstLowerNotBelow(lower);
         i < byLower.size() && byLower[i].LowerBound <= upper; ++i)
        if (passes(byLower[i])) result.push_back(byLower[i].RADIATION_ID);

    // Phase 2: lines beginning before it and ending inside it. A line beginning exactly at
    // `lower` was visited in phase 1 and is not appended again (here or in phase 3).
    const std::vector<RadiationBound>& byUpper = bounds_.ByUpper();
    const size_t start = bounds_.FirstUpperNotAbove(upper);
    for (size_t i = start; i < byUpper.size(); ++i) {
        const RadiationBound& b = byUpper[i];
        if (b.LowerBound > lower) continue;
        if (b.UpperBound < lower) break;
        if (b.LowerBound < lower && passes(b)) result.push_back(b.RADIATION_ID);
    }

    // Phase 3: lines enclosing it, towards larger upper bounds up to the scan limit. The index
    // jumps straight over the runs of lines beginning after `lower`, which the scan passes over.
    for (size_t i = start; i > 0;) {
        i = bounds_.PrevBeginningAtMost(i - 1, lower);
        if (i == quantora::RadiationBoundSets::npos) break;
        const RadiationBound& b = byUpper[i];
        if (b.UpperBound > limit) break;
        if (b.LowerBound < lower && passes(b)) result.push_back(b.RADIATION_ID);
    }
}
