// Evaluating many stored spectra on worker threads.
#include "quantora/lab/PeakEvalBatch.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "quantora/lab/StoredSpectra.h"

namespace quantora {

std::vector<int> SpectraWithoutPeakEval(const char* dbName, const std::vector<int>& spectra) {
    std::vector<int> todo;
    for (int id : spectra)
        if (ApplicablePeakEval(dbName, id) < 0) todo.push_back(id);
    return todo;
}

void EvaluateSpectra(const char* dbName, const std::vector<int>& spectra,
                     const PeakEvalRunOptions& options, int jobs,
                     const std::function<void(const PeakEvalBatchItem&)>& done) {
    std::mutex lock;
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next++) < spectra.size();) {
            PeakEvalBatchItem item;
            item.spectrumId = spectra[i];
            try {
                item.peaks =
                    EvaluateStoredSpectrum(dbName, spectra[i], options).result.peaks.size();
                item.evaluated = true;
            } catch (const std::exception& e) {
                item.error = e.what();
            }
            std::lock_guard<std::mutex> g(lock);
            done(item);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < std::max(jobs, 1); ++t) threads.emplace_back(work);
    for (std::thread& t : threads) t.join();
}

}  // namespace quantora
