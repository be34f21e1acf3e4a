// Matching found peaks to true ones and the accumulated score of the peak evaluation.
#include "quantora/analysis/TruthScore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quantora::analysis {

namespace {

constexpr double kBlank = std::numeric_limits<double>::quiet_NaN();
constexpr TruthKind kKinds[kTruthKindCount] = {TruthKind::Isolated, TruthKind::Doublet,
                                               TruthKind::Weak};

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    const size_t m = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(m), v.end());
    if (v.size() % 2) return v[m];
    const double upper = v[m];
    return (upper + *std::max_element(v.begin(), v.begin() + static_cast<long>(m))) / 2;
}

template <class... Args>
std::string Format(const char* fmt, Args... args) {
    char line[160];
    std::snprintf(line, sizeof line, fmt, args...);
    return line;
}

// One row of the printed table; a NaN value, a negative sd or an empty goal leaves the column
// blank.
void Row(std::FILE* out, const std::string& label, size_t n, double value, double sd,
         const std::string& goal) {
    const std::string valueText = std::isnan(value) ? "" : Format("%.4f", value);
    const std::string sdText = sd >= 0 ? Format("%.3f", sd) : "";
    std::fprintf(out, "  %-40s %6zu %9s %7s  %s\n", label.c_str(), n, valueText.c_str(),
                 sdText.c_str(), goal.c_str());
}

}  // namespace

TruthMatch MatchPeaks(std::span<const TruePeak> truth, std::span<const FittedPeak> found,
                      double toleranceFwhm) {
    struct Pair {
        double distance;  // in FWHM of the true peak
        int t, f;
    };
    std::vector<Pair> pairs;
    // Both lists are in ascending channel: for each true peak only a window of found peaks.
    size_t start = 0;
    for (size_t t = 0; t < truth.size(); ++t) {
        const double reach = toleranceFwhm * truth[t].fwhm;
        while (start < found.size() && found[start].channel < truth[t].channel - reach) ++start;
        for (size_t f = start; f < found.size() && found[f].channel <= truth[t].channel + reach;
             ++f)
            pairs.push_back({std::abs(found[f].channel - truth[t].channel) / truth[t].fwhm,
                             static_cast<int>(t), static_cast<int>(f)});
    }
    std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) {
        return a.distance != b.distance ? a.distance < b.distance
                                        : (a.t != b.t ? a.t < b.t : a.f < b.f);
    });
    TruthMatch m{std::vector<int>(truth.size(), -1), std::vector<int>(found.size(), -1)};
    for (const Pair& p : pairs)
        if (m.foundOfTrue[p.t] < 0 && m.trueOfFound[p.f] < 0) {
            m.foundOfTrue[p.t] = p.f;
            m.trueOfFound[p.f] = p.t;
        }
    return m;
}

SampleStats Describe(std::span<const double> values) {
    SampleStats s;
    s.count = values.size();
    if (values.empty()) return s;
    for (double v : values) s.mean += v;
    s.mean /= static_cast<double>(values.size());
    if (values.size() < 2) return s;
    double ss = 0;
    for (double v : values) ss += (v - s.mean) * (v - s.mean);
    s.sd = std::sqrt(ss / static_cast<double>(values.size() - 1));
    return s;
}

TruthMatch TruthScore::Add(std::span<const TruePeak> truth, const PeakEvaluationResult& result) {
    // Matching assumes ascending channels; the result promises them, the truth may not.
    std::vector<TruePeak> sortedTruth(truth.begin(), truth.end());
    std::stable_sort(sortedTruth.begin(), sortedTruth.end(),
                     [](const TruePeak& a, const TruePeak& b) { return a.channel < b.channel; });
    std::vector<FittedPeak> sortedFound(result.peaks);
    std::stable_sort(
        sortedFound.begin(), sortedFound.end(),
        [](const FittedPeak& a, const FittedPeak& b) { return a.channel < b.channel; });
    TruthMatch m = MatchPeaks(sortedTruth, sortedFound, tolerance_);

    ++spectra_;
    for (size_t t = 0; t < sortedTruth.size(); ++t) {
        const TruePeak& tp = sortedTruth[t];
        const int k = Index(tp.kind);
        ++true_[k];
        if (m.foundOfTrue[t] < 0) continue;
        ++found_[k];
        const FittedPeak& fp = sortedFound[m.foundOfTrue[t]];
        if (fp.areaUnc > 0 && fp.channelUnc > 0) {
            if (tp.area < largeArea_) z_[k].push_back((fp.area - tp.area) / fp.areaUnc);
            centroidZ_.push_back((fp.channel - tp.channel) / fp.channelUnc);
        } else {
            ++missingUnc_;
        }
        if (tp.area >= largeArea_) largeBias_.push_back((fp.area - tp.area) / tp.area);
    }
    const int unmatched =
        static_cast<int>(std::count(m.trueOfFound.begin(), m.trueOfFound.end(), -1));
    false_ += unmatched;
    mostFalse_ = std::max(mostFalse_, unmatched);
    return m;
}

double TruthScore::FoundFraction(TruthKind k) const {
    const int n = true_[Index(k)];
    return n > 0 ? static_cast<double>(found_[Index(k)]) / n : 1.0;
}

double TruthScore::FalsePerSpectrum() const {
    return spectra_ > 0 ? static_cast<double>(false_) / spectra_ : 0.0;
}

SampleStats TruthScore::AreaZ() const {
    std::vector<double> all(z_[Index(TruthKind::Isolated)]);
    const std::vector<double>& d = z_[Index(TruthKind::Doublet)];
    all.insert(all.end(), d.begin(), d.end());
    return Describe(all);
}

double TruthScore::MedianLargeBias() const {
    return Median(largeBias_);
}

std::vector<std::string> TruthScore::Misses(const TruthGoals& g) const {
    std::vector<std::string> out;
    if (FoundFraction(TruthKind::Isolated) < g.isolatedFound)
        out.push_back(Format("isolated peaks found %.4f < %.4f", FoundFraction(TruthKind::Isolated),
                             g.isolatedFound));
    if (FoundFraction(TruthKind::Doublet) < g.doubletFound)
        out.push_back(Format("doublet components found %.4f < %.4f",
                             FoundFraction(TruthKind::Doublet), g.doubletFound));
    if (FalsePerSpectrum() > g.falsePerSpectrum)
        out.push_back(
            Format("false peaks per spectrum %.3f > %.3f", FalsePerSpectrum(), g.falsePerSpectrum));
    const SampleStats z = AreaZ();
    if (z.count > 0 && std::abs(z.mean) > g.zMeanLimit)
        out.push_back(Format("area z-score mean %.3f outside +-%.3f", z.mean, g.zMeanLimit));
    if (z.count > 1 && (z.sd < g.zSdLow || z.sd > g.zSdHigh))
        out.push_back(Format("area z-score sd %.3f outside %.2f..%.2f", z.sd, g.zSdLow, g.zSdHigh));
    if (LargeCount() > 0 && std::abs(MedianLargeBias()) > g.largeBiasLimit)
        out.push_back(Format("median relative area bias of large peaks %.4f outside +-%.4f",
                             MedianLargeBias(), g.largeBiasLimit));
    return out;
}

void PrintTruthScore(std::FILE* out, const TruthScore& s, const TruthGoals& g) {
    std::fprintf(out, "truth score over %d spectra\n", s.Spectra());
    std::fprintf(out, "  %-40s %6s %9s %7s  %s\n", "figure", "n", "value", "sd", "goal");
    for (TruthKind k : kKinds) {
        const double goal = k == TruthKind::Isolated  ? g.isolatedFound
                            : k == TruthKind::Doublet ? g.doubletFound
                                                      : -1;
        Row(out, Format("%s peaks found (fraction)", TruthKindName(k)),
            static_cast<size_t>(s.TrueCount(k)), s.FoundFraction(k), -1,
            goal >= 0 ? Format(">= %.2f", goal) : "");
    }
    Row(out, "false peaks per spectrum", static_cast<size_t>(s.FalsePeaks()), s.FalsePerSpectrum(),
        -1, Format("<= %.2f", g.falsePerSpectrum));
    Row(out, "false peaks in the worst spectrum", static_cast<size_t>(s.MostFalseInOneSpectrum()),
        kBlank, -1, "");
    const std::string below = Format("< %.0e", s.LargeArea());
    const SampleStats z = s.AreaZ();
    Row(out, "area z, isolated + doublet " + below, z.count, z.mean, z.sd,
        Format("|mean| <= %.2f, sd %.2f..%.2f", g.zMeanLimit, g.zSdLow, g.zSdHigh));
    for (TruthKind k : kKinds) {
        const SampleStats zk = s.AreaZ(k);
        Row(out, Format("  area z, %s %s", TruthKindName(k), below.c_str()), zk.count, zk.mean,
            zk.sd, "");
    }
    Row(out, Format("median relative area bias >= %.0e", s.LargeArea()), s.LargeCount(),
        s.MedianLargeBias(), -1, Format("|bias| <= %.3f", g.largeBiasLimit));
    const SampleStats c = s.CentroidZ();
    Row(out, "centroid z, all matched", c.count, c.mean, c.sd, "");
    if (s.MissingUncertainties() > 0)
        Row(out, "matched without an uncertainty", static_cast<size_t>(s.MissingUncertainties()),
            kBlank, -1, "");
}

}  // namespace quantora::analysis
