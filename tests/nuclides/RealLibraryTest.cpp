// The radiation library loaded from the evaluated gamma-line table: every usable row is loaded,
// and matching agrees with a brute-force scan over every loaded line (qdb's match test finds
// reference lines by name).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <random>

#include "quantora/nuclides/GammaLineTable.h"
#include "quantora/nuclides/Radlib.h"
#include "tests/support/TestDatabase.h"

namespace {

const std::string kTable = std::string(QUANTORA_SHARED_DATA) + "/nuclides/gamma_lines.csv";

struct RealLibraryTest : ::testing::Test {
    static void SetUpTestSuite() {
        db = std::make_unique<quantora::test::TestDatabase>(true);
        quantora::CountingKeyGen keys(1);
        load = quantora::LoadGammaLineTable(db->alias(), kTable, &keys, nullptr);
    }
    static void TearDownTestSuite() { db.reset(); }
    void SetUp() override { lib.Load(db->alias(), {load.libraryId}); }

    // Every loaded line checked with the library's rule, from its single-precision values.
    std::vector<AnsiString> BruteForce(double energy, double unc) {
        if (lines.empty())
            for (const RADIATIONData& r : lib.Radiations()) lines.push_back({r.E, r.EUNC, &r});
        const double f = lib.ToleranceFactor, lower = energy - f * unc, upper = energy + f * unc;
        std::vector<AnsiString> out;
        for (const Line& l : lines) {
            const double h = f * l.eunc, d = (static_cast<float>(l.e) - energy) / f;
            const double hf = static_cast<float>(h);
            if (l.e - h <= upper && l.e + h >= lower && d * d <= hf * hf + unc * unc)
                out.push_back(l.r->RADIATION_ID);
        }
        return out;  // in id order, as the set holds them
    }

    struct Line {
        double e, eunc;
        const RADIATIONData* r;
    };
    std::vector<Line> lines;
    static inline std::unique_ptr<quantora::test::TestDatabase> db;
    static inline quantora::GammaLineLoad load;
    RadiationLibrary lib;
};

}  // namespace

TEST_F(RealLibraryTest, EveryUsableRowIsStoredAndLoaded) {
    std::ifstream in(kTable);
    std::string text;
    int rows = -1;  // the header
    while (std::getline(in, text)) rows += !text.empty();
    EXPECT_EQ(load.lines + load.withoutEnergy, rows);
    EXPECT_EQ(lib.Radiations().size(),
              std::stoul(db->Scalar("SELECT COUNT(*) FROM RADIATION WHERE E > 0 AND EUNC > "
                                    "0 AND INTENSITY > 0 AND INTENSITYUNC > 0")));
}

TEST_F(RealLibraryTest, MatchingAgreesWithABruteForceScan) {
    std::mt19937_64 rng(20240917);
    std::uniform_real_distribution<double> energy(0.0, 3500.0), unit(0.0, 1.0);
    const std::vector<RadiationBound> bounds = lib.Bounds().ByLower();
    std::uniform_int_distribution<size_t> pick(0, bounds.size() - 1);
    for (double f : {4.0, 1.0, 0.6, 2.5}) {
        lib.ToleranceFactor = f;
        lib.GenerateBounds();
        for (int i = 0; i < (f == 4.0 ? 3000 : 800) && !HasFailure(); ++i) {
            // Uncertainties from none over typical fits to very wide ones; energies at random,
            // right at a line, or exactly at a line's lower end (where phase 1 meets 2 and 3).
            const double u = unit(rng);
            double unc = i % 7 == 0 ? 0.0 : i % 3 == 0 ? 3.0 * u * u * u : 0.05 * u;
            double e = i % 4 == 0 ? bounds[pick(rng)].Energy : energy(rng);
            if (i % 4 == 1) e = bounds[pick(rng)].LowerBound, unc = 0.0;
            std::vector<AnsiString> got;
            lib.GetMatchingRadiations(e, unc, got);
            std::sort(got.begin(), got.end());
            EXPECT_EQ(got, BruteForce(e, unc)) << "factor " << f << ", " << e << " +- " << unc;
        }
    }
}
