// Drawing spectra with their peak marks.
#include "quantora/plots/SpectrumPlot.h"

#include <QFontMetricsF>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/plots/Decimate.h"

namespace quantora::plots {
namespace {

// The data maximum takes this share of the height; the rest leaves room for peak labels. With
// no peak in view the data reach nearly to the top of the frame.
constexpr double kLabelledShare = 0.72, kUnlabelledShare = 0.96;

void Validate(const std::vector<SpectrumSeries>& spectra, const SpectrumOptions& opt) {
    if (spectra.empty()) throw Exception("no spectrum to plot");
    for (const SpectrumSeries& s : spectra) {
        if (s.counts.empty()) throw Exception("spectrum '" + s.name + "' has no channels");
        if (opt.energyAxis && !(s.energyOf && s.channelOf))
            throw Exception("spectrum '" + s.name +
                            "' has no energy calibration: plot it over channels");
        if (opt.normalise && !(s.liveTime > 0))
            throw Exception("spectrum '" + s.name + "' has no live time: cannot normalise");
    }
    if (std::isnan(opt.xLo) && std::isnan(opt.xHi)) return;
    const char* unit = opt.energyAxis ? "keV" : "channels";
    if (!std::isfinite(opt.xLo) || !std::isfinite(opt.xHi))
        throw Exception(Format("range %g:%g is not a pair of numbers", opt.xLo, opt.xHi));
    if (!(opt.xLo < opt.xHi))
        throw Exception(
            Format("range %g:%g is empty: its start must lie below its end", opt.xLo, opt.xHi));
    const auto [lo, hi] = FullXRange(spectra, opt);
    if (opt.xHi <= lo || opt.xLo >= hi)
        throw Exception(Format("range %g:%g %s lies outside the spectrum (%.6g to %.6g %s)",
                               opt.xLo, opt.xHi, unit, lo, hi, unit));
}

double ChannelOfValue(const SpectrumSeries& s, const SpectrumOptions& opt, double v) {
    return opt.energyAxis ? s.channelOf(v) : v;
}

// Values as drawn: counts, or counts per second of live time.
std::vector<double> Values(const SpectrumSeries& s, const SpectrumOptions& opt) {
    std::vector<double> v(s.counts);
    if (opt.normalise)
        for (double& x : v) x /= s.liveTime;
    return v;
}

// Channel index range [i0, i1) whose centres lie in the visible x range.
std::pair<size_t, size_t> VisibleChannels(const SpectrumSeries& s, const SpectrumOptions& opt,
                                          const Axis& x) {
    const double n = static_cast<double>(s.counts.size());
    double a = ChannelOfValue(s, opt, x.Lo()), b = ChannelOfValue(s, opt, x.Hi());
    if (a > b) std::swap(a, b);
    a = std::isfinite(a) ? std::clamp(std::ceil(a - 1e-9), 0.0, n) : 0.0;
    b = std::isfinite(b) ? std::clamp(std::floor(b + 1e-9) + 1, 0.0, n) : n;
    return {static_cast<size_t>(a), static_cast<size_t>(std::max(a, b))};
}

// Whether a peak of any spectrum lies in the x range [lo, hi].
bool PeaksInRange(const std::vector<SpectrumSeries>& spectra, const SpectrumOptions& opt, double lo,
                  double hi) {
    for (const SpectrumSeries& s : spectra)
        for (const PeakMark& m : s.peaks) {
            const double x = AxisValueOfChannel(s, opt, m.channel);
            if (x >= lo && x <= hi) return true;
        }
    return false;
}

Axis YAxis(const std::vector<std::vector<double>>& values,
           const std::vector<std::pair<size_t, size_t>>& visible, bool log, double share) {
    double mx = 0, minPos = HUGE_VAL;
    for (size_t k = 0; k < values.size(); ++k)
        for (size_t i = visible[k].first; i < visible[k].second; ++i) {
            const double v = values[k][i];
            if (!std::isfinite(v)) continue;
            mx = std::max(mx, v);
            if (v > 0) minPos = std::min(minPos, v);
        }
    if (!log) return Axis(0, (mx > 0 ? mx : 1.0) / share, false);
    if (!std::isfinite(minPos)) minPos = mx > 0 ? mx / 10 : 1.0;
    const double lo = std::pow(10.0, std::floor(std::log10(minPos)));
    const double top = std::max(mx, lo * 10);
    return Axis(lo, lo * std::pow(top / lo, 1 / share), true);
}

// The polyline of one spectrum: two points per pixel column when channels outnumber columns,
// otherwise one flat step per channel.
QPolygonF Trace(const SpectrumSeries& s, const SpectrumOptions& opt, const Panel& panel,
                const std::vector<double>& v, std::pair<size_t, size_t> vis) {
    QPolygonF line;
    const QRectF& r = panel.rect;
    // Whole columns across the rectangle, so the last one is not clipped away.
    const int columns = std::max(1, static_cast<int>(r.width()));
    const double step = r.width() / columns;
    auto ypx = [&](double y) { return panel.y.Map(y); };
    if (vis.second - vis.first > static_cast<size_t>(columns)) {
        std::vector<double> edges(columns + 1);
        for (int c = 0; c <= columns; ++c)
            edges[c] = ChannelOfValue(s, opt, panel.x.Inverse(r.left() + c * step));
        if (edges.front() > edges.back()) std::reverse(edges.begin(), edges.end());
        // The last edge lies past the last visible channel, whatever the rounding.
        edges.back() = std::nextafter(edges.back(), HUGE_VAL);
        const std::vector<ColumnRange> cols = DecimateColumns(v, edges);
        line.reserve(2 * columns);
        for (int c = 0; c < columns; ++c) {
            const ColumnRange& col = cols[c];
            if (!col.channels) continue;
            const double x = r.left() + (c + 0.5) * step;
            const bool rising = col.first <= col.last;
            line << QPointF(x, ypx(rising ? col.min : col.max))
                 << QPointF(x, ypx(rising ? col.max : col.min));
        }
        return line;
    }
    line.reserve(2 * (vis.second - vis.first));
    for (size_t i = vis.first; i < vis.second; ++i) {
        const double y = ypx(v[i]);
        const double c = static_cast<double>(i);
        line << QPointF(panel.x.Map(AxisValueOfChannel(s, opt, c - 0.5)), y)
             << QPointF(panel.x.Map(AxisValueOfChannel(s, opt, c + 0.5)), y);
    }
    return line;
}

QString MarkLabel(const PeakMark& m, bool energyKnown) {
    QString t = energyKnown ? QString::number(m.energy, 'f', 1) + " keV"
                            : "ch " + QString::number(m.channel, 'f', 1);
    if (!m.nuclide.empty()) t += "  " + QString::fromStdString(m.nuclide);
    return t;
}

}  // namespace

double AxisValueOfChannel(const SpectrumSeries& s, const SpectrumOptions& opt, double channel) {
    return opt.energyAxis ? s.energyOf(channel) : channel;
}

std::pair<double, double> FullXRange(const std::vector<SpectrumSeries>& spectra,
                                     const SpectrumOptions& opt) {
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (const SpectrumSeries& s : spectra) {
        if (s.counts.empty() || (opt.energyAxis && !s.energyOf)) continue;
        const double a = AxisValueOfChannel(s, opt, -0.5);
        const double b = AxisValueOfChannel(s, opt, static_cast<double>(s.counts.size()) - 0.5);
        lo = std::min({lo, a, b});
        hi = std::max({hi, a, b});
    }
    if (!(hi > lo)) return {0.0, 1.0};
    return {lo, hi};
}

QString SeriesLabel(const std::vector<SpectrumSeries>& spectra, size_t k) {
    QString t = QString::fromStdString(spectra[k].name);
    // Spectra of one measurement are told apart by their own names.
    for (size_t j = 0; j < spectra.size(); ++j)
        if (j != k && spectra[j].name == spectra[k].name && !spectra[k].detail.empty())
            return t + QString::fromStdString(", " + spectra[k].detail);
    return t;
}

QColor PeakMarkColor(int series, size_t count) {
    return count == 1 ? kPeakMarkColor : SeriesColor(series).darker(150);
}

std::string PeakDescription(const PeakMark& m) {
    std::string s = "nuclide " + (m.nuclide.empty() ? std::string("not identified") : m.nuclide);
    s += Format("\nchannel %.2f +- %.2f", m.channel, m.channelUnc);
    if (m.energy > 0) s += Format("\nenergy %.3f +- %.3f keV", m.energy, m.energyUnc);
    s += Format("\narea %.0f +- %.0f", m.area, m.areaUnc);
    if (m.fwhm > 0) s += Format("\nFWHM %.2f +- %.2f channels", m.fwhm, m.fwhmUnc);
    if (m.fwhmKeV > 0) s += Format(" (%.3f keV)", m.fwhmKeV);
    if (m.height > 0) s += Format("\nheight %.1f +- %.1f counts", m.height, m.heightUnc);
    if (m.background > 0) s += Format("\ncontinuum %.0f counts", m.background);
    // "decision_threshold=12.5" reads "decision threshold 12.5".
    for (std::string v : m.values) {
        std::replace(v.begin(), v.end(), '_', ' ');
        std::replace(v.begin(), v.end(), '=', ' ');
        s += "\n" + v;
    }
    return s;
}

SpectrumLayout DrawSpectrum(QPainter& painter, const QRectF& area,
                            const std::vector<SpectrumSeries>& spectra,
                            const SpectrumOptions& opt) {
    Validate(spectra, opt);
    SpectrumLayout out;
    Panel& panel = out.panel;
    auto [lo, hi] = FullXRange(spectra, opt);
    if (!std::isnan(opt.xLo)) lo = opt.xLo, hi = opt.xHi;
    panel.x = Axis(lo, hi, false);

    std::vector<std::vector<double>> values;
    std::vector<std::pair<size_t, size_t>> visible;
    for (const SpectrumSeries& s : spectra) {
        values.push_back(Values(s, opt));
        visible.push_back(VisibleChannels(s, opt, panel.x));
    }
    panel.y = YAxis(values, visible, opt.logY,
                    PeaksInRange(spectra, opt, lo, hi) ? kLabelledShare : kUnlabelledShare);

    painter.fillRect(area, Qt::white);
    PlotCanvas canvas(painter, area, opt.antialias);
    QString title = QString::fromStdString(opt.title.empty() ? spectra[0].name : opt.title);
    QString subtitle;
    if (spectra.size() == 1) {
        subtitle = QString::fromStdString(spectra[0].detail);
        if (spectra[0].liveTime > 0)
            subtitle += QString("%1live time %2 s, %3 channels")
                            .arg(subtitle.isEmpty() ? "" : ", ")
                            .arg(spectra[0].liveTime, 0, 'f', 0)
                            .arg(spectra[0].counts.size());
    }
    canvas.PlacePanel(panel, canvas.TakeTitle(area, title, subtitle), true, true);
    const QString xTitle = opt.energyAxis ? "Energy (keV)" : "Channel";
    const QString yTitle = opt.normalise ? "Count rate per channel (1/s)" : "Counts per channel";
    canvas.DrawAxes(panel, xTitle, yTitle, true);

    painter.save();
    painter.setClipRect(panel.rect);
    for (size_t k = 0; k < spectra.size(); ++k) {
        painter.setPen(QPen(SeriesColor(static_cast<int>(k)), std::max(1.0, canvas.Px(1.0))));
        // Separate segments: one long self-crossing polyline is stroked as a single path,
        // several times slower than the same segments rasterised one by one.
        const QPolygonF trace = Trace(spectra[k], opt, panel, values[k], visible[k]);
        std::vector<QLineF> segments;
        segments.reserve(trace.size());
        for (qsizetype i = 1; i < trace.size(); ++i) segments.emplace_back(trace[i - 1], trace[i]);
        painter.drawLines(segments.data(), static_cast<int>(segments.size()));
    }
    painter.restore();

    // Peak marks: a tick above the peak, its label upright above that, in the series' mark
    // colour; taller peaks first, so when labels would collide the smaller peak keeps only its
    // tick.
    struct Candidate {
        int series, peak;
        double x, top;
    };
    std::vector<Candidate> cands;
    for (size_t k = 0; k < spectra.size(); ++k) {
        const SpectrumSeries& s = spectra[k];
        for (size_t j = 0; j < s.peaks.size(); ++j) {
            const PeakMark& m = s.peaks[j];
            const double x = panel.x.Map(AxisValueOfChannel(s, opt, m.channel));
            if (!std::isfinite(x) || x < panel.rect.left() || x > panel.rect.right()) continue;
            const double half = std::max(2.0, m.fwhm);
            const long a = std::max(0L, std::lround(m.channel - half));
            const long b =
                std::min(static_cast<long>(s.counts.size()) - 1, std::lround(m.channel + half));
            double top = 0;
            for (long i = a; i <= b; ++i) top = std::max(top, values[k][static_cast<size_t>(i)]);
            cands.push_back({static_cast<int>(k), static_cast<int>(j), x, panel.y.Map(top)});
        }
    }
    std::sort(cands.begin(), cands.end(),
              [](const Candidate& a, const Candidate& b) { return a.top < b.top; });
    const QFont font = canvas.Font(0.85);
    const QFontMetricsF fm(font);
    const double gap = canvas.Px(4), tick = canvas.Px(12), lw = std::max(1.0, canvas.Px(1.5));
    std::vector<QRectF> placed;
    painter.save();
    painter.setClipRect(panel.rect);
    painter.setFont(font);
    for (const Candidate& c : cands) {
        const SpectrumSeries& s = spectra[c.series];
        const PeakMark& m = s.peaks[c.peak];
        const double tickBottom = std::max(panel.rect.top() + tick + gap, c.top - gap);
        const double x = std::round(c.x - 0.5) + 0.5;  // a crisp one-pixel column
        const QColor color = PeakMarkColor(c.series, spectra.size());
        painter.setPen(QPen(color, lw, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(x, tickBottom - tick), QPointF(x, tickBottom));
        QRectF spot(x - canvas.Px(4), tickBottom - tick, canvas.Px(8), tick);

        const QString text = MarkLabel(m, m.energy > 0);
        const double len = fm.horizontalAdvance(text), h = fm.height();
        const double bottom = std::max(panel.rect.top() + len + gap, tickBottom - tick - gap);
        const QRectF label(x - h / 2, bottom - len, h, len);
        const bool free = std::none_of(placed.begin(), placed.end(), [&](const QRectF& r) {
            return r.intersects(label.adjusted(-1, -1, 1, 1));
        });
        if (free) {
            placed.push_back(label);
            painter.save();
            painter.translate(x, bottom);
            painter.rotate(-90);
            painter.setPen(color.darker(140));
            painter.drawText(QRectF(0, -h / 2, len + 2, h), Qt::AlignLeft | Qt::AlignVCenter, text);
            painter.restore();
            spot = spot.united(label);
        }
        out.marks.push_back({spot, c.series, c.peak, free});
    }
    painter.restore();

    if (spectra.size() > 1) {
        std::vector<LegendEntry> legend;
        for (size_t k = 0; k < spectra.size(); ++k) {
            QString t = SeriesLabel(spectra, k);
            if (spectra[k].liveTime > 0)
                t += QString(" (%1 s)").arg(spectra[k].liveTime, 0, 'f', 0);
            legend.push_back({t, SeriesColor(static_cast<int>(k)), LegendEntry::Line});
        }
        canvas.DrawLegend(panel, legend);
    }
    return out;
}

}  // namespace quantora::plots
