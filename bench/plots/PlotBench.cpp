// Drawing a measured 16,384-channel spectrum at 1600x1000: the whole plot (axes, labels, peak
// marks, trace decimated per pixel column) against drawing every channel as a line segment on
// the same axes, nothing else. Ratio printed after the run.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "bench/common/RatioReporter.h"
#include "quantora/plots/PlotFile.h"
#include "quantora/plots/SpectrumPlot.h"

namespace {

using namespace quantora::plots;

constexpr int kWidth = 1600, kHeight = 1000;

const SpectrumSeries& Spectrum() {
    static const SpectrumSeries s = [] {
        SpectrumSeries s;
        s.name = "eu_calib_7cm";
        std::ifstream in(QUANTORA_SHARED_DATA "/spectra/counts/eu_calib_7cm_Spe.txt");
        double c;
        while (in >> c) s.counts.push_back(c);
        if (s.counts.size() != 16384) {
            std::fprintf(stderr, "bench_plots: expected 16384 channels, read %zu\n",
                         s.counts.size());
            std::exit(1);
        }
        for (double ch : {1380.0, 3900.0, 8100.0, 11250.0, 12480.0}) {
            PeakMark m;
            m.channel = ch, m.channelUnc = 0.05, m.area = 1000, m.areaUnc = 30;
            m.fwhm = 4, m.fwhmUnc = 0.1;
            s.peaks.push_back(m);
        }
        return s;
    }();
    return s;
}

void BM_Plot(benchmark::State& state, bool log) {
    QImage img(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    SpectrumOptions opt;
    opt.logY = log;
    for (auto _ : state) {
        QPainter p(&img);
        DrawSpectrum(p, QRectF(0, 0, kWidth, kHeight), {Spectrum()}, opt);
    }
}

// Every channel a segment, on the axes the plot above uses.
void BM_EverySegment(benchmark::State& state, bool log) {
    QImage img(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    SpectrumOptions opt;
    opt.logY = log;
    SpectrumLayout layout;
    {
        QPainter p(&img);
        layout = DrawSpectrum(p, QRectF(0, 0, kWidth, kHeight), {Spectrum()}, opt);
    }
    const Panel& panel = layout.panel;
    const std::vector<double>& c = Spectrum().counts;
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(SeriesColor(0), 1.0));
        p.setClipRect(panel.rect);
        for (size_t i = 1; i < c.size(); ++i)
            p.drawLine(panel.At(static_cast<double>(i - 1), c[i - 1]),
                       panel.At(static_cast<double>(i), c[i]));
    }
}

void BM_PlotLog(benchmark::State& s) {
    BM_Plot(s, true);
}
void BM_EverySegmentLog(benchmark::State& s) {
    BM_EverySegment(s, true);
}
void BM_PlotLinear(benchmark::State& s) {
    BM_Plot(s, false);
}
void BM_EverySegmentLinear(benchmark::State& s) {
    BM_EverySegment(s, false);
}
BENCHMARK(BM_PlotLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EverySegmentLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotLinear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EverySegmentLinear)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    HeadlessGui gui;
    return quantora::bench::RunWithRatios(
        argc, argv,
        {{"whole plot, log / every channel a segment", "BM_PlotLog", "BM_EverySegmentLog", 1.0},
         {"whole plot, linear / every channel a segment", "BM_PlotLinear", "BM_EverySegmentLinear",
          1.5}});
}
