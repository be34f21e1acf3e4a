// qdb spectrum import / export with real measured files: the counts that come back out must be
// the decoded reference counts; broken files change nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/qdb/QdbRun.h"
#include "tests/support/TestDatabase.h"

using quantora::test::Quoted;
using quantora::test::ReadText;
using quantora::test::RunQdb;
using quantora::test::TestDatabase;

namespace {

const std::string kData = QUANTORA_SHARED_DATA "/spectra/";

std::vector<unsigned long> ReferenceCounts(const std::string& name) {
    std::ifstream in(kData + "counts/" + name + ".txt");
    std::vector<unsigned long> v;
    for (unsigned long c; in >> c;) v.push_back(c);
    return v;
}

// The counts of an SPE text's $DATA: section (one count per line, as qdb writes them).
std::vector<unsigned long> SpeCounts(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line) && line != "$DATA:") {
    }
    std::getline(in, line);  // first and last channel
    std::vector<unsigned long> v;
    while (std::getline(in, line) && !line.empty() && line[0] != '$') v.push_back(std::stoul(line));
    return v;
}

struct Lab {
    TestDatabase db{true};
    std::string uri = Quoted(db.uri());
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("qdb_spec_" + std::to_string(::getpid()));
    Lab() {
        db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME) VALUES (1, 'm1')");
        std::filesystem::create_directories(dir);
    }
    ~Lab() { std::filesystem::remove_all(dir); }
    int Spectra() const { return std::stoi(db.Scalar("SELECT COUNT(*) FROM SPECTRUM")); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }
};

}  // namespace

TEST(QdbSpectrumFiles, RealFilesRoundTripWithTheirCounts) {
    Lab lab;
    struct Case {
        const char* file;
        const char* detector;
        const char* reference;
        const char* liveReal;
    } cases[] = {
        {"AA170825_1cm_Eu152.Spe", "", "AA170825_1cm_Eu152_Spe", "1078.000 s, real time: 1142.000"},
        {"digibase_5min_30_1.spe", "", "digibase_5min_30_1_spe", "296.000 s, real time: 300.000"},
        {"ba133_source_640s_20100317.n42", "", "ba133_source_640s_20100317_n42__A1",
         "629.170 s, real time: 639.920"},
        {"background_20100317.n42", "B3", "background_20100317_n42__B3", nullptr},
        {"Mn56_DetX_Shielded.n42", "", "Mn56_DetX_Shielded_n42", "1800.000 s, real time: 1824.650"},
    };
    int id = 0;
    for (const Case& c : cases) {
        std::string args = "spectrum import " + lab.uri + " " +
                           Quoted(kData + "original/" + c.file) + " --measurement 1";
        if (*c.detector) args += std::string(" --detector ") + c.detector;
        auto r = RunQdb(args);
        ASSERT_EQ(r.code, 0) << c.file << "\n" << r.out;
        ++id;
        EXPECT_NE(r.out.find("imported spectrum " + std::to_string(id)), std::string::npos)
            << r.out;
        if (c.liveReal) {
            EXPECT_NE(r.out.find(c.liveReal), std::string::npos) << r.out;
        }

        const std::string out = (lab.dir / (std::to_string(id) + ".spe")).string();
        r = RunQdb("spectrum export " + lab.uri + " " + std::to_string(id) + " " + Quoted(out));
        ASSERT_EQ(r.code, 0) << r.out;
        const std::vector<unsigned long> ref = ReferenceCounts(c.reference);
        ASSERT_FALSE(ref.empty()) << c.reference;
        EXPECT_EQ(SpeCounts(ReadText(out)), ref) << c.file;

        // The exported file reads back into the same counts.
        r = RunQdb("spectrum import " + lab.uri + " " + Quoted(out) + " --measurement 1");
        ASSERT_EQ(r.code, 0) << r.out;
        ++id;
    }
    // Start, live and real time survive the way through the database.
    const std::string first = ReadText(lab.dir / "1.spe");
    EXPECT_NE(first.find("$DATE_MEA:\n08/25/2017 11:42:26\n$MEAS_TIM:\n1078 1142\n"),
              std::string::npos);
    EXPECT_EQ(lab.db.Scalar("SELECT COUNT(*) FROM SPECTRUM WHERE SPECOLLSTARTEDAT IS NOT NULL"),
              "10");
    // The stored calibration of the Eu-152 file came along: about 0.397 keV per channel.
    auto r = RunQdb("ecal " + lab.uri + " --spectrum 1");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("b = 0.3973"), std::string::npos) << r.out;
    // The all-zero calibration of the digibase file is no calibration.
    r = RunQdb("ecal " + lab.uri + " --spectrum 3");
    EXPECT_NE(r.out.find("no stored energy calibration"), std::string::npos) << r.out;
}

TEST(QdbSpectrumFiles, BrokenFilesAndArgumentsChangeNothing) {
    Lab lab;
    const std::string truncated = lab.Write("short.spe", "$SPEC_ID:\nx\n$DATA:\n0 9\n1\n2\n3\n");
    const std::string badCount = lab.Write("bad.spe", "$DATA:\n0 2\n1\n-2\n3\n");
    const std::string badTime = lab.Write("time.spe", "$MEAS_TIM:\nabc\n$DATA:\n0 0\n1\n");
    const std::string noData = lab.Write("nodata.spe", "$SPEC_ID:\nx\n");
    const std::string badN42 =
        lab.Write("bad.n42",
                  "<N42InstrumentData><Spectrum><ChannelData>1 2 x</ChannelData></Spectrum>"
                  "</N42InstrumentData>");
    const std::string openRun =
        lab.Write("run.n42",
                  "<a><Spectrum><ChannelData Compression=\"CountedZeroes\">5 0</ChannelData>"
                  "</Spectrum></a>");
    const std::string spe = kData + "original/AA170825_1cm_Eu152.Spe";
    const std::string n42 = kData + "original/ba133_source_640s_20100317.n42";
    struct Case {
        std::string args, message;
    } cases[] = {
        {Quoted(truncated) + " --measurement 1", "announces 10 channels"},
        {Quoted(badCount) + " --measurement 1", "malformed count"},
        {Quoted(badTime) + " --measurement 1", "$MEAS_TIM"},
        {Quoted(noData) + " --measurement 1", "no $DATA"},
        {Quoted(badN42) + " --measurement 1", "malformed <ChannelData>"},
        {Quoted(openRun) + " --measurement 1", "malformed <ChannelData>"},
        {Quoted(n42) + " --measurement 1 --detector C9", "no spectrum of detector 'C9'"},
        {Quoted(spe) + " --measurement 77", "no measurement"},
        {Quoted(spe), "usage"},
        {Quoted((lab.dir / "missing.spe").string()) + " --measurement 1", "cannot open"},
    };
    for (const Case& c : cases) {
        auto r = RunQdb("spectrum import " + lab.uri + " " + c.args);
        EXPECT_NE(r.code, 0) << c.args;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_EQ(lab.Spectra(), 0);
    EXPECT_EQ(lab.db.Scalar("SELECT COUNT(*) FROM ECAL"), "0");

    auto r = RunQdb("spectrum export " + lab.uri + " 12 " + Quoted((lab.dir / "x.spe").string()));
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find("no spectrum"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(lab.dir / "x.spe"));
}
