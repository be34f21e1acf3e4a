// The report a client receives for a measurement: sample, client and order, measurement and
// setup, the spectrum with its identified peaks, the activities with their uncertainties,
// decision thresholds and detection limits, the calibrations used with their dates, the
// reference date, who measured and when the report was made. HTML (self-contained: the picture
// inline as SVG) or PDF, by the file's extension.
#pragma once

#include <string>

namespace quantora::plots {

// Writes the report of measurement `measurementId` to `path` (".html" or ".pdf"). Throws an
// Exception for another extension, a measurement that has not been quantified, or a file that
// cannot be written.
void WriteMeasurementReport(const char* alias, int measurementId, const std::string& path);

// The report's HTML; `picture` is put where the spectrum goes (an inline SVG element, or an
// <img> of a resource).
std::string MeasurementReportHtml(const char* alias, int measurementId, const std::string& picture);

}  // namespace quantora::plots
