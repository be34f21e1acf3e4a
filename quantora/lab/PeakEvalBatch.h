// Peak evaluations of many stored spectra at once, on several threads: the spectra of a project
// or of some measurements that have no evaluation yet, so that a rerun goes on where an
// interrupted one stopped.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "quantora/lab/PeakEvalRun.h"

namespace quantora {

// The spectra of `spectra` without an applicable peak evaluation, in the given order.
std::vector<int> SpectraWithoutPeakEval(const char* dbName, const std::vector<int>& spectra);

struct PeakEvalBatchItem {
    int spectrumId = -1;
    bool evaluated = false;
    size_t peaks = 0;   // peaks stored
    std::string error;  // why it was not evaluated
};

// Evaluates and stores each spectrum (EvaluateStoredSpectrum) on `jobs` threads; a failure
// stores nothing for that spectrum and the others go on. `done` is called for each spectrum,
// one call at a time. Give options.settingId: the workers must not race to make the default.
void EvaluateSpectra(const char* dbName, const std::vector<int>& spectra,
                     const PeakEvalRunOptions& options, int jobs,
                     const std::function<void(const PeakEvalBatchItem&)>& done);

}  // namespace quantora
