// Every shared spectrum file read against its decoded counts and MANIFEST.tsv; twins equal; the
// way file -> database -> SPE, N42, CSV -> reader; damaged files refused with a located error.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <random>
#include <sstream>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/lab/SpectrumImport.h"
#include "quantora/lab/SpectrumRows.h"
#include "quantora/lab/StoredSpectra.h"
#include "quantora/spectrumfiles/ReadSupport.h"
#include "quantora/spectrumfiles/SpectrumFileFormats.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"
#include "quantora/spectrumfiles/SpectrumFileWriter.h"
#include "tests/support/GeneratedSpectra.h"
#include "tests/support/Raised.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/TestDatabase.h"

using namespace quantora;
namespace fs = std::filesystem;

namespace {

const std::string kDir = QUANTORA_SHARED_DATA "/spectra/";

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string f; std::getline(in, f, sep);) out.push_back(f);
    return out;
}

double Num(const std::string& s) {
    return s.empty() ? -1.0 : std::stod(s);
}

// Coefficient lists compared with missing high orders as zeros.
void ExpectCoeffs(std::vector<double> a, std::vector<double> b, const std::string& what) {
    a.resize(4, 0.0);
    b.resize(4, 0.0);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(a[i], b[i], 1e-5 * std::fabs(b[i])) << what << " c" << i;
}

void ExpectSameSpectrum(const SpectrumFileData& a, const SpectrumFileData& b, double seconds,
                        const std::string& what) {
    EXPECT_EQ(a.counts, b.counts) << what;
    EXPECT_NEAR(a.liveTime, b.liveTime, seconds) << what;
    EXPECT_NEAR(a.realTime, b.realTime, seconds) << what;
    EXPECT_NEAR(a.startTime, b.startTime, 1.0 / 86400) << what;
}

// The first bytes of a file, enough to tell its format.
std::string FileHead(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(4096, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

}  // namespace

TEST(SpectrumFiles, EveryOriginalFileMatchesCountsManifestAndTwins) {
    // The times each format resolves.
    const std::map<std::string, double> resolution = {
        {"SPE", 1},         {"CHN", 0.02},      {"SPC", 0.01}, {"CNF", 1e-6},
        {"N42-2006", 0.01}, {"N42-2011", 0.01}, {"ASC", 1},    {"CSV", 0}};
    std::map<std::string, SpectrumFile> read;
    for (const auto& e : fs::recursive_directory_iterator(kDir + "original"))
        if (e.is_regular_file())
            read[fs::relative(e.path(), kDir + "original").string()] = ReadSpectrumFile(e.path());
    ASSERT_FALSE(read.empty());

    std::ifstream manifest(kDir + "MANIFEST.tsv");
    std::string line;
    std::getline(manifest, line);
    int rows = 0;
    while (std::getline(manifest, line)) {
        const std::vector<std::string> f = Split(line, '\t');
        const std::string name = f[0];
        const SpectrumFile& file = read.at(f[1]);
        // The N42 rows name their detector after "__".
        const size_t det = name.find("__");
        auto s = file.spectra.begin();
        if (det != std::string::npos)
            s = std::find_if(s, file.spectra.end(),
                             [&](const auto& x) { return x.detector == name.substr(det + 2); });
        ASSERT_NE(s, file.spectra.end()) << name;
        std::ifstream countFile(kDir + "counts/" + name + ".txt");
        std::vector<unsigned long> counts;
        for (unsigned long c; countFile >> c;) counts.push_back(c);
        EXPECT_EQ(s->counts, counts) << name;
        // The manifest keeps times as stored; the reader swaps them when it says so.
        double live = Num(f[8]), real = Num(f[9]);
        for (const AnsiString& w : file.warnings)
            if (w.find("swapped") != AnsiString::npos) std::swap(live, real);
        const double res = resolution.at(file.format);
        EXPECT_NEAR(s->liveTime, live, res) << name;
        EXPECT_NEAR(s->realTime, real, res) << name;
        TDateTime start = 0;
        if (!f[14].empty()) ParseIsoDateTime(f[14].substr(0, f[14].find('Z')), start);
        EXPECT_NEAR(s->startTime, start, 1.0 / 86400) << name;  // whole seconds in the manifest
        std::vector<double> coeffs;
        for (const std::string& c : Split(f[10], ' '))
            if (!c.empty()) coeffs.push_back(std::stod(c));
        ExpectCoeffs(s->energyCoeffs, coeffs, name);
        if (file.format == "CNF") {
            EXPECT_EQ(s->fwhmCoeffs.size(), 4u) << name;
        }
        ++rows;
    }
    EXPECT_GT(rows, 0);
    // A shape calibration is kept as the file gives it.
    EXPECT_EQ(read.at("1110C NAA cave pottery.Spe").spectra.at(0).fwhmCoeffs,
              (std::vector<double>{4.714864, 1.056482e-3, -2.506160e-8}));

    // The IAEA set's .Chn and .asc twins, which the manifest does not list, hold the .spe's
    // spectrum (Am241big has only .Chn and .asc).
    const std::pair<const char*, const char*> twins[] = {
        {"iaea2002/Co57SMALL.Chn", "iaea2002/Co57SMALL.spe"},
        {"iaea2002/Co57SMALL.asc", "iaea2002/Co57SMALL.spe"},
        {"iaea2002/Mn54BIG.Chn", "iaea2002/Mn54BIG.spe"},
        {"iaea2002/Mn54BIG.asc", "iaea2002/Mn54BIG.spe"},
        {"iaea2002/Am241big.asc", "iaea2002/Am241big.Chn"}};
    for (const auto& [twin, ref] : twins) {
        const SpectrumFileData &a = read.at(twin).spectra.at(0), &b = read.at(ref).spectra.at(0);
        EXPECT_EQ(a.counts, b.counts) << twin;
        EXPECT_NEAR(a.liveTime, b.liveTime, 1.0) << twin;
        EXPECT_NEAR(a.realTime, b.realTime, 1.0) << twin;
        if (a.startTime > 0) {
            EXPECT_NEAR(a.startTime, b.startTime, 1.0 / 86400) << twin;
        }
    }
}

TEST(SpectrumFiles, FileToDatabaseToEveryWriterAndBack) {
    test::TestDatabase db(true);
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (1, 'p')");
    const test::ScratchDir scratch;
    const fs::path& tmp = scratch.path;
    const char* files[] = {"AH20190131_Na22_10cm_IDM4.Chn",
                           "Alcatraz14.Spc",
                           "iaea2002/Mn54BIG.asc",
                           "01122014152731-GT01122014182338-GA37.4963000N-GO122.4633000W.cnf",
                           "SGM102432.csv",
                           "iaea2002/Zn65BIG.spe",
                           "ba133_source_640s_20100317.n42"};
    SpectrumImportTarget target;
    target.projectId = 1;
    int stored = 0, highCrc = 0;
    size_t remarks = 0;  // the files' remarks that went through the database
    // The standard CRC-32 of the counts' little-endian bytes, four words at a time and one.
    EXPECT_EQ(SpectrumCountsCrc32({1, 2, 3, 4, 0xDEADBEEF}), 0x25D8E6A1u);
    for (const char* name : files) {
        const std::string path = kDir + "original/" + name;
        const SpectrumImportResult r = ImportSpectrumFile(db.name(), path, target);
        ASSERT_FALSE(r.alreadyPresent) << name;
        // The new measurement runs from the file's start for its real time, or has no dates.
        const SpectrumFileData& first = r.file.spectra.at(0);
        TQuery m;
        db.Open(m, Format("SELECT STARTDATE, ENDDATE FROM MEASUREMENT WHERE MEASUREMENT_ID = %d",
                          r.measurementId));
        EXPECT_EQ(m.Fields()[0]->IsNull(), first.startTime <= 0) << name;
        if (first.startTime > 0) {
            EXPECT_NEAR(m.Fields()[0]->AsFloat(), first.startTime, 1e-9) << name;
            EXPECT_NEAR((m.Fields()[1]->AsFloat() - m.Fields()[0]->AsFloat()) * 86400,
                        first.realTime, 1e-3)
                << name;
        }
        ASSERT_EQ(r.spectrumIds.size(), r.file.spectra.size()) << name;
        EXPECT_TRUE(ImportSpectrumFile(db.name(), path, target).alreadyPresent) << name;
        for (size_t i = 0; i < r.spectrumIds.size(); ++i, ++stored) {
            const SpectrumFileData& original = r.file.spectra[i];
            const SpectrumFileData back = LoadStoredSpectrum(db.name(), r.spectrumIds[i]);
            ExpectSameSpectrum(back, original, 0, name);
            EXPECT_EQ(back.detector, original.detector) << name;
            EXPECT_EQ(back.remarks, original.remarks) << name;
            remarks += original.remarks.size();
            ExpectCoeffs(back.energyCoeffs, original.energyCoeffs, name);
            // The calibration that applies to the stored spectrum is the file's curve (a
            // quadratic one too, as Alcatraz14.Spc's), on every channel.
            const LabSpectrum lab = LoadLabSpectrum(db.name(), r.spectrumIds[i]);
            double worst = 0;
            for (size_t ch = 0; ch < lab.counts.size() && !original.energyCoeffs.empty(); ++ch) {
                double e = 0, p = 1;
                for (double c : original.energyCoeffs) {
                    e += c * p;
                    p *= static_cast<double>(ch);
                }
                worst = std::max(worst, std::fabs(lab.ecal.Energy(static_cast<double>(ch)) - e));
            }
            EXPECT_LT(worst, 0.01) << name;
            // The row's summary of the counts survives their compression, and the CRC32 the
            // signed column.
            TQuery q;
            SPECTRUMData row;
            ASSERT_TRUE(row.GetData(&db.Open(
                q, Format("SELECT * FROM SPECTRUM WHERE SPECTRUM_ID = %d", r.spectrumIds[i]))));
            const std::vector<unsigned long> c = CountsFromChannelZero(original);
            EXPECT_EQ(static_cast<uint32_t>(row.CRC32), SpectrumCountsCrc32(c)) << name;
            EXPECT_EQ(row.MINCOUNT, *std::min_element(c.begin(), c.end())) << name;
            EXPECT_EQ(row.MAXCOUNT, *std::max_element(c.begin(), c.end())) << name;
            EXPECT_EQ(row.SUMCOUNT, std::accumulate(c.begin(), c.end(), 0.0)) << name;
            highCrc += row.CRC32 < 0;
            for (const SpectrumFileFormat& f : SpectrumFileFormats()) {
                if (!f.write) continue;
                const std::string out = (tmp / (std::to_string(stored) + f.extension)).string();
                WriteSpectrumFile(out, {back});
                const SpectrumFileData again = ReadSpectrumFile(out).spectra.at(0);
                ExpectSameSpectrum(again, back, 0, out);
                EXPECT_EQ(again.energyCoeffs, back.energyCoeffs) << out;
                if (std::string(f.extension) == ".spe") {
                    EXPECT_EQ(again.remarks, back.remarks) << out;
                }
            }
        }
    }
    // Times at the ends of the double range (written with exponents) come back from every writer;
    // a title longer than the NAME columns is cut to their 100 characters.
    SpectrumFileData extreme;
    extreme.counts = {1, 0, 4294967295ul};
    extreme.title = std::string(99, 't') + "0xyz";
    SpectrumFile extremeFile;
    extremeFile.spectra = {extreme};
    extremeFile.spectra[0].firstChannel = 1;  // the row's summary counts the zero below it
    extremeFile.spectra[0].counts[1] = 2;
    extremeFile.format = "SPE";
    extremeFile.spectra[0].energyCoeffs = {0.5, 0.25, 0.0};  // straight: no curvature to store
    const std::string curvatures = db.Scalar("SELECT COUNT(*) FROM NONLINANALYSIS");
    const int longId = SpectrumImporter(db.name(), target).Import(extremeFile, "x").spectrumIds[0];
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM NONLINANALYSIS"), curvatures);
    EXPECT_EQ(db.Rows(Format("SELECT NAME, CAST(MINCOUNT AS BIGINT), CAST(SUMCOUNT AS BIGINT) "
                             "FROM SPECTRUM WHERE SPECTRUM_ID = %d",
                             longId)),
              std::string(99, 't') + "0|0|4294967298\n");
    extreme.liveTime = 4.9e-324;
    extreme.realTime = 1e300;
    SpectrumFileData negativeZero = extreme;  // a time of -0, as a binary file may hold
    negativeZero.liveTime = -0.0;
    for (const SpectrumFileData& x : {extreme, negativeZero})
        for (const SpectrumFileFormat& f : SpectrumFileFormats()) {
            if (!f.write) continue;
            const std::string out = (tmp / (std::string("extreme") + f.extension)).string();
            WriteSpectrumFile(out, {x});
            ExpectSameSpectrum(ReadSpectrumFile(out).spectra.at(0), x, 0, out);
        }
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM MEASUREMENT"), std::to_string(std::size(files) + 1));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM SPECTRUM"), std::to_string(stored + 1));
    EXPECT_GT(highCrc, 0);  // CRC32 values of 2^31 and more were among them
    EXPECT_GE(remarks, 2u);
    // The curvatures of file calibrations go with their spectra.
    EXPECT_NE(db.Scalar("SELECT COUNT(*) FROM NONLINANALYSIS"), "0");
    for (const std::string& id : Split(db.Rows("SELECT SPECTRUM_ID FROM SPECTRUM"), '\n')) {
        SPECTRUMData spectrum;
        spectrum.SPECTRUM_ID = std::stoi(id);
        spectrum.Delete(db.name());
    }
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM NONLINANALYSIS"), "0");
}

// Every spectrum file under the shared data, written as N42, is valid against the N42-2011 schema
// (checked by xmllint); and so is a spectrum with nothing but counts.
TEST(SpectrumFiles, N42ExportsOfEverySharedSpectrumMatchTheSchema) {
    if (std::system("xmllint --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xmllint is not installed (Debian: libxml2-utils)";
    const std::string schema = QUANTORA_SHARED_DATA "/formats/n42-2011.xsd";
    const test::ScratchDir scratch;
    const fs::path& tmp = scratch.path;
    SpectrumFileData bare, cubic;
    bare.counts = {0, 3, 1};
    cubic.counts = {4, 5};
    cubic.energyCoeffs = {1, 0.5, 1e-6, 3e-9};
    cubic.startTime = 40000.5;
    cubic.liveTime = 2;
    cubic.realTime = 3;
    std::vector<std::pair<std::string, std::vector<SpectrumFileData>>> exports = {
        {"bare", {bare}}, {"cubic", {cubic}}};
    for (const auto& e : fs::recursive_directory_iterator(QUANTORA_SHARED_DATA))
        if (e.is_regular_file() && !DetectSpectrumFormat(FileHead(e.path())).empty()) try {
                exports.emplace_back(e.path().string(), ReadSpectrumFile(e.path()).spectra);
            } catch (const Exception&) {  // a table that only looks like a spectrum
            }
    ASSERT_GT(exports.size(), 1u);
    for (size_t i = 0; i < exports.size(); ++i) {
        const fs::path out = tmp / (std::to_string(i) + ".n42");
        std::ofstream(out, std::ios::binary) << FormatN42(exports[i].second);
        const std::string command =
            "xmllint --noout --schema '" + schema + "' '" + out.string() + "' 2>&1";
        std::string report;
        if (FILE* p = popen(command.c_str(), "r")) {
            char buf[512];
            while (fgets(buf, sizeof buf, p)) report += buf;
            EXPECT_EQ(pclose(p), 0) << exports[i].first << "\n" << report;
        }
    }
    // What the schema requires and the bare spectrum lacks comes back unknown; a cubic
    // calibration, which the schema has no coefficients for, comes back exactly.
    for (size_t i = 0; i < 2; ++i) {
        const SpectrumFileData& written = exports[i].second[0];
        const auto again = ReadSpectrumFile((tmp / (std::to_string(i) + ".n42")).string());
        ExpectSameSpectrum(again.spectra.at(0), written, 0, exports[i].first);
        EXPECT_EQ(again.spectra[0].energyCoeffs, written.energyCoeffs) << exports[i].first;
        EXPECT_EQ(again.warnings, std::vector<AnsiString>{}) << exports[i].first;
    }
}

TEST(SpectrumFiles, DamagedFilesGiveLocatedErrorsOrReadCleanly) {
    const char* files[] = {
        "eu_calib_7cm.Chn",       "Alcatraz14.Spc",         "2025-11-11_17-43-19-121196.cnf",
        "digibase_5min_30_1.spe", "Mn56_DetX_Shielded.n42", "iaea2002/Co57SMALL.asc",
        "nai_detector.csv"};
    for (const char* name : files) {
        const std::string bytes = test::ReadText(kDir + "original/" + name);
        const std::string format = ReadSpectrumBytes(bytes, name).format.substr(0, 3);
        auto cut = [&](size_t n) {  // inside a line
            while (bytes[n - 1] == '\n') ++n;
            return bytes.substr(0, n);
        };
        const std::string damaged[] = {"", cut(40), cut(bytes.size() / 2), "XYZ" + bytes.substr(3)};
        for (size_t k = 0; k < std::size(damaged); ++k) {
            try {
                const SpectrumFile f = ReadSpectrumBytes(damaged[k], "damaged");
                EXPECT_GE(k, 3u) << name << ": an empty, cut or unmarked file read without error";
                for (const auto& s : f.spectra)
                    EXPECT_LE(s.counts.size(), damaged[k].size()) << name;
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message.rfind("damaged: ", 0), 0u) << e.Message;
                if (k == 1 || k == 2) {  // cut files name the format and where they end
                    EXPECT_TRUE(e.Message.find(format) != AnsiString::npos &&
                                (e.Message.find("byte offset") != AnsiString::npos ||
                                 e.Message.find("line") != AnsiString::npos))
                        << name << ": " << e.Message;
                }
            }
        }
    }
    // Text no format claims is refused as such.
    for (const char* text : {"hello world\n", "a;b;c;d;e\nx;y\n", "Title: no counts\n"})
        EXPECT_NE(test::Raised([&] {
                      ReadSpectrumBytes(text, "t");
                  }).Message.find("t: not a spectrum file of a known format ("),
                  AnsiString::npos)
            << text;
}

// What the shared files do not show: quoted CSV fields, a CSV header the reader does not know, an
// energy column fitted exactly, an N42 spectrum holding an empty element of its own name, an N42
// start time that is no date, and a count list at its channel limit.
TEST(SpectrumFiles, TextFragments) {
    struct Case {
        const char *name, *text;
        std::vector<unsigned long> counts;
        const char* warning;  // a warning that must be among the file's, or ""
    };
    const Case cases[] = {
        {"a.csv", "\"Channel\";\"Counts\"\n\"0\";\"5\"\n\"1\";\"7\"\n", {5, 7}, ""},
        {"b.csv", "alpha,beta\n0,2\n1,3\n", {2, 3}, "line 1 not read: 'alpha,beta'"},
        {"c.csv", "energy,count\n10,3\n10.5,4\n11,5\n", {3, 4, 5}, "largest deviation 0 keV"},
        {"d.n42",
         "<RadInstrumentData><Spectrum id=\"s\"><Spectrum ref=\"t\"/><ChannelData>1 2 3"
         "</ChannelData></Spectrum></RadInstrumentData>",
         {1, 2, 3},
         ""},
        {"e.n42",
         "<RadInstrumentData><StartDateTime>2019-02-30T10:00:00</StartDateTime><Spectrum id=\"s\">"
         "<ChannelData>4 5</ChannelData></Spectrum></RadInstrumentData>",
         {4, 5},
         "unreadable start time '2019-02-30T10:00:00' left out"},
        // An attribute without a value before the one that matters.
        {"f.n42",
         "<RadInstrumentData><Spectrum id=\"s\"><ChannelData packed "
         "compressionCode=\"CountedZeroes\">0 3 5</ChannelData></Spectrum></RadInstrumentData>",
         {0, 0, 0, 5},
         ""},
    };
    for (const Case& c : cases) {
        const SpectrumFile f = ReadSpectrumBytes(c.text, c.name);
        ASSERT_EQ(f.spectra.size(), 1u) << c.text;
        EXPECT_EQ(f.spectra[0].counts, c.counts) << c.text;
        std::string all;
        for (const AnsiString& w : f.warnings) all += w + "\n";
        EXPECT_NE(all.find(c.warning), std::string::npos) << c.text << "\n" << all;
        if (!*c.warning) {
            EXPECT_EQ(all.find("not read"), std::string::npos) << all;
        }
        EXPECT_EQ(f.spectra[0].startTime, 0.0) << c.text;  // none has a start time to read
    }
    // The energy column's fit is its straight line.
    const std::vector<double> fitted =
        ReadSpectrumBytes(cases[2].text, cases[2].name).spectra.at(0).energyCoeffs;
    ASSERT_EQ(fitted.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(fitted[i], (std::array{10.0, 0.5, 0.0})[i], 1e-9) << i;
    // A list of one count per line, and a CSV table, hold at most kMaxChannels; the line beyond
    // them is named.
    for (const std::string name : {"x", "x.csv"}) {
        const auto row = [&](size_t i) { return name == "x" ? "0\n" : Format("%zu,0\n", i); };
        std::string list;
        for (size_t i = 0; i < spectrumfiles::kMaxChannels; ++i) list += row(i);
        EXPECT_EQ(ReadSpectrumBytes(list, name).spectra.at(0).counts.size(),
                  spectrumfiles::kMaxChannels);
        list += row(spectrumfiles::kMaxChannels);
        const AnsiString over = test::Raised([&] { ReadSpectrumBytes(list, name); }).Message;
        EXPECT_NE(over.find(Format("line %zu: more", spectrumfiles::kMaxChannels + 1)),
                  AnsiString::npos)
            << over;
    }
    // SPE dates: a two-digit year is of 1970 to 2069; a 12-hour clock counts 12 AM as midnight
    // and 12 PM as noon; an hour a 12-hour clock has not is no date.
    for (const auto& [date, iso] : {std::pair{"11/22/02 14:08:39", "2002-11-22 14:08:39"},
                                    {"01/05/98 00:00:00", "1998-01-05 00:00:00"},
                                    {"01/12/2014 3:12:28 PM", "2014-01-12 15:12:28"},
                                    {"01/12/2014 12:05:00 AM", "2014-01-12 00:05:00"},
                                    {"01/12/2014 12:05:00 pm", "2014-01-12 12:05:00"},
                                    {"01/12/2014 11:59 AM", "2014-01-12 11:59:00"},
                                    {"01/12/2014 13:00:00 PM", ""}}) {
        const SpectrumFile f = ReadSpectrumBytes(
            std::string("$SPEC_ID:\nx\n$DATE_MEA:\n") + date + "\n$DATA:\n0 1\n5 6\n", "y.spe");
        const TDateTime start = f.spectra.at(0).startTime;
        EXPECT_EQ(start > 0 ? FormatIsoDateTime(start).substr(0, 19) : "", iso) << date;
    }
    // An N42-2006 spectrum may name its detector as a sensor.
    EXPECT_EQ(ReadSpectrumBytes("<N42InstrumentData><Measurement><Spectrum Sensor=\"Gamma 2\">"
                                "<ChannelData>1 2</ChannelData></Spectrum></Measurement>"
                                "</N42InstrumentData>",
                                "sensor.n42")
                  .spectra.at(0)
                  .detector,
              "Gamma 2");
    // The N42 writer puts 16 counts on a line.
    SpectrumFileData eighteen;
    for (unsigned long c = 1; c <= 18; ++c) eighteen.counts.push_back(c);
    EXPECT_NE(
        FormatN42({eighteen})
            .find("<ChannelData compressionCode=\"None\">\r\n        1 2 3 4 5 6 7 8 9 10 11 12 13 "
                  "14 15 16\r\n        17 18\r\n      </ChannelData>"),
        std::string::npos);
}

// Fractional counts of the text formats round to the nearest count with one warning that names the
// largest change and its line; values that are no count are refused naming their line.
TEST(SpectrumFiles, FractionalCountsRoundOrAreRefusedByLine) {
    struct Case {
        const char *name, *text;
        std::vector<unsigned long> counts;  // empty: refused
        const char* message;                // in the warning, or in the error
    };
    auto n42 = [](const std::string& attrs, const std::string& data) {
        return "<RadInstrumentData>\n<Spectrum id=\"s\">\n<ChannelData" + attrs + ">\n" + data +
               "\n</ChannelData></Spectrum></RadInstrumentData>\n";
    };
    const std::string n42Rounded = n42("", "1.5 2\n3 0.25"), n42Nan = n42("", "1 2\n3 nan"),
                      n42Run = n42(" compressionCode=\"CountedZeroes\"", "4\n0 2.5");
    const Case cases[] = {
        {"a.spe", "$SPEC_ID:\nx\n$DATA:\n0 2\n1.25 2\n3.5\n", {1, 2, 4}, "0.5 ('3.5' at line 6)"},
        {"b.csv", "channel,count\n0,2.2\n1,6.7\n", {2, 7}, "0.3 ('6.7' at line 3)"},
        {"c.n42", n42Rounded.c_str(), {2, 2, 3, 0}, "0.5 ('1.5' at line 4)"},
        {"d.txt", "7\n1.5\n3\n", {7, 2, 3}, "0.5 ('1.5' at line 2)"},
        {"e.spe", "$SPEC_ID:\nx\n$DATA:\n0 1\n2\n-1\n", {}, "line 6: malformed count '-1'"},
        {"f.csv", "channel,count\n0,2\n1,-3\n", {}, "line 3: not a count: '-3'"},
        {"g.n42", n42Nan.c_str(), {}, "line 5: malformed <ChannelData> near 'nan'"},
        {"h.n42", n42Run.c_str(), {}, "line 5: malformed <ChannelData> near '2.5'"},
        {"i.spe", "$SPEC_ID:\nx\n$DATA:\n0 0\n4294967295.5\n", {}, "line 5: malformed count"},
    };
    for (const Case& c : cases) {
        if (c.counts.empty()) {
            const AnsiString error =
                test::Raised([&] { ReadSpectrumBytes(c.text, c.name); }).Message;
            EXPECT_NE(error.find(c.message), AnsiString::npos) << c.name << ": " << error;
            continue;
        }
        const SpectrumFile f = ReadSpectrumBytes(c.text, c.name);
        EXPECT_EQ(f.spectra.at(0).counts, c.counts) << c.name;
        const auto rounded = std::count_if(f.warnings.begin(), f.warnings.end(), [](auto& w) {
            return w.find("fractional counts rounded") != AnsiString::npos;
        });
        EXPECT_EQ(rounded, 1) << c.name;
        std::string all;
        for (const AnsiString& w : f.warnings) all += w + "\n";
        EXPECT_NE(all.find(c.message), std::string::npos) << c.name << "\n" << all;
    }
}

// An old CHN file as the shared ones are not: a date of the 1900s, and the sample description of a
// full 512-byte trailer beside the detector's.
TEST(SpectrumFiles, ChnCenturyAndDescriptions) {
    std::string b = test::ReadText(kDir + "original/eu_calib_7cm.Chn");
    const size_t t = 32 + 4 * (static_cast<uint8_t>(b[30]) | static_cast<uint8_t>(b[31]) << 8);
    b.resize(t + 512, '\0');
    b.replace(21, 3, "980");  // yy and the century flag of the date ddMMMyyC at byte 16
    b.replace(t + 320, 7, "\x06Soil 7");
    const SpectrumFile f = ReadSpectrumBytes(b, "old.chn");
    EXPECT_EQ(DecodeDateTime(f.spectra.at(0).startTime).year, 1998);
    EXPECT_EQ(f.spectra[0].detector, "HPGE");
    EXPECT_EQ(f.spectra[0].title, "Soil 7");
    // A month no calendar has: no start time, a warning.
    b.replace(18, 3, "XYZ");
    const SpectrumFile bad = ReadSpectrumBytes(b, "bad-date.chn");
    EXPECT_EQ(bad.spectra.at(0).startTime, 0.0);
    EXPECT_FALSE(bad.warnings.empty());
}

// A CNF's sample block and an SPC's location record give their descriptive texts as remarks; a
// CNF's measurement mode tells a gamma spectrum from counts per time bin.
TEST(SpectrumFiles, DescriptiveFieldsAndMeasurementMode) {
    {
        std::string b = test::ReadText(kDir + "original/Alcatraz14.Spc");
        b[106] = b[10], b[107] = b[11];  // the location pointer to the sample description record
        EXPECT_EQ(ReadSpectrumBytes(b, "located.spc").spectra.at(0).remarks,
                  std::vector<AnsiString>{"location: Alcatraz14"});
    }
    std::string b = test::ReadText(
        kDir + "original/01122014152731-GT01122014182338-GA37.4963000N-GO122.4633000W.cnf");
    const size_t sample = b.find("Sample title."), mode = b.find("PHA+");
    ASSERT_NE(sample, std::string::npos);
    ASSERT_NE(mode, std::string::npos);
    b.replace(sample + 0x40, 4, "S-17");
    b.replace(sample + 0x80, 4, "soil");
    b.replace(sample + 0x2A6, 7, "analyst");
    const SpectrumFile f = ReadSpectrumBytes(b, "described.cnf");
    EXPECT_EQ(f.spectra.at(0).remarks,
              (std::vector<AnsiString>{"sample id: S-17", "sample type: soil", "user: analyst"}));
    const struct {
        const char* mode;
        bool refused, warned;
    } modes[] = {{"PHA+", false, false}, {"MCS ", true, false}, {"LIST", false, true}};
    for (const auto& m : modes) {
        b.replace(mode, 4, m.mode);
        try {
            const SpectrumFile g = ReadSpectrumBytes(b, "mode.cnf");
            EXPECT_FALSE(m.refused) << m.mode;
            EXPECT_EQ(!g.warnings.empty(), m.warned) << m.mode;
        } catch (const Exception& e) {
            EXPECT_TRUE(m.refused) << e.Message;
            EXPECT_NE(e.Message.find("multichannel-scaling"), AnsiString::npos) << e.Message;
        }
    }
}

// A file of many spectra, each with its own detector, calibration, times and counts, read at a
// scale where a reader that rescans the file per spectrum would take minutes: every spectrum gets
// what it refers to or what stands before it, and a malformed count is located by its line.
TEST(SpectrumFiles, N42OfManySpectraKeepsEachSpectrumItsOwnValues) {
    constexpr size_t kSpectra = 3000;
    std::string detectors, calibrations, measurements;
    for (size_t i = 0; i < kSpectra; ++i) {
        detectors += Format(
            "<RadDetectorInformation id=\"d%zu\"><RadDetectorName>D%zu"
            "</RadDetectorName></RadDetectorInformation>\n",
            i, i);
        calibrations += Format(
            "<EnergyCalibration id=\"c%zu\"><CoefficientValues>%zu 0.5 0"
            "</CoefficientValues></EnergyCalibration>\n",
            i, i);
        measurements += Format(
            "<RadMeasurement><StartDateTime>2020-01-01T00:00:%02zu</StartDateTime>\n"
            "<RealTimeDuration>PT%zuS</RealTimeDuration>\n<Spectrum "
            "radDetectorInformationReference=\"d%zu\" energyCalibrationReference=\"c%zu\">\n"
            "<ChannelData>%zu 1 2</ChannelData></Spectrum></RadMeasurement>\n",
            i % 60, i + 1, i, i, i);
    }
    const std::string text = "<RadInstrumentData>\n" + detectors + calibrations + measurements +
                             "</RadInstrumentData>\n";
    const SpectrumFile f = ReadSpectrumBytes(text, "many.n42");
    ASSERT_EQ(f.spectra.size(), kSpectra);
    for (size_t i = 0; i < kSpectra; ++i) {
        const SpectrumFileData& s = f.spectra[i];
        ASSERT_EQ(s.detector, Format("D%zu", i)) << i;
        ASSERT_EQ(s.counts, (std::vector<unsigned long>{i, 1, 2})) << i;
        ASSERT_EQ(s.realTime, static_cast<double>(i + 1)) << i;
        ASSERT_EQ(FormatIsoDateTime(s.startTime).substr(17, 2), Format("%02zu", i % 60)) << i;
        ASSERT_EQ(s.energyCoeffs.at(0), static_cast<double>(i)) << i;
    }
    // A bad count in the last spectrum: its line is counted across all those before it.
    std::string bad = text;
    bad.replace(bad.rfind("1 2</ChannelData>"), 1, "x");
    const size_t line = static_cast<size_t>(std::count(bad.begin(), bad.end(), '\n')) - 1;
    EXPECT_NE(test::Raised([&] {
                  ReadSpectrumBytes(bad, "bad.n42");
              }).Message.find(Format("line %zu: malformed <ChannelData> near 'x'", line)),
              AnsiString::npos);
}

// Hostile files, made here in a temporary folder: each is refused, or read with a warning, in one
// line of bounded length that names the fault.
TEST(SpectrumFiles, HostileFilesAreRefusedOrWarnedInOneLine) {
    struct Case {
        const char* name;
        std::string bytes;
        bool refused;         // false: read, with the message among the warnings
        std::string message;  // in the error or a warning
    };
    auto n42 = [](const std::string& spectra) {
        return "<RadInstrumentData>\n" + spectra + "</RadInstrumentData>\n";
    };
    auto zeroRuns = [](size_t spectra, size_t run) {
        std::string out;
        for (size_t i = 0; i < spectra; ++i)
            out += Format(
                "<Spectrum><ChannelData compressionCode=\"CountedZeroes\">0 %zu 0 %zu"
                "</ChannelData></Spectrum>\n",
                run, run);
        return out;
    };
    const size_t half = spectrumfiles::kMaxChannels / 2;
    const Case cases[] = {
        // Zero runs: one spectrum may reach the channel limit, not pass it; many spectra of long
        // runs may not add up to more than the file's size allows.
        {"run.n42", n42(zeroRuns(1, half)), false, ""},
        {"longrun.n42", n42(zeroRuns(1, half + 1)), true,
         Format("line 2: <ChannelData> of more than %zu channels", spectrumfiles::kMaxChannels)
             .c_str()},
        {"runs.n42", n42(zeroRuns(3, half)), true, "line 3: the zero runs of <ChannelData> expand"},
    };
    const std::string token(size_t{1} << 20, '7');  // a megabyte of one token
    const std::string spe = "$SPEC_ID:\nx\n$DATA:\n";
    const Case more[] = {
        // Tokens of a megabyte are quoted by their first 40 bytes.
        {"token.spe", spe + "0 1\n5\n" + token + "x\n", true,
         "line 6: malformed count '" + token.substr(0, 40) + "...'"},
        {"range.spe", spe + "0 " + token + "\n5\n", true, "line 4: malformed $DATA: channel range"},
        {"section.spe", "$" + token + "\n" + spe + "0 0\n5\n", false,
         "section $" + token.substr(0, 39) + "... at line 1 not read"},
        {"number.n42",
         n42("<Spectrum><ChannelData>1 2" + token + "\x1b</ChannelData></Spectrum>\n"), true,
         "line 2: malformed <ChannelData> near '2" + token.substr(0, 39) + "...'"},
        {"token.csv", "channel,count\n0,5\n1,-0." + token + "\n", true,
         "line 3: not a count: '-0." + token.substr(0, 37) + "...'"},
    };
    // A file that states its length is refused when it holds another; a count list, which cannot
    // state it, is read with a warning when its length is none an analyser gives (a CSV table's
    // length is free: real ones hold 1001 and 4094 channels).
    auto lines = [](size_t n) {
        std::string out;
        for (size_t i = 0; i < n; ++i) out += std::to_string(i % 7) + "\n";
        return out;
    };
    SpectrumFileData full;
    full.counts.assign(1024, 3);
    const std::string csv = "Channels,1024\r\n" + FormatCsv(full),
                      cut = csv.substr(0, csv.size() - 8);
    const Case lengths[] = {
        {"full.csv", csv, false, ""},
        {"cut.csv", cut, true, "line 1: 1024 channels stated, the file holds 1023 (cut short?)"},
        {"long.csv", csv + "1024,3\r\n", true, "line 1: 1024 channels stated, the file holds 1025"},
        {"odd.csv", "channel,count\n0,4\n1,5\n2,6\n", false, ""},  // CSV lengths are free
        {"from1.csv", "channel,count\n1,4\n2,5\n3,6\n4,7\n", false, ""},
        {"k.asc", lines(4000), false, ""},
        {"pow2.asc", lines(2048), false, ""},
        {"cut.asc", lines(2047), false,
         "2047 channels, a number no analyser gives: is the file cut short?"},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    all.insert(all.end(), std::begin(lengths), std::end(lengths));
    all.insert(all.end(), std::begin(more), std::end(more));
    const test::ScratchDir scratch;
    const fs::path& dir = scratch.path;
    for (const Case& c : all) {
        const std::string path = (dir / c.name).string();
        std::ofstream(path, std::ios::binary) << c.bytes;
        if (c.refused) {
            const AnsiString error = test::Raised([&] { ReadSpectrumFile(path); }).Message;
            EXPECT_NE(error.find(c.message), AnsiString::npos) << c.name << ": " << error;
            EXPECT_EQ(error.find('\n'), AnsiString::npos) << c.name;
            EXPECT_LE(error.size(), 200u + path.size()) << c.name;
            continue;
        }
        const SpectrumFile f = ReadSpectrumFile(path);
        std::string all;
        for (const AnsiString& w : f.warnings) {
            all += w + "\n";
            EXPECT_EQ(w.find('\n'), AnsiString::npos) << c.name;
            EXPECT_LE(w.size(), 200u) << c.name;
        }
        if (c.message.empty())
            EXPECT_EQ(all, "") << c.name;
        else
            EXPECT_NE(all.find(c.message), std::string::npos) << c.name << "\n" << all;
    }
}

// Failures come typed: a bad file names its format and line, a missing file or key is not found,
// a wrong call is misuse. A batch refuses only bad or missing files; when the database stops
// taking writes the batch ends with one SpectrumBatchStopped instead of refusing every file left.
TEST(SpectrumImport, BadFilesAreRefusedAndAFailedDatabaseEndsTheBatch) {
    test::TestDatabase db(true);
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (1, 'p')");
    const test::ScratchDir scratch;
    const fs::path& tmp = scratch.path;
    std::vector<std::string> good;
    for (int i = 0; i < 4; ++i) {
        good.push_back((tmp / ("s" + std::to_string(i) + ".spe")).string());
        test::WriteGeneratedSpe(good.back(), i);
    }
    const std::string cut = (tmp / "cut.spe").string(), missing = (tmp / "none.spe").string();
    std::ofstream(cut) << "$SPEC_ID:\nx\n$DATA:\n0 9\n1\n2\n";

    const auto bad = test::Raised<BadFileError>([&] { ReadSpectrumFile(cut); });
    EXPECT_EQ(bad.FormatName() + Format(" %zu", bad.Line()), "SPE 6") << bad.Message;
    EXPECT_EQ(test::Raised<NotFoundError>([&] { ReadSpectrumFile(missing); }).Missing(),
              NotFoundError::What::File);
    SpectrumImportTarget target;
    target.projectId = 99;
    EXPECT_EQ(test::Raised<NotFoundError>([&] { SpectrumImporter(db.name(), target); }).Missing(),
              NotFoundError::What::Key);
    test::Raised<MisuseError>([&] { WriteSpectrumFile((tmp / "x.txt").string(), {}); });

    target.projectId = 1;
    SpectrumImporter importer(db.name(), target);
    std::vector<std::string> seen;
    auto onFile = [&](const SpectrumFileOutcome& o) {
        seen.push_back(fs::path(o.path).filename().string() + (o.refused ? " refused" : " stored"));
    };
    importer.ImportFiles({cut, good[0], missing}, onFile);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"cut.spe refused", "s0.spe stored", "none.spe refused"}));
    seen.clear();
    // The thread's connection, the importer's too, stops taking writes.
    const char* readOnly[] = {"PRAGMA query_only = ON", "SET default_transaction_read_only = on"};
    const char* writable[] = {"PRAGMA query_only = OFF", "SET default_transaction_read_only = off"};
    db.Exec(readOnly[db.engine() == test::TestEngine::PostgreSQL]);
    try {
        importer.ImportFiles({good[1], good[2], good[3]}, onFile);
        ADD_FAILURE() << "the batch went on";
    } catch (const SpectrumBatchStopped& e) {
        EXPECT_TRUE(e.database);
        EXPECT_EQ(e.stored, 0u);
        EXPECT_EQ(e.Message.rfind("the database failed at " + good[1] + ": ", 0), 0u) << e.Message;
    }
    db.Exec(writable[db.engine() == test::TestEngine::PostgreSQL]);
    EXPECT_EQ(seen, std::vector<std::string>{});
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM MEASUREMENT"), "1");
}
