// A measurement's report as HTML or PDF.
#include "quantora/plots/Report.h"

#include <QImage>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>
#include <cmath>
#include <fstream>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/lab/ReportData.h"
#include "quantora/plots/LabPlotData.h"
#include "quantora/plots/PlotFile.h"
#include "quantora/plots/SpectrumPlot.h"

namespace quantora::plots {
namespace {

constexpr int kPictureWidth = 1200, kPictureHeight = 700;

std::string Date(TDateTime t) {
    if (!(t > 0)) return "-";
    return FormatIsoDateTime(t).substr(0, 19);
}

std::string Row(const char* label, const std::string& value) {
    return Format("<tr><th>%s</th><td>%s</td></tr>\n", label,
                  MarkupEscaped(value.empty() ? "-" : value).c_str());
}

std::string ExtensionOf(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    std::string e = dot == std::string::npos ? std::string() : path.substr(dot + 1);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

// The spectrum with its identified peaks named.
PlotDrawing SpectrumDrawing(const char* alias, const ReportData& d,
                            std::vector<SpectrumSeries>* keep) {
    SpectrumSeries s = LoadSpectrumSeries(alias, d.spectrumId, nullptr);
    // Only what the quantification identified is named, not every nuclide the evaluation
    // assigned.
    for (PeakMark& m : s.peaks) {
        m.nuclide.clear();
        for (const auto& [channel, nuclide] : d.identified)
            if (std::fabs(channel - m.channel) < 0.5) m.nuclide = nuclide;
    }
    keep->assign(1, std::move(s));
    SpectrumOptions opt;
    opt.logY = true;
    opt.energyAxis = static_cast<bool>((*keep)[0].energyOf);
    return [keep, opt](QPainter& p, const QRectF& r) { DrawSpectrum(p, r, *keep, opt); };
}

}  // namespace

std::string MeasurementReportHtml(const char* alias, int measurementId,
                                  const std::string& picture) {
    const ReportData d = LoadReportData(alias, measurementId);
    std::string h =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>" +
        MarkupEscaped("Gamma spectrometry report: " + d.measurement) +
        "</title>\n<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse;"
        "margin:1em 0}th,td{border:1px solid #999;padding:4px 8px;text-align:left}"
        "td.n{text-align:right}figure{margin:1em 0}svg,img{max-width:100%;height:auto}"
        "</style></head><body>\n<h1>" +
        MarkupEscaped("Gamma spectrometry report: " + d.measurement) +
        "</h1>\n<table class=\"facts\">\n";
    h += Row("Client", d.client) + Row("Order", d.order) + Row("Project", d.project) +
         Row("Sample", d.sample) +
         Row("Sample mass", d.sampleMass > 0 ? Format("%.4g kg", d.sampleMass) : "") +
         Row("Measurement", d.measurement) + Row("Measurement setup", d.setup) +
         Row("Measured by", d.measuredBy) + Row("Start of the count", Date(d.start)) +
         Row("Live time / real time", Format("%.0f s / %.0f s", d.liveTime, d.realTime)) +
         Row("Reference date of the activities", Date(d.reference)) +
         Row("Efficiency calibration",
             d.efficiency.empty() ? "" : d.efficiency + ", " + Date(d.efficiencyDate)) +
         Row("Energy calibration",
             d.energyCalibration.empty()
                 ? ""
                 : d.energyCalibration + ", " + Date(d.energyCalibrationDate)) +
         Row("Report made", Date(LocalNow()));
    h += "</table>\n<figure>\n" + picture +
         "\n<figcaption>Spectrum with the peaks of the identified "
         "nuclides</figcaption>\n</figure>\n";
    h += Format(
        "<table class=\"activities\">\n<tr><th>Nuclide</th><th>Activity (%s)</th>"
        "<th>Standard uncertainty (%s)</th><th>Decision threshold (%s)</th>"
        "<th>Detection limit (%s)</th><th>Lines</th><th>Result</th></tr>\n",
        d.unit.c_str(), d.unit.c_str(), d.unit.c_str(), d.unit.c_str());
    for (const ACTIVITYRESULTData& a : d.activities) {
        const std::string cmt = a.CMT;
        const std::string nuclide = cmt.substr(0, cmt.find(','));
        std::string result = a.DETECTED ? Format("%.4g &plusmn; %.2g", a.ACTIVITY, a.ACTIVITYUNC)
                             : a.DETECTIONLIMIT > 0
                                 ? Format("not detected, &lt; %.3g", a.DETECTIONLIMIT)
                                 : std::string("not detected");
        // The notes after the nuclide's name: cascade summing, the parent it is measured by.
        if (cmt.size() > nuclide.size() + 2)
            result += " (" + MarkupEscaped(cmt.substr(nuclide.size() + 2)) + ")";
        h += Format(
            "<tr><td>%s</td><td class=\"n\">%.4g</td><td class=\"n\">%.2g</td>"
            "<td class=\"n\">%.3g</td><td class=\"n\">%.3g</td><td class=\"n\">%d</td>"
            "<td>%s</td></tr>\n",
            MarkupEscaped(nuclide).c_str(), a.ACTIVITY, a.ACTIVITYUNC, a.DECISIONTHRESHOLD,
            a.DETECTIONLIMIT, a.LINES, result.c_str());
    }
    h +=
        "</table>\n<p>Uncertainties are standard uncertainties (k = 1). Decision thresholds and "
        "detection limits after ISO 11929. Activities at the reference date.</p>\n</body></html>\n";
    return h;
}

void WriteMeasurementReport(const char* alias, int measurementId, const std::string& path) {
    const std::string ext = ExtensionOf(path);
    if (ext != "html" && ext != "htm" && ext != "pdf")
        throw Exception("unknown report format of '" + path + "' (use .html or .pdf)");
    HeadlessGui gui;
    const ReportData d = LoadReportData(alias, measurementId);
    std::vector<SpectrumSeries> series;
    const PlotDrawing draw = SpectrumDrawing(alias, d, &series);
    if (ext == "pdf") {
        const QByteArray png = RenderPlot("png", kPictureWidth, kPictureHeight, draw);
        QTextDocument doc;
        doc.addResource(QTextDocument::ImageResource, QUrl("spectrum.png"),
                        QImage::fromData(png, "PNG"));
        doc.setHtml(QString::fromStdString(MeasurementReportHtml(
            alias, measurementId, "<img src=\"spectrum.png\" width=\"600\">")));
        QPdfWriter writer(QString::fromStdString(path));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setTitle(QString::fromStdString("Gamma spectrometry report: " + d.measurement));
        doc.print(&writer);
        std::ifstream check(path, std::ios::binary);
        if (!check) throw Exception("cannot write '" + path + "'");
        return;
    }
    const QByteArray svg = RenderPlot("svg", kPictureWidth, kPictureHeight, draw);
    std::string inline_ = svg.toStdString();
    // The XML declaration and doctype of the SVG file do not belong inside HTML.
    const size_t start = inline_.find("<svg");
    if (start != std::string::npos) inline_ = inline_.substr(start);
    const std::string html = MeasurementReportHtml(alias, measurementId, inline_);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << html;
    out.close();
    if (!out) throw Exception("cannot write '" + path + "'");
}

}  // namespace quantora::plots
