// What qdb demo shows when the lab is built: the rows per table, the calibration that applies to
// a sample spectrum, its peaks with their library lines, a deletion check and the export.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "quantora/calibmodel/EffCalibration.h"
#include "quantora/calibration/AnalysisRetrieval.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/lab/DeletableTables.h"
#include "quantora/lab/SpectrumCalibrations.h"
#include "quantora/lab/TableRowCounts.h"
#include "tools/qdb/DemoLab.h"

namespace qdbtool::demo {
namespace {

namespace fs = std::filesystem;

// What stands in the way of deleting a busy project.
void PrintDeletionCheck(int busyProject) {
    const auto check =
        quantora::CheckRowDeletion(quantora::FindDeletableTable("PROJECT"), kAlias, busyProject);
    std::printf(
        "Deletion check of project %d 'Soil survey North': %zu blocking rows, %zu "
        "references that would be dropped\n",
        busyProject, check.blocking.size(), check.nulled.size());
    int listed = 0;
    for (const AnsiString& b : check.blocking)
        if (listed++ < 4) std::printf("  blocked by %s\n", b.c_str());
    if (check.blocking.size() > 4) std::printf("  ... and %zu more\n", check.blocking.size() - 4);
    std::printf("\n");
}

void PrintRowCounts(const std::string& db) {
    std::printf("Rows per table (empty tables left out):\n");
    long long total = 0;
    int column = 0;
    for (const auto& [table, n] : quantora::LabTableRowCounts(kAlias)) {
        if (n == 0) continue;
        total += n;
        std::printf("  %-20s %6lld%s", table.c_str(), n, ++column % 3 == 0 ? "\n" : "");
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
}

// The applicable energy calibration of a sample spectrum, and the setup analyses valid then.
void PrintSoilCalibration(const MeasResult& soil, const ECalibration& cal) {
    std::printf("Energy calibration that applies to spectrum %d: '%s' (ECAL_ID %d)\n",
                soil.spectrumId, cal.Name.c_str(), cal.ECalId);
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
}

// The first peaks with the library lines the evaluation named them by.
void PrintPeakMatches(const MeasResult& soil) {
    const quantora::PeakEvalRun& run = soil.run;
    std::printf("Peaks of '%s' matched against the library '%s' (%zu lines):\n", "Soil core N-1",
                kLibraryName, run.lines.lines.size());
    for (size_t i = 0; i < run.result.peaks.size() && i < 8; ++i) {
        const quantora::analysis::FittedPeak& p = run.result.peaks[i];
        std::printf("  peak %8.3f +- %.3f keV, area %8.0f +- %5.0f: ", p.energy, p.energyUnc,
                    p.area, p.areaUnc);
        if (run.lineOfPeak[i] < 0) {
            std::printf(" no library line\n");
            continue;
        }
        const quantora::NuclideLine& l = run.lines.lines[static_cast<size_t>(run.lineOfPeak[i])];
        std::printf(" %s %.3f keV (%.2f %%)\n", l.nuclide.c_str(), l.energy, 100 * l.intensity);
    }
    std::printf("\n");
}

}  // namespace

void DemoLab::PrintSummary(const std::string& db, const std::string& xml, double seconds) {
    std::printf("Demo lab created in %s (%.1f s)\n\n", db.c_str(), seconds);
    PrintRowCounts(db);
    const MeasResult& soil = results_[kSoilPlan];
    const ECalibration cal = quantora::SpectrumECal(kAlias, soil.spectrumId);
    PrintSoilCalibration(soil, cal);
    PrintPeakMatches(soil);
    PrintDeletionCheck(4);

    // The whole lab as an exchange file.
    QuantoraXmlExporter exporter;
    exporter.ExportDatabase(kAlias, xml.c_str());
    std::error_code ec;
    const auto xmlSize = fs::file_size(xml, ec);
    std::printf("XML export: %s (%.1f KiB)\n\n", xml.c_str(), ec ? 0.0 : xmlSize / 1024.0);
    std::printf(
        "Try next:  qdb info %s   |   qdb csv %s \"SELECT NAME, E, AREA FROM PEAK p, "
        "PEAKEVAL e WHERE p.PEAKEVAL_ID = e.PEAKEVAL_ID\" peaks.csv\n",
        db.c_str(), db.c_str());
}

}  // namespace qdbtool::demo
