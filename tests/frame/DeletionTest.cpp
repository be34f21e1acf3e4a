// The deletion engine on the lab schema: reports, nulling, detail steps, problem lists.
#include <gtest/gtest.h>

#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/frame/Deletion.h"
#include "quantora/frame/DeletionInfo.h"
#include "tests/support/TestDatabase.h"

using quantora::test::TestDatabase;

namespace {

const ReferringTableInfo_t kMeasurementReferrers[] = {
    {Blocking, "PEAKEVAL", "NAME", nullptr},
    {NullOnDelete, "EFFMEASUREMENT", "EFFMEASUREMENT_ID", nullptr},
    {Detail, "SPECTRUM", "NAME", nullptr},
    {Blocking, nullptr, nullptr, nullptr},
};

int g_children_deleted = 0;
void DeleteChild(const AnsiString& db, int key) {
    ++g_children_deleted;
    DeleteRecord_IntKey(db, "SPECTRUM", key);
}

}  // namespace

TEST(Deletion, ReportsAreSortedBytewiseAndSetsAreEmptiedFirst) {
    TestDatabase db(true);
    db.Exec("INSERT INTO PEAKEVAL (PEAKEVAL_ID, MEASUREMENT_ID, NAME) VALUES (7, 1, 'first')");
    db.Exec("INSERT INTO PEAKEVAL (PEAKEVAL_ID, MEASUREMENT_ID, NAME) VALUES (12, 1, 'second')");
    db.Exec("INSERT INTO EFFMEASUREMENT (EFFMEASUREMENT_ID, MEASUREMENT_ID) VALUES (3, 1)");
    db.Exec("INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID, NAME) VALUES (5, 1, 's')");

    std::set<AnsiString> blocking{"stale"}, nulled{"stale"};
    CheckBeforeDeletion_IntKey(db.alias(), "MEASUREMENT", 1, kMeasurementReferrers, &blocking,
                               &nulled);
    using Set = std::set<AnsiString>;
    EXPECT_EQ(blocking, (Set{"PEAKEVAL ID=12 of 'second'", "PEAKEVAL ID=7 of 'first'"}));
    EXPECT_EQ(nulled, Set{"EFFMEASUREMENT ID=3 of '3'"});
    CheckBeforeDeletion_IntKey(db.alias(), "MEASUREMENT", 99, kMeasurementReferrers, &blocking,
                               nullptr);
    EXPECT_TRUE(blocking.empty());
    // Both sets null: no SQL at all (a broken descriptor would otherwise throw).
    const ReferringTableInfo_t broken[] = {{Blocking, "NO_SUCH_TABLE", "NAME", nullptr},
                                           {Blocking, "", nullptr, nullptr}};
    EXPECT_NO_THROW(
        CheckBeforeDeletion_IntKey(db.alias(), "MEASUREMENT", 1, broken, nullptr, nullptr));
    EXPECT_THROW(
        CheckBeforeDeletion_IntKey(db.alias(), "MEASUREMENT", 1, broken, &blocking, nullptr),
        EDatabaseError);

    // A descriptor with its own referring column.
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, SUPERPROJECT_ID, NAME) VALUES (4, 2, 'child')");
    const ReferringTableInfo_t projects[] = {{Blocking, "PROJECT", "NAME", "SUPERPROJECT_ID"},
                                             {Blocking, nullptr, nullptr, nullptr}};
    CheckBeforeDeletion_IntKey(db.alias(), "PROJECT", 2, projects, &blocking, nullptr);
    EXPECT_EQ(blocking, Set{"PROJECT ID=4 of 'child'"});
}

TEST(Deletion, CascadeDeletesDetailsNullsReferencesAndStopsAtAFailure) {
    TestDatabase db(true);
    db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME) VALUES (1, 'm')");
    db.Exec("INSERT INTO EFFMEASUREMENT (EFFMEASUREMENT_ID, MEASUREMENT_ID) VALUES (3, 1)");
    for (const char* id : {"5", "6"})
        db.Exec(AnsiString("INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID) VALUES (") + id +
                ", 1)");
    db.Exec("INSERT INTO MEAS_KEYWORD (MEASUREMENT_ID, KEYWORD_ID) VALUES (1, 1)");

    const quantora::DetailStep steps[] = {
        {"SELECT SPECTRUM_ID FROM SPECTRUM WHERE MEASUREMENT_ID=%d", DeleteChild},
        {"delete from MEAS_KEYWORD WHERE MEASUREMENT_ID=%d"},
    };
    quantora::DeletionRules rules{"MEASUREMENT", kMeasurementReferrers, steps};
    g_children_deleted = 0;
    quantora::DeleteWithDetails(rules, db.alias(), 1);
    EXPECT_EQ(g_children_deleted, 2);
    EXPECT_EQ(
        db.Rows("SELECT (SELECT COUNT(*) FROM SPECTRUM), (SELECT COUNT(*) FROM MEAS_KEYWORD), "
                "(SELECT COUNT(*) FROM MEASUREMENT), EFFMEASUREMENT_ID, MEASUREMENT_ID "
                "FROM EFFMEASUREMENT"),
        "0|0|0|3|NULL\n");

    // A failing step stops the cascade; what ran before stays done.
    db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME) VALUES (2, 'm2')");
    db.Exec("INSERT INTO MEAS_KEYWORD (MEASUREMENT_ID, KEYWORD_ID) VALUES (2, 1)");
    const quantora::DetailStep failing[] = {
        {"delete from MEAS_KEYWORD WHERE MEASUREMENT_ID=%d"},
        {"delete from NO_SUCH_TABLE WHERE MEASUREMENT_ID=%d"},
    };
    quantora::DeletionRules bad{"MEASUREMENT", kMeasurementReferrers, failing};
    EXPECT_THROW(quantora::DeleteWithDetails(bad, db.alias(), 2), EDatabaseError);
    EXPECT_EQ(
        db.Scalar("SELECT (SELECT COUNT(*) FROM MEAS_KEYWORD) || ':' || COUNT(*) FROM MEASUREMENT"),
        "0:1");
}

TEST(Deletion, OwnChecksAndOwnDeleteStatements) {
    TestDatabase db(true);
    db.Exec("INSERT INTO SOURCE (SOURCE_ID, NAME) VALUES (4, 'Eu-152')");
    db.Exec("INSERT INTO SOURCEISOMER (SOURCE_ID, ISOMER_ID) VALUES (4, 1)");
    db.Exec(
        "INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME, SOURCE_ID, MEASOBJTYPE_ID) VALUES "
        "(8, 'with source', 4, 3)");
    const quantora::CheckStep checks[] = {
        {"SELECT measurement_id, name FROM measurement WHERE source_id = %d",
         "MEASUREMENT ID=%d of '%s'", NullOnDelete}};
    const quantora::DetailStep details[] = {{"delete from sourceisomer where source_id = %d"}};
    const char* const deletes[] = {
        "UPDATE MEASUREMENT \r\n   SET \r\n       SOURCE_ID = NULL, \r\n       MEASOBJTYPE_ID = 1 "
        "\r\nWHERE \r\n   SOURCE_ID = %d",
        "delete from source where source_id = %d"};
    quantora::DeletionRules rules{"SOURCE", nullptr, details, checks, deletes};

    // Both sets null: the checks run no SQL either.
    const quantora::CheckStep broken[] = {
        {"SELECT X FROM NO_SUCH_TABLE WHERE K = %d", "%d", Blocking}};
    EXPECT_NO_THROW(quantora::CheckBeforeDeletion({"SOURCE", nullptr, {}, broken, {}}, db.alias(),
                                                  4, nullptr, nullptr));
    std::set<AnsiString> blocking{"stale"}, nulled;
    quantora::CheckBeforeDeletion(rules, db.alias(), 4, &blocking, &nulled);
    EXPECT_TRUE(blocking.empty());
    EXPECT_EQ(nulled, std::set<AnsiString>{"MEASUREMENT ID=8 of 'with source'"});
    quantora::DeleteWithDetails(rules, db.alias(), 4);
    EXPECT_EQ(db.Rows("SELECT (SELECT COUNT(*) FROM SOURCE), (SELECT COUNT(*) FROM SOURCEISOMER), "
                      "SOURCE_ID, MEASOBJTYPE_ID FROM MEASUREMENT"),
              "0|0|NULL|1\n");
}

TEST(Deletion, ProblemLists) {
    DbObjectDeletionInfo info;
    EXPECT_TRUE(info.DeletionCheck() && info.Delete(false));  // no problems: no dialog
    info.Problems = {{Solved, "a"}, {Resolvable, "b"}};
    EXPECT_TRUE(info.DeletionCheck());
    info.Problems.push_back({NotResolvable, "c"});
    EXPECT_FALSE(info.DeletionCheck());
    EXPECT_FALSE(info.Delete(true));  // headless: nothing confirmed
}
