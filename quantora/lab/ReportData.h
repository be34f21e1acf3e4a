// What a client's report of a measurement says, read from the lab database: sample, client and
// order, measurement and setup, who measured and when, the newest quantification of its spectrum
// with the calibrations it used, and which peaks it assigned to which nuclides.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/records/Resulttables.h"

namespace quantora {

struct ReportData {
    int measurementId = -1, spectrumId = -1;
    std::string measurement, setup, sample, project, order, client, measuredBy;
    double sampleMass = 0;  // kg, 0 none
    TDateTime start = 0;
    double liveTime = 0, realTime = 0;
    std::vector<ACTIVITYRESULTData> activities;  // the newest quantification, by nuclide
    TDateTime reference = 0;
    std::string unit;
    std::string efficiency, energyCalibration;  // names, with their dates
    TDateTime efficiencyDate = 0, energyCalibrationDate = 0;
    std::vector<std::pair<double, std::string>> identified;  // peak channel, "Cs-137"
};

// Throws when the measurement does not exist, has no spectrum, or its spectrum has not been
// quantified.
ReportData LoadReportData(const char* dbName, int measurementId);

}  // namespace quantora
