// Writing the showcase pictures of a lab.
#include "quantora/plots/ShowcasePictures.h"

#include "quantora/base/Exception.h"
#include "quantora/lab/LabShowcase.h"
#include "quantora/lab/RadiationLibraries.h"
#include "quantora/plots/LabPlotData.h"
#include "quantora/plots/PlotFile.h"

namespace quantora::plots {

ShowcasePictures WriteShowcasePictures(const char* alias, const std::string& base) {
    const LabShowcase show = FindLabShowcase(alias);
    if (show.spectrumId < 0) throw Exception("the demo lab has no spectrum with peaks");
    const auto lib = show.libraryId > 0 ? LoadRadiationLibraries(alias, {show.libraryId}) : nullptr;
    const std::vector<SpectrumSeries> spectra = {
        LoadSpectrumSeries(alias, show.spectrumId, lib.get())};
    SpectrumOptions opt;
    opt.logY = true;
    opt.energyAxis = static_cast<bool>(spectra[0].energyOf);
    ShowcasePictures out;
    out.spectrumPng = base + "-spectrum.png";
    out.spectrumId = show.spectrumId;
    HeadlessGui gui;
    SavePlot(out.spectrumPng, 1600, 1000,
             [&](QPainter& p, const QRectF& r) { DrawSpectrum(p, r, spectra, opt); });
    if (show.effAnalysisId > 0) {
        const EffAnalysisData d = LoadEffAnalysis(alias, show.effAnalysisId);
        out.effPng = base + "-efficiency.png";
        out.effAnalysisId = show.effAnalysisId;
        SavePlot(out.effPng, 1600, 1000, [&](QPainter& p, const QRectF& r) {
            DrawEfficiency(p, r, d.cal, d.points, d.cal.Name);
        });
    }
    return out;
}

}  // namespace quantora::plots
