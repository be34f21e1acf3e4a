// The list of measurements a lab browses: key, name, project, sample, source, setup, start and
// end dates and comment, by key.
#pragma once

#include <optional>

#include "quantora/dblayer/TQuery.h"

namespace quantora {

// Sets `q` (its database set) to select the measurements, of one project when given, with the
// columns MEASUREMENT_ID, NAME, PROJECT_ID, SAMPLE_ID, SOURCE_ID, MEAS_SETUP_ID, START_DATE,
// END_DATE and COMMENT; the caller opens it and reads the rows as it needs them.
void SelectMeasurements(TQuery& q, std::optional<int> projectId);

}  // namespace quantora
