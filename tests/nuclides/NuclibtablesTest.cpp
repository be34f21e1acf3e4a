// What the nuclide record classes add over the record framework: RADIATION's text key taken from
// a key generator only when none is set, and the Tag that is not a column.
#include <gtest/gtest.h>

#include "quantora/dblayer/TQuery.h"
#include "quantora/nuclides/Nuclibtables.h"
#include "tests/support/TestDatabase.h"

TEST(NuclibtablesTest, RadiationTextKeyAndIsomerTag) {
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

    ISOMERData i;
    i.Tag = 7;
    db.Exec("INSERT INTO ISOMER (ISOMER_ID, SYMBOL) VALUES (3, 'Am-241')");
    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetSQL("SELECT * FROM ISOMER");
    q.Open();
    ASSERT_TRUE(i.Read(&q));
    EXPECT_EQ(i.Tag, 7);  // not a column: Read leaves it alone, Reset clears it
    i.Reset();
    EXPECT_EQ(i.Tag, 0);
}
