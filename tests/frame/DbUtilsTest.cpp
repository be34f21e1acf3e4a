// Shared utilities: object keys, project ancestors, measurement types, CSV export.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/DbUtils.h"
#include "quantora/frame/MeasTypeInfo.h"
#include "tests/support/TestDatabase.h"

using quantora::test::TestDatabase;

TEST(DbUtils, MillisecondsAndObjectKeys) {
    EXPECT_EQ(Millisecs2DateTime(86400000.0), 1.0);
    long sample = 0, source = 0, list = 0;
    EXPECT_TRUE(SetSampleIDs(3, 17, &sample, &source, &list));
    EXPECT_EQ(sample, -1);
    EXPECT_EQ(source, 17);
    EXPECT_EQ(list, -1);
    EXPECT_TRUE(SetSampleIDs(1, 17, &sample, &source, nullptr));
    EXPECT_EQ(source, -1);
    EXPECT_FALSE(SetSampleIDs(5, 17, &sample, &source, &list));
    EXPECT_EQ(list, -1);
}

TEST(DbUtils, ProjectAncestorsAndMeasurementTypes) {
    TestDatabase db(true);
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, SUPERPROJECT_ID) VALUES (2, NULL)");
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, SUPERPROJECT_ID) VALUES (5, 2)");
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, SUPERPROJECT_ID) VALUES (9, 5)");
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, SUPERPROJECT_ID) VALUES (20, 21)");
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, SUPERPROJECT_ID) VALUES (21, 20)");  // a loop
    AnsiString alias = db.alias();
    std::vector<int> ids{99};
    GetSuperProjectIDsForProject(alias, &ids, 9);
    EXPECT_EQ(ids, (std::vector<int>{2, 5}));
    GetSuperProjectIDsForProject(alias, &ids, 2);
    EXPECT_TRUE(ids.empty());
    GetSuperProjectIDsForProject(alias, &ids, 20);
    EXPECT_EQ(ids.size(), 100u);  // the loop ends at the limit
    GetSuperProjectIDsForProject(alias, nullptr, 9);

    auto type_of = [&](int meas, std::initializer_list<int> types) {
        int id = meas * 10;
        for (int t : types)
            db.Exec(
                quantora::Format("INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID, "
                                 "SPECTRUMTYPE_ID, NAME) VALUES (%d, %d, %d, 'sp%d')",
                                 id++, meas, t, t));
        MeasTypeInfoData info;
        info.GetInfo(db.name(), meas, "m");
        return info;
    };
    EXPECT_EQ(type_of(1, {1}).MeasType, 1);
    EXPECT_EQ(type_of(2, {4, 3}).MeasType, 4);  // ordered by type
    EXPECT_EQ(type_of(3, {3}).MeasType, 0);
    EXPECT_EQ(type_of(4, {2, 1}).MeasType, 2);
    EXPECT_EQ(type_of(5, {1, 5}).MeasType, 1);
    MeasTypeInfoData info = type_of(6, {3, 1});
    EXPECT_EQ(info.MeasType, 3);
    EXPECT_EQ(info.MEASUREMENT_ID, 6);
    ASSERT_EQ(info.Spectra.size(), 2u);
    EXPECT_EQ(info.Spectra[0].SPECTRUMTYPE_ID, 1);
    EXPECT_EQ(info.Spectra[0].Name, "sp1");
    MeasTypeInfoData none = type_of(7, {});
    EXPECT_EQ(none.MEASUREMENT_ID, -1);
    EXPECT_EQ(none.Name, "");
}

TEST(DbUtils, CsvExportQuotesStringsOnlyAndEndsLinesWithCrLf) {
    TestDatabase db;
    db.Exec("CREATE TABLE T (ID INTEGER, NAME VARCHAR(20), CMT TEXT, V DOUBLE)");
    db.Exec("INSERT INTO T VALUES (7, 'abc', 'memo', 0.5)");
    db.Exec("INSERT INTO T VALUES (8, NULL, NULL, NULL)");
    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetSQL("SELECT * FROM T ORDER BY ID");
    q.Open();
    q.Next();  // the export starts from the first row all the same
    std::string path = ::testing::TempDir() + "quantora_export.csv";
    SaveDatasetAsCSV(path.c_str(), &q);
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "\"SERIAL #\",\"ID\",\"NAME\",\"CMT\",\"V\"\r\n"
              "1,7,\"abc\",memo,0.5\r\n"
              "2,8,\"\",,\r\n");
    SaveDatasetAsCSV("/no/such/dir/x.csv", &q);  // silently nothing
}
