// The gamma-line table loader on small files: what it writes, the CSV forms it copes with, and
// bad files that must fail naming the line with nothing left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/nuclides/CsvReader.h"
#include "quantora/nuclides/GammaLineTable.h"
#include "tests/support/Raised.h"
#include "tests/support/TestDatabase.h"

namespace {

const std::string kHeader =
    "nuclide,isomer_state,half_life_s,half_life_unc_s,decay_mode,branching,energy_keV,"
    "energy_unc_keV,intensity_percent,intensity_unc_percent,source,level_from_keV,level_to_keV,"
    "multipolarity\n";

struct GammaLineTableTest : ::testing::Test {
    quantora::test::TestDatabase db{true};
    std::string file = (std::filesystem::temp_directory_path() / (db.alias() + "_lines.csv"));
    ~GammaLineTableTest() override { std::filesystem::remove(file); }

    quantora::GammaLineLoad Load(const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
        quantora::CountingKeyGen keys(1);
        return quantora::LoadGammaLineTable(db.alias(), file, &keys, nullptr);
    }
    // What the load throws.
    std::string Failure(const std::string& text) {
        return quantora::test::Raised([&] { Load(text); }).Message;
    }
    // Rows in the tables a load writes.
    std::string Rows() {
        return db.Scalar(
            "SELECT (SELECT COUNT(*) FROM ISOMER) + (SELECT COUNT(*) FROM DECAY) + (SELECT "
            "COUNT(*) "
            "FROM RADIATION) + (SELECT COUNT(*) FROM RADIATIONLIBRARY) + (SELECT COUNT(*) FROM "
            "RADLIB_TRANSFORM)");
    }
};

}  // namespace

TEST_F(GammaLineTableTest, WritesIsomersDecaysLinesAndOneLibrary) {
    quantora::GammaLineLoad r =
        Load("\xEF\xBB\xBF" + kHeader +
             "Co-60,0,1.66e8,1.4e4,B-,1,1173.228,0.003,99.85,0.03,co60,2505.7,1332.5,E2\r\n"
             "Co-60,0,1.66e8,1.4e4,B-,1,1332.492,0.004,99.98,0.0006,co60,1332.5,0,\"E2\"\r\n"
             "Co-60,1,628.0,0.6,B-,0.0025,1332.492,0.004,0.25,0.03,co60m,,,\r\n"
             "\r\n"
             "Co-60,1,628.0,0.6,B-,0.0025,826.1,,0.0076,0.0008,co60m,,,\r\n"
             "Ar-45,0,21.48,0.15,B-,1,1020.04,0.05,34,6.05,ar45,1020.03,0,\"D,E2\"\r\n"
             "Ar-45,0,21.48,0.15,B-,1,1081.21,0.19,,,ar45,,,\r\n"
             "Ar-45,0,21.48,0.15,B-,1,,,,,ar45,,,\r\n");
    EXPECT_EQ(std::vector<int>({r.isomers, r.decays, r.lines, r.unmatchable, r.withoutEnergy}),
              std::vector<int>({3, 3, 6, 2, 1}));
    EXPECT_EQ(db.Count("RADIATION WHERE EUNC IS NULL AND E = 826.1"), 1);
    EXPECT_EQ(db.Count("ISOMER WHERE SYMBOL = 'Co-60' AND ISOMERNUM = 1 AND HALFLIFE = 628"), 1);
    EXPECT_EQ(db.Scalar("SELECT CMT FROM RADIATION WHERE E = 1020.04"),
              "level 1020.03 -> 0 keV, D,E2");
    EXPECT_EQ(db.Scalar(quantora::Format("SELECT NAME FROM RADIATIONLIBRARY WHERE "
                                         "RADIATIONLIBRARY_ID = %d",
                                         r.libraryId)),
              std::filesystem::path(file).stem().string());
    EXPECT_EQ(db.Count("DECAY WHERE TRANSITIONTYPE_ID = 1"), 3);  // all three beta minus
    const std::pair<const char*, int> modes[] = {{"B-", 1}, {"EC+B+", 2}, {"EC", 2}, {"B+", 2},
                                                 {"A", 3},  {"IT", 4},    {"SF", -1}};
    for (const auto& [mode, type] : modes)
        EXPECT_EQ(quantora::TransitionTypeOfDecayMode(mode), type) << mode;
}

TEST_F(GammaLineTableTest, BadFilesFailNamingTheLineAndLeaveNothing) {
    const std::string row = "Cs-137,0,9.49e8,2.8e6,B-,1,661.657,0.003,85.1,0.2,cs,,,\n";
    const std::pair<std::string, std::string> cases[] = {
        {"nuclide,isomer_state,half_life_s\nCs-137,0,1\n",
         " line 1: the column 'half_life_unc_s' is missing"},
        {kHeader + row + "Cs-137,0,9.49e8,2.8e6,B-,1,66x,0.003,85.1,0.2,cs,,,\n",
         " line 3: energy_keV is not a number: '66x'"},
        {kHeader + row + row + "Cs-137,0,9.49e8,2.8e6,B-,1,32.1,-0.1,85.1,0.2,cs,,,\n",
         " line 4: energy_unc_keV is negative: '-0.1'"},
        {kHeader + row + "Ba-137,0,9.49e8,2.8e6,B-,1,283.5,0.1,1,0.1,cs,,,\n",
         " line 3: the data set 'cs' already belongs to Cs-137 state 0 (B-) on line 2"},
        {kHeader + row + "Cs-137,0,9.49e8,2.8e6,B-,1,283.5,0.1\n",
         " line 3: 8 fields where the header has 14"},
        {kHeader + row + "Cs-137,0,9.49e8,2.8e6,B-,1,283.5,0.1,1,0.1,cs,,,\"M1\n",
         " line 3: a quoted field is not closed"},
        {"", ": the file is empty"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(Failure(text), file + expected);
        EXPECT_EQ(Rows(), "0") << expected;
    }

    // Keys: 1 library, 2 isomer, 3 decay, 4 the line the database already holds.
    db.Exec("INSERT INTO RADIATION (RADIATION_ID, E) VALUES ('4', 1.0)");
    EXPECT_EQ(Failure(kHeader + row).rfind(file + " line 2: ", 0), 0u);
    EXPECT_EQ(Rows(), "1");
}

// Quoted fields: doubled quotes, separators inside, a quote closing the file without a line end;
// text after a closing quote is refused.
TEST(CsvReaderTest, QuotedFieldsToTheEndOfTheFile) {
    const struct {
        const char* text;
        std::vector<AnsiString> fields;  // of the last record; empty: refused
    } cases[] = {{"a,\"b\"", {"a", "b"}},
                 {"a,\"b,\"\"c\"\"\"\n", {"a", "b,\"c\""}},
                 {"\"x\"\r\n", {"x"}},
                 {"a,\"b\"c\n", {}}};
    for (const auto& c : cases) {
        quantora::CsvReader reader(c.text, "t.csv");
        std::vector<AnsiString> fields;
        if (c.fields.empty()) {
            EXPECT_THROW(reader.Next(fields), Exception) << c.text;
            continue;
        }
        ASSERT_TRUE(reader.Next(fields)) << c.text;
        EXPECT_EQ(fields, c.fields) << c.text;
        EXPECT_FALSE(reader.Next(fields)) << c.text;
    }
}
