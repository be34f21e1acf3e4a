// From a certified source to activities: qdb source add (a calibration certificate stored as a
// certified source, linked to the nuclide tables), qdb efficiency fit (the efficiency of a setup
// from a certified source's spectrum), qdb background add (a setup's background analysis) and qdb
// quantify (the activities of a spectrum's nuclides with decision thresholds and detection
// limits).
#include <cstdio>
#include <string>

#include "quantora/base/DateTime.h"
#include "quantora/base/Failures.h"
#include "quantora/base/FileReplacement.h"
#include "quantora/base/Format.h"
#include "quantora/lab/BackgroundAnalysis.h"
#include "quantora/lab/Certificates.h"
#include "quantora/lab/Quantification.h"
#include "quantora/lab/SourceEfficiency.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"

namespace qdbtool {

using quantora::Format;

namespace {

const char* const kAlias = "qdb_quantify";

// The options the commands share.
void CommonOptions(Args& args, int* spectrum, int* setting, std::vector<int>* libraries) {
    *spectrum = TakeKey(args, "--spectrum", "spectrum id");
    *setting = TakeKey(args, "--setting", "setting id");
    *libraries = TakeKeyList(args, "--library", "library id");
}

}  // namespace

int CmdSource(const Args& in) {
    Args args = in;
    const std::string name = TakeOption(args, "--name");
    if (args.size() != 3 || args[0] != "add" || name.empty()) throw UsageError();
    const std::string& path = args[2];
    // The certificate is read before the database is touched.
    const quantora::Certificate cert = quantora::ReadCertificate(path);
    OpenLabDatabase(kAlias, args[1]);
    const int id = quantora::StoreSource(kAlias, name, cert, path);
    std::printf("source %d: %s (%zu nuclides, %s certificate)\n", id, name.c_str(),
                cert.nuclides.size(), cert.emissionRate ? "emission-rate" : "activity");
    for (const quantora::CertifiedNuclide& n : cert.nuclides) {
        std::printf("  %-8s", n.nuclide.c_str());
        if (n.lines.empty()) std::printf(" %.6g +- %.4g Bq", n.activity, n.activityUnc);
        for (size_t i = 0; i < n.lines.size(); ++i)
            std::printf("%s %.6g keV: %.6g +- %.4g /s", i ? ";" : "", n.lines[i].energyKeV,
                        n.lines[i].rate, n.lines[i].rateUnc);
        std::printf("  at %.19s UTC\n", quantora::FormatIsoDateTime(n.reference).c_str());
    }
    return 0;
}

int CmdEfficiency(const Args& in) {
    if (in.empty() || in[0] != "fit") throw UsageError();
    Args args = Rest(in);
    quantora::SourceEfficiencyOptions o;
    CommonOptions(args, &o.spectrumId, &o.settingId, &o.libraryIds);
    o.backgroundSpectrumId = TakeKey(args, "--background", "background spectrum id");
    o.sourceId = TakeKey(args, "--source", "source id");
    o.name = TakeOption(args, "--name");
    o.degree = TakeKey(args, "--degree", "degree");
    o.fitCascades = TakeFlag(args, "--cascades");
    if (args.size() != 1 || o.spectrumId < 0 || o.sourceId < 0) throw UsageError();
    OpenLabDatabase(kAlias, args[0]);
    const quantora::SourceEfficiency r = quantora::FitSourceEfficiency(kAlias, o);
    PrintNotes(r.run);
    std::printf("%-8s %10s %12s %10s %12s %10s %7s  %s\n", "nuclide", "keV", "net", "+-",
                "efficiency", "+-", "resid", "");
    for (const quantora::EfficiencyPoint& p : r.points)
        std::printf("%-8s %10.3f %12.1f %10.1f %12.5g %10.3g %+7.2f  %s%s\n", p.nuclide.c_str(),
                    p.energy, p.net, p.netUnc, p.efficiency, p.efficiencyUnc, p.residual,
                    p.peak < 0       ? "no peak"
                    : p.used         ? ""
                    : p.outlier      ? "outlier"
                    : p.annihilation ? "beside 511 keV"
                                     : "not fitted",
                    p.cascade ? (p.used ? "cascade" : ", cascade summing") : "");
    std::printf("curve of degree %d, chi2 %.2f for %d degrees of freedom\n", r.curve.Pol.Degree,
                r.chiSquare, r.dof);
    std::printf("efficiency analysis %d\n", r.effAnalysisId);
    return 0;
}

int CmdBackground(const Args& in) {
    if (in.empty() || in[0] != "add") throw UsageError();
    Args args = Rest(in);
    quantora::BackgroundAnalysisOptions o;
    CommonOptions(args, &o.spectrumId, &o.settingId, &o.libraryIds);
    o.name = TakeOption(args, "--name");
    if (args.size() != 1 || o.spectrumId < 0) throw UsageError();
    OpenLabDatabase(kAlias, args[0]);
    std::printf("background analysis %d\n", quantora::StoreBackgroundAnalysis(kAlias, o));
    return 0;
}

int CmdQuantify(const Args& in) {
    Args args = in;
    quantora::QuantifyOptions o;
    CommonOptions(args, &o.spectrumId, &o.settingId, &o.libraryIds);
    o.backgroundSpectrumId = TakeKey(args, "--background", "background spectrum id");
    o.effAnalysisId = TakeKey(args, "--efficiency", "efficiency analysis id");
    const std::string reference = TakeOption(args, "--reference");
    const std::string csv = TakeOption(args, "--csv");
    o.reevaluate = TakeFlag(args, "--reevaluate");
    if (args.size() != 1 || o.spectrumId < 0 || o.libraryIds.empty()) throw UsageError();
    if (!reference.empty() && !quantora::ParseIsoDateTime(reference, o.reference))
        throw quantora::MisuseError("malformed reference time '" + reference +
                                    "' (expected YYYY-MM-DD HH:MM:SS)");
    OpenLabDatabase(kAlias, args[0]);
    const quantora::Quantification r = quantora::Quantify(kAlias, o);
    PrintNotes(r.run);
    std::printf("activities at %s (%s), efficiency analysis %d",
                quantora::FormatIsoDateTime(r.reference).c_str(), r.unit.c_str(),
                r.efficiency.EffAnalysisId);
    if (r.backgroundAnalysisId > 0) std::printf(", background analysis %d", r.backgroundAnalysisId);
    std::printf("\n%-8s %12s %10s %12s %12s %5s  %s\n", "nuclide", "activity", "+-", "threshold",
                "limit", "lines", "");
    std::string text =
        "nuclide,activity_bq,uncertainty_bq,decision_threshold_bq,detection_limit_bq,lines,"
        "detected,unit\n";
    for (const quantora::QuantifiedNuclide& n : r.nuclides) {
        const auto& a = n.activity;
        std::string verdict = a.lines == 0 ? std::string("no line in range")
                              : a.detected ? std::string("detected")
                                           : Format("not detected, below %.4g", a.detectionLimit);
        if (n.cascade) verdict += ", cascade summing";
        if (!n.supportedBy.empty()) verdict += ", in equilibrium with " + n.supportedBy;
        std::printf("%-8s %12.5g %10.3g %12.4g %12.4g %5d  %s\n", n.nuclide.c_str(), a.activity,
                    a.uncertainty, a.decisionThreshold, a.detectionLimit, a.lines, verdict.c_str());
        text += Format("%s,%.6g,%.4g,%.4g,%.4g,%d,%s,%s\n", n.nuclide.c_str(), a.activity,
                       a.uncertainty, a.decisionThreshold, a.detectionLimit, a.lines,
                       a.detected ? "Y" : "N", r.unit.c_str());
    }
    if (r.nuclideIdentId > 0)
        std::printf("stored as nuclide identification %d\n", r.nuclideIdentId);
    if (!csv.empty()) quantora::WriteFileReplacing(csv, text);
    return 0;
}

}  // namespace qdbtool
