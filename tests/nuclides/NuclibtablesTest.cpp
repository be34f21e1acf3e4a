// What the nuclide record classes add over the record framework: RADIATION's text key taken from
// a key generator only when none is set.
#include <gtest/gtest.h>

#include "quantora/nuclides/Nuclibtables.h"
#include "tests/support/TestDatabase.h"

TEST(NuclibtablesTest, RadiationTextKey) {
    quantora::test::TestDatabase db{true};
    quantora::CountingKeyGen gen{500};
    RADIATIONData r, given;
    r.E = given.E = 661.657;
    r.Insert(&gen, db.name(), nullptr);
    given.RADIATION_ID = "cs137";
    given.Insert(&gen, db.name(), nullptr);
    EXPECT_EQ(r.RADIATION_ID, "500");  // a generated key, as text
    EXPECT_EQ(gen.NextKey(), 501);     // none taken for the given key
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM RADIATION WHERE RADIATION_ID IN ('500', 'cs137')"),
              "2");
}
