// A lab database for the lab tests: spectrum files imported as measurements of one project, and
// the evaluated gamma lines of chosen nuclides loaded as a radiation library.
#pragma once

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "quantora/frame/IntKeyGen.h"
#include "quantora/lab/SpectrumImport.h"
#include "quantora/nuclides/GammaLineTable.h"
#include "quantora/nuclides/NuclideLibrary.h"
#include "tests/support/GammaLines.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/TestDatabase.h"

namespace quantora::test {

inline const std::string kData = QUANTORA_SHARED_DATA;

inline std::vector<std::string> SplitCsv(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, ',');) out.push_back(f);
    return out;
}

// Loads the evaluated gamma lines of `nuclides` (and nothing else) into the nuclide tables of `db`.
inline void LoadGammaLines(const TestDatabase& db, const std::set<std::string>& nuclides) {
    const ScratchDir dir;
    const std::string csv = dir / "lines.csv";
    WriteGammaLines(csv, nuclides);
    CountingKeyGen keys(1, db.alias());
    LoadGammaLineTable(db.alias(), csv, &keys, nullptr);
}

struct Lab {
    TestDatabase db{true};
    std::vector<int> spectrumIds;  // one per file, in order
    int spectrumId = -1;           // the first
    int libraryId = -1;            // of all the nuclides

    // `files` relative to the shared data folder.
    Lab(const std::vector<std::string>& files, const std::set<std::string>& nuclides) {
        db.Exec("INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (1, 'p')");
        SpectrumImportTarget target;
        target.projectId = 1;
        for (const std::string& f : files)
            spectrumIds.push_back(
                ImportSpectrumFile(db.name(), kData + "/" + f, target).spectrumIds.at(0));
        spectrumId = spectrumIds.at(0);
        LoadGammaLines(db, nuclides);
        libraryId = MakeNuclideLibrary(db.name(), "test",
                                       std::vector<AnsiString>(nuclides.begin(), nuclides.end()));
    }
    Lab(const std::string& file, const std::set<std::string>& nuclides)
        : Lab(std::vector<std::string>{file}, nuclides) {}
};

}  // namespace quantora::test
