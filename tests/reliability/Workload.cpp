// The reliability tests' write workload.
#include "tests/reliability/Workload.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/records/Meastables.h"
#include "quantora/services/Blobutil.h"
#include "tests/support/TestDatabase.h"

namespace quantora::reliability {
namespace {

constexpr int kSpectraPerUnit = 2, kBlobChunkSize = 4096;

// Channel counts of the real spectra of the shared test data.
const std::vector<std::vector<unsigned long>>& RealSpectra() {
    static const auto spectra = [] {
        const auto dir = std::filesystem::path(QUANTORA_SHARED_DATA) / "spectra" / "counts";
        std::vector<std::filesystem::path> files(std::filesystem::directory_iterator(dir), {});
        std::sort(files.begin(), files.end());
        std::vector<std::vector<unsigned long>> all;
        for (const auto& f : files) {
            std::vector<unsigned long> counts;
            std::ifstream in(f);
            for (unsigned long v; in >> v;) counts.push_back(v);
            if (!counts.empty() && counts.size() <= 16384) all.push_back(std::move(counts));
        }
        if (all.empty()) throw Exception("no spectra in " + dir.string());
        return all;
    }();
    return spectra;
}

// `n` bytes depending on `seed`, every byte value included.
AnsiString PatternBytes(size_t n, unsigned seed) {
    AnsiString s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 256 + seed * 7) & 0xFF);
    return s;
}

void WriteUnit(const AnsiString& alias, int writer, int unit) {
    Transaction tr(alias);
    CountingKeyGen keys((writer + 1) * 1000000 + unit * 32, alias);
    MEASUREMENTData m;
    m.NAME = Format("rel-w%d-u%d", writer, unit);
    m.MEASOBJTYPE_ID = 1;
    m.STARTDATE = 45000.0 + unit / 1024.0;
    m.Insert(&keys, alias.c_str(), nullptr);
    const auto& all = RealSpectra();
    for (int s = 0; s < kSpectraPerUnit; ++s) {
        std::vector<unsigned long> counts = all[(writer * 5 + unit * 2 + s) % all.size()];
        counts[(unit * 31 + s) % counts.size()] += 1 + writer * 100 + unit;
        SPECTRUMData sp;
        sp.MEASUREMENT_ID = m.MEASUREMENT_ID;
        sp.SPECTRUMTYPE_ID = 1 + s;
        sp.NAME = Format("%s/%d", m.NAME.c_str(), s);
        sp.LIVETIME = 100.0 + unit;
        sp.CompressCounts(&counts, s == 1);
        sp.Insert(&keys, alias.c_str(), nullptr);
    }
    const AnsiString blob = PatternBytes(6000 + (writer * 7919 + unit * 104729) % 16000,
                                         static_cast<unsigned>(writer * 1000 + unit));
    StoreBlobChunks(blob, "MEASUREMENT", m.MEASUREMENT_ID, 0, 1, nullptr, &keys, 1, kBlobChunkSize);
    tr.Commit();
}

}  // namespace

void RunWriter(const AnsiString& alias, int writer, int units) {
    for (int unit = 0; unit < units; ++unit) WriteUnit(alias, writer, unit);
}

AnsiString IntegrityCheck(const AnsiString& alias) {
    TQuery q;  // a damaged file's first line names a fault
    return test::Open(q, alias, "PRAGMA integrity_check").Fields()[0]->AsString();
}

}  // namespace quantora::reliability
