// Shared utilities: object keys, project ancestors, measurement types, CSV export.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <tuple>

#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/DbUtils.h"
#include "quantora/frame/MeasTypeInfo.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::TestDatabase;

TEST(DbUtils, ObjectKeysProjectAncestorsAndMeasurementTypes) {
    long ids[3] = {0, 0, 0};  // sample, source, source list
    EXPECT_TRUE(SetSampleIDs(3, 17, &ids[0], &ids[1], &ids[2]));
    EXPECT_EQ(Format("%ld %ld %ld", ids[0], ids[1], ids[2]), "-1 17 -1");
    EXPECT_FALSE(SetSampleIDs(5, 17, &ids[0], &ids[1], &ids[2]));

    TestDatabase db(true);
    // 9 -> 5 -> 2, and a loop of 20 and 21.
    for (const char* p : {"2, NULL", "5, 2", "9, 5", "20, 21", "21, 20"})
        db.Exec(AnsiString("INSERT INTO PROJECT (PROJECT_ID, SUPERPROJECT_ID) VALUES (") + p + ")");
    AnsiString alias = db.alias();
    std::vector<int> up{99};
    GetSuperProjectIDsForProject(alias, &up, 9);
    EXPECT_EQ(up, (std::vector<int>{2, 5}));
    GetSuperProjectIDsForProject(alias, &up, 20);
    EXPECT_EQ(up.size(), 100u);  // the loop ends at the limit
    GetSuperProjectIDsForProject(alias, nullptr, 9);

    // The measurement's type from the types of its spectra (ordered by type), and the spectra.
    const std::tuple<std::vector<int>, int, const char*> cases[] = {{{1}, 1, "1 sp1,"},
                                                                    {{4, 3}, 4, "3 sp3,4 sp4,"},
                                                                    {{3}, 0, "3 sp3,"},
                                                                    {{2, 1}, 2, "1 sp1,2 sp2,"},
                                                                    {{1, 5}, 1, "1 sp1,5 sp5,"},
                                                                    {{3, 1}, 3, "1 sp1,3 sp3,"},
                                                                    {{}, 0, ""}};
    int meas = 0;
    for (const auto& [types, expected, spectra] : cases) {
        int id = ++meas * 10;
        for (int t : types)
            db.Exec(
                Format("INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID, SPECTRUMTYPE_ID, "
                       "NAME) VALUES (%d, %d, %d, 'sp%d')",
                       id++, meas, t, t));
        MeasTypeInfoData info;
        info.GetInfo(db.name(), meas, "m");
        EXPECT_EQ(info.MeasType, expected) << meas;
        EXPECT_EQ(info.MEASUREMENT_ID, types.empty() ? -1 : meas);
        AnsiString got;
        for (const auto& sp : info.Spectra)
            got += Format("%d %s,", sp.SPECTRUMTYPE_ID, sp.Name.c_str());
        EXPECT_EQ(got, spectra);
    }
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
