// qdb plot (spectra and calibrations as PNG or SVG pictures), qdb view (the interactive spectrum
// window) and the pictures of the demo lab.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/lab/RadiationLibraries.h"
#include "quantora/plots/CalibrationPlots.h"
#include "quantora/plots/LabPlotData.h"
#include "quantora/plots/PlotFile.h"
#include "quantora/plots/RangeText.h"
#include "quantora/plots/Report.h"
#include "quantora/plots/ShowcasePictures.h"
#include "quantora/plots/SpectrumPlot.h"
#include "quantora/plots/SpectrumView.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"

namespace qdbtool {

using quantora::Format;
namespace plots = quantora::plots;

namespace {

const char* const kAlias = "qdb_plot";
constexpr int kDefaultWidth = 1200, kDefaultHeight = 750;

// The stored spectra, their peaks named from the radiation library `libraryId` (-1: none).
std::vector<plots::SpectrumSeries> LoadSpectra(const std::vector<int>& ids, int libraryId) {
    const auto lib =
        libraryId < 0 ? nullptr : quantora::LoadRadiationLibraries(kAlias, {libraryId});
    std::vector<plots::SpectrumSeries> out;
    for (int id : ids) out.push_back(plots::LoadSpectrumSeries(kAlias, id, lib.get()));
    return out;
}

void Save(const std::string& path, int w, int h, const plots::PlotDrawing& draw) {
    plots::HeadlessGui gui;
    plots::SavePlot(path, w, h, draw);
    std::printf("wrote %s (%dx%d)\n", path.c_str(), w, h);
}

int PlotSpectrum(Args args, int w, int h) {
    plots::SpectrumOptions opt;
    opt.logY = TakeFlag(args, "--log");
    opt.energyAxis = TakeFlag(args, "--energy");
    opt.normalise = TakeFlag(args, "--normalise");
    opt.title = TakeOption(args, "--title");
    const int library = TakeKey(args, "--library", "library id");
    const std::string range = TakeOption(args, "--range");
    if (args.size() != 3)
        throw quantora::MisuseError(
            "usage: qdb plot spectrum <db> <spectrum id>[,<id>...] <out.png|out.svg> [--log] "
            "[--energy] [--normalise] [--library <id>] [--range <lo>:<hi>] [--size WxH] "
            "[--title <text>]");
    if (!range.empty()) plots::ParsePlotRange(range, &opt.xLo, &opt.xHi);
    const std::vector<int> ids = ParseKeyList(args[1], "spectrum id");
    OpenLabDatabase(kAlias, args[0], true);
    const auto spectra = LoadSpectra(ids, library);
    if (opt.title.empty() && spectra.size() > 1)
        opt.title = Format("%zu spectra%s", spectra.size(),
                           opt.normalise ? ", per second of live time" : "");
    Save(args[2], w, h,
         [&](QPainter& p, const QRectF& r) { plots::DrawSpectrum(p, r, spectra, opt); });
    return 0;
}

// The caller's title, else the calibration's name, else what it is, with the spectrum's id.
std::string CalTitle(const std::string& title, const AnsiString& name, const char* what, int id) {
    if (!title.empty()) return title;
    return name.empty() ? Format("%s of spectrum %d", what, id)
                        : Format("%s (spectrum %d)", name.c_str(), id);
}

int PlotCalibration(const std::string& kind, Args args, int w, int h) {
    const std::string title = TakeOption(args, "--title");
    const bool eff = kind == "eff";
    const int id =
        TakeKey(args, eff ? "--analysis" : "--spectrum", eff ? "analysis id" : "spectrum id");
    if (args.size() != 2 || id < 0)
        throw Exception(Format("usage: qdb plot %s <db> %s <id> <out.png|out.svg> [--size WxH]",
                               kind.c_str(), eff ? "--analysis" : "--spectrum"));
    OpenLabDatabase(kAlias, args[0], true);
    if (kind == "ecal") {
        const ECalibration cal = plots::LoadSpectrumECal(kAlias, id);
        const std::string t = CalTitle(title, cal.Name, "Energy calibration", id);
        Save(args[1], w, h,
             [&](QPainter& p, const QRectF& r) { plots::DrawECalibration(p, r, cal, t); });
    } else if (kind == "fwhm") {
        const FwhmCalibrClass cal = plots::LoadSpectrumFwhmCal(kAlias, id);
        const std::optional<ECalibration> energy = plots::FindSpectrumECal(kAlias, id);
        const std::string t = CalTitle(title, cal.Name, "FWHM calibration", id);
        Save(args[1], w, h, [&](QPainter& p, const QRectF& r) {
            plots::DrawFwhmCalibration(p, r, cal, t, energy ? &*energy : nullptr);
        });
    } else {
        const plots::EffAnalysisData d = plots::LoadEffAnalysis(kAlias, id);
        const std::string t = title.empty() ? d.cal.Name : title;
        Save(args[1], w, h, [&](QPainter& p, const QRectF& r) {
            plots::DrawEfficiency(p, r, d.cal, d.points, t);
        });
    }
    return 0;
}

}  // namespace

int CmdPlot(const Args& in) {
    Args args = in;
    int w = kDefaultWidth, h = kDefaultHeight;
    const std::string size = TakeOption(args, "--size");
    if (!size.empty()) plots::ParsePlotSize(size, &w, &h);
    const std::string kind = args.empty() ? std::string() : args[0];
    const Args rest = Rest(args);
    if (kind == "spectrum") return PlotSpectrum(rest, w, h);
    if (kind == "ecal" || kind == "fwhm" || kind == "eff") return PlotCalibration(kind, rest, w, h);
    throw quantora::MisuseError("usage: qdb plot spectrum|ecal|fwhm|eff ... (see qdb plot --help)");
}

int CmdReport(const Args& in) {
    Args args = in;
    const int measurement = TakeKey(args, "--measurement", "measurement id");
    if (args.size() != 2 || measurement < 0) throw UsageError();
    OpenLabDatabase(kAlias, args[0]);
    plots::WriteMeasurementReport(kAlias, measurement, args[1]);
    std::printf("report of measurement %d written to %s\n", measurement, args[1].c_str());
    return 0;
}

int CmdView(const Args& in) {
    Args args = in;
    const bool log = TakeFlag(args, "--log");
    const int library = TakeKey(args, "--library", "library id");
    if (args.size() != 2) throw UsageError();
    const std::vector<int> ids = ParseKeyList(args[1], "spectrum id");
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !(platform && *platform))
        throw Exception("no display (set DISPLAY, or run under xvfb-run)");
    OpenLabDatabase(kAlias, args[0], true);
    auto spectra = LoadSpectra(ids, library);

    plots::PrepareQtRuntimeDir();
    static int argc = 1;
    static char name[] = "qdb";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QApplication::setApplicationName("qdb view");
    plots::SpectrumView view(std::move(spectra), log);
    view.setWindowTitle(
        QString::fromStdString(view.EnergyAxis() ? "qdb view (energy)" : "qdb view"));
    view.show();
    return app.exec();
}

void WriteDemoPictures(const char* alias, const std::string& db) {
    namespace fs = std::filesystem;
    const fs::path base = IsDatabaseUri(db) ? fs::path("demo") : fs::path(db).replace_extension();
    const plots::ShowcasePictures p = plots::WriteShowcasePictures(alias, base.string());
    std::printf("Pictures: %s (spectrum %d)", p.spectrumPng.c_str(), p.spectrumId);
    if (p.effAnalysisId > 0)
        std::printf(", %s (efficiency analysis %d)", p.effPng.c_str(), p.effAnalysisId);
    std::printf("\n");
}

}  // namespace qdbtool
