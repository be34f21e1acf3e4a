// RadiationLibrary on small hand-made libraries: when Load reloads, the three
// search phases and their edges, lines without decay or isomer, bad arguments. The intervals
// themselves are checked against a brute-force scan in RealLibraryTest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/frame/UiHooks.h"
#include "quantora/nuclides/Radlib.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using Ids = std::vector<AnsiString>;

namespace {

struct RadlibTest : ::testing::Test {
    quantora::test::TestDatabase db{true};
    RadiationLibrary lib;
    Ids shown;

    void SetUp() override {
        quantora::InstallUiHooks({{}, [this](const AnsiString& t) { shown.push_back(t); }, {}});
        Library(1, 10, 100);
    }
    void TearDown() override { quantora::InstallUiHooks({}); }

    // Library `id` holding decay `decay` (created with its isomer when `isomer` > 0).
    void Library(int id, int decay, int isomer) {
        db.Exec(Format("INSERT INTO RADIATIONLIBRARY VALUES (%d, 'lib%d')", id, id));
        if (isomer > 0) {
            db.Exec(Format("INSERT INTO ISOMER (ISOMER_ID, SYMBOL) VALUES (%d, 'X')", isomer));
            db.Exec(
                Format("INSERT INTO DECAY (DECAY_ID, ISOMER_ID) VALUES (%d, %d)", decay, isomer));
        }
        Link(id, decay);
    }
    void Link(int id, int decay) {
        db.Exec(
            Format("INSERT INTO RADLIB_TRANSFORM (RADIATIONLIBRARY_ID, DECAY_ID) VALUES (%d, "
                   "%d)",
                   id, decay));
    }
    // Values are SQL texts, so that NULL can be given.
    void Line(const char* id, const char* e, const char* eunc, int decay = 10,
              const char* intensity = "50", const char* intensityUnc = "1") {
        db.Exec(
            Format("INSERT INTO RADIATION (RADIATION_ID, DECAY_ID, E, EUNC, INTENSITY, "
                   "INTENSITYUNC) VALUES ('%s', %d, %s, %s, %s, %s)",
                   id, decay, e, eunc, intensity, intensityUnc));
    }
    Ids Match(double energy, double unc) {
        Ids out;
        lib.GetMatchingRadiations(energy, unc, out);
        return out;
    }
};

}  // namespace

TEST_F(RadlibTest, LoadReloadsOnlyWhenIdsTheirOrderOrTheAliasChange) {
    Library(3, 30, 300);
    lib.Load(db.alias(), {3, 1});
    EXPECT_EQ(lib.LibraryNames(), "lib1,lib3");
    Line("b", "200", "0.1", 30);
    // A failed load forgets the alias, so that the same ids load in full afterwards.
    EXPECT_THROW(lib.Load("no such alias", {3, 1}), Exception);
    EXPECT_TRUE(lib.DatabaseAlias().empty());
    lib.Load(db.alias(), {3, 1});
    EXPECT_NE(lib.GetRadiationData("b"), nullptr);
}

TEST_F(RadlibTest, MatchingAppendsEachLineOnceInPhaseOrder) {
    // Factor 4; the query 9 +- 0.25 is [8, 10]. Phase 1 by lower bound, phase 2 (ending inside)
    // by descending, phase 3 (enclosing) by ascending upper bound.
    Line("inside", "9.2", "0.1");       // [8.8, 9.6]
    Line("atlower", "10", "0.5");       // [8, 12]: begins exactly at the query's lower end
    Line("endsinside", "7.5", "0.3");   // [6.3, 8.7]
    Line("endsinside2", "7.0", "0.6");  // [4.6, 9.4]
    Line("encloses", "9.5", "1");       // [5.5, 13.5]
    Line("encloses2", "9.0", "0.6");    // [6.6, 11.4]
    Line("far", "20", "0.1");
    Library(2, 10, 0);  // the same decay in a second library: its lines come back twice
    lib.Load(db.alias(), {1, 2});
    EXPECT_EQ(lib.RadiationsByDecay().size(), 14u);

    Ids out{"kept"};
    lib.GetMatchingRadiations(9.0, 0.25, out);
    EXPECT_EQ(out, (Ids{"kept", "atlower", "inside", "endsinside2", "endsinside", "encloses2",
                        "encloses"}));

    // Below a factor of 1 the acceptance test refuses some overlapping lines: "far" becomes
    // [19.95, 20.05]; 20.53 +- 1 meets it but ((20 - 20.53) / 0.5)^2 > 0.05^2 + 1.
    lib.ToleranceFactor = 0.5;
    lib.GenerateBounds();
    EXPECT_TRUE(Match(20.53, 1.0).empty());
    EXPECT_EQ(Match(20.45, 1.0), Ids{"far"});
}

TEST_F(RadlibTest, FactorIsReplacedOnlyWhenBoundsAreGenerated) {
    Line("a", "100", "0.5");
    lib.ToleranceFactor = -1;
    lib.Load(db.alias(), {1});
    EXPECT_EQ(lib.ToleranceFactor, 4.0);

    lib.ToleranceFactor = 0.0;  // refused rather than divided by
    EXPECT_THROW(Match(100, 1), Exception);
    lib.GenerateBounds();
    EXPECT_THROW(Match(NAN, 1), Exception);
    EXPECT_THROW(Match(100, -0.5), Exception);
}

TEST_F(RadlibTest, LinesWithoutDecayOrIsomerAreMatchedAndReported) {
    Line("good", "500", "0.1");
    Link(1, 20);                      // decay 20 does not exist
    Line("nodecay", "510", "3", 20);  // [498, 522], wider than any line with a decay
    db.Exec("INSERT INTO DECAY (DECAY_ID, ISOMER_ID) VALUES (30, 999)");
    Link(1, 30);
    Line("noisomer", "520", "0.2", 30);
    lib.Load(db.alias(), {1});

    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (Ids{"RadiationLibrary::Load: !D", "RadiationLibrary::Load: !I"}));
    ASSERT_EQ(lib.RadiationsByIsomer().size(), 1u);
    EXPECT_EQ(lib.GetIsomerData(lib.GetDecayData(10)->ISOMER_ID)->ISOMER_ID, 100);
    EXPECT_DOUBLE_EQ(lib.LargestLineUncertainty(), 0.1);
    EXPECT_EQ(Match(505, 0.01), Ids{"nodecay"});
    EXPECT_EQ(Match(520, 0.1), (Ids{"noisomer", "nodecay"}));
}
