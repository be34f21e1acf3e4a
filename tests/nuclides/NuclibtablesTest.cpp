// ISOMER, DECAY and RADIATION records through the database: key rules, optional columns, reads.
#include <gtest/gtest.h>

#include "quantora/dblayer/TQuery.h"
#include "quantora/nuclides/Nuclibtables.h"
#include "tests/support/TestDatabase.h"

namespace {

// Counts the keys it hands out, so a test can tell whether it was asked.
struct AskedGen : quantora::CountingKeyGen {
    using CountingKeyGen::CountingKeyGen;
    int NextKey() override { return ++asked, CountingKeyGen::NextKey(); }
    int asked = 0;
};

struct NuclibtablesTest : ::testing::Test {
    quantora::test::TestDatabase db{true};
    AskedGen gen{500};
    TQuery q;
    TQuery* Select(const char* sql) {
        q.Close();
        q.SetDatabaseName(db.alias());
        q.SetSQL(sql);
        q.Open();
        return &q;
    }
};

}  // namespace

TEST_F(NuclibtablesTest, InsertAppliesTheKeyRuleAndLeavesUnsetColumnsNull) {
    ISOMERData a, b;
    a.HALFLIFE = 0.0;  // no half-life; b keeps -1.0
    a.SYMBOL = b.SYMBOL = "Co-60";
    b.ISOMERNUM = 1;
    a.Insert(&gen, db.name(), nullptr);
    b.Insert(&gen, db.name(), nullptr);
    EXPECT_EQ(a.ISOMER_ID, 500);
    EXPECT_EQ(b.ISOMER_ID, 501);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM ISOMER WHERE HALFLIFE IS NULL AND NUCLEVEL_ID IS "
                        "NULL AND CMT IS NULL AND EMPLOYEE_ID = -1"),
              "2");

    DECAYData d;
    d.DECAY_ID = 17;
    d.DECAYBRANCHING = 0.25;
    d.Insert(&gen, db.name(), nullptr);
    EXPECT_EQ(gen.asked, 2);  // a key above 0 is written as it stands
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM DECAY WHERE DECAY_ID = 17 AND DECAYBRANCHINGUNC IS "
                        "NULL AND TRANSITIONTYPE_ID = -1"),
              "1");

    RADIATIONData r;
    r.E = 661.657;
    r.INTENSITY = 0.0;
    r.Insert(&gen, db.name(), nullptr);
    EXPECT_EQ(r.RADIATION_ID, "502");  // a generated key, as text
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM RADIATION WHERE RADIATION_ID = '502' AND INTENSITY "
                        "IS NULL AND DECAY_ID IS NULL AND EMPLOYEE_ID IS NULL"),
              "1");
}

TEST_F(NuclibtablesTest, ReadCopiesPresentNonNullColumnsOnly) {
    ISOMERData i;
    i.Tag = 7;
    db.Exec("INSERT INTO ISOMER (ISOMER_ID, SYMBOL, HALFLIFE) VALUES (3, 'Am-241', 1.36e10)");
    ASSERT_TRUE(i.Read(Select("SELECT * FROM ISOMER")));
    EXPECT_EQ(i.SYMBOL, "Am-241");
    EXPECT_DOUBLE_EQ(i.HALFLIFE, 1.36e10);
    EXPECT_EQ(i.HALFLIFEUNC, -1.0);
    EXPECT_EQ(i.Tag, 7);  // not a column: Read leaves it alone, Reset clears it
    i.Reset();
    EXPECT_EQ(i.Tag, 0);
}
