// Import of export files: the round trip that reproduces the file (across engines, with the
// file's header and progress lines), unknown tables and fields, references and day numbers, and
// malformed files rejected with the line named and nothing imported. Hex digits, integers and
// floats: the malformed files and the fuzz target. Rows already there: qdb's import test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/exchange/XmlImporter.h"
#include "quantora/exchange/internal/XmlValueDecode.h"
#include "quantora/frame/StringLogger.h"
#include "tests/exchange/ExchangeTestSupport.h"
#include "tests/support/TestDatabase.h"

using namespace quantora::test;
using quantora::Format;
using quantora::ImportXmlDatabase;
using quantora::XmlImportOptions;

namespace {

std::string Export(const AnsiString& alias, StringLogger* logger = nullptr) {
    TempPath path;
    QuantoraXmlExporter(logger).ExportDatabase(alias.c_str(), path.c_str());
    return ReadText(path.str());
}

// The file without its Database line, which names the alias.
std::vector<std::string> Body(const std::string& text) {
    std::vector<std::string> lines = SplitCrLfLines(text);
    if (lines.size() > 3) lines.erase(lines.begin() + 3);
    return lines;
}

quantora::XmlImportResult ImportText(const AnsiString& alias, const std::string& text,
                                     StringLogger* logger = nullptr,
                                     const XmlImportOptions& options = {}) {
    TempPath path;
    WriteFileBytes(path.str(), text);
    return ImportXmlDatabase(alias, path.str(), logger, options);
}

// The one value `sql` selects, as a float.
double Float(const TestDatabase& db, const AnsiString& sql) {
    TQuery q;
    return db.Open(q, sql).Fields()[0]->AsFloat();
}

// Logger entry `i` with its level, as "text @level".
std::string Logged(const quantora::MemoryLogger& logger, std::size_t i) {
    const quantora::MemoryLogger::Entry& e = logger.entries.at(i);
    return Format("%s @%d", e.text.c_str(), e.level);
}

long long TotalRows(const TestDatabase& db) {
    long long n = 0;
    for (const char* const* t = QuantoraXmlExporter::ExportedTables; *t; ++t)
        n += std::stoll(db.Scalar(AnsiString("SELECT COUNT(*) FROM ") + *t));
    return n;
}

}  // namespace

// The one export -> import -> export round trip: from SQLite into the engine of the run (so
// across engines when QUANTORA_TEST_PG is set).
TEST(XmlImport, RoundTripReproducesTheFile) {
    TestDatabase source(true, true);
    FillExportedTables(source.alias(), 5, 700000);
    quantora::MemoryLogger exported;
    const std::string first = Export(source.alias(), &exported);
    // The header names the format, the host and the database; the footer closes them.
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const std::vector<std::string> lines = SplitCrLfLines(first);
    ASSERT_GT(lines.size(), 5u);
    EXPECT_EQ(std::vector(lines.begin(), lines.begin() + 5),
              (std::vector<std::string>{
                  "<?xml version=\"1.0\"?>", "<QuantoraDatabases>",
                  "<FormatVersion Version=\"4.1\" Name=\"Quantora Database Format\" "
                  "Comment=\"XML-based data format for Quantora System\"/>",
                  Format("<Database HostMachine=\"%s\" Name=\"%s\" Version=\"4.0\">", host,
                         source.name()),
                  "<Table Name=\"EMPLOYEE\">"}));
    EXPECT_EQ(first.substr(first.size() - 45),
              "</Table>\r\n</Database>\r\n</QuantoraDatabases>\r\n");
    EXPECT_EQ(Logged(exported, 0), "5 records of table EMPLOYEE exported. @0");

    TestDatabase target(true);
    quantora::MemoryLogger logger;
    const quantora::XmlImportResult result = ImportText(target.alias(), first, &logger);
    EXPECT_EQ(result.tables, 21);
    EXPECT_EQ(result.rows, 21 * 5);
    EXPECT_TRUE(result.warnings.empty());
    ASSERT_EQ(logger.entries.size(), 21u);
    EXPECT_EQ(Logged(logger, 15), "5 records of table SPECTRUM imported. @0");
    EXPECT_EQ(Body(first), Body(Export(target.alias())));

    // Blobs come back bit for bit, dates to the file's resolution (whole seconds exactly),
    // floats as their 15 digits.
    const char* blob = "SELECT COUNTDATA FROM SPECTRUM WHERE SPECTRUM_ID = 1";
    EXPECT_EQ(target.Scalar(blob), source.Scalar(blob));
    const char* date = "SELECT STARTDATE FROM MEASUREMENT WHERE MEASUREMENT_ID = 1";
    EXPECT_NEAR(Float(target, date), Float(source, date), 1e-10);
    const char* number = "SELECT LIVETIME FROM SPECTRUM WHERE SPECTRUM_ID = 3";
    const double original = Float(source, number);
    EXPECT_EQ(Float(target, number), std::strtod(Format("%.15g", original).c_str(), nullptr));
    EXPECT_EQ(target.Scalar("SELECT NAME FROM SPECTRUM WHERE SPECTRUM_ID = 2"), "");
}

// A plain name outside the lab schema (one the engine has) is skipped, not written into; names
// outside the schema without the skip options: ImportSecurityTest.
TEST(XmlImport, UnknownTablesAndFieldsCanBeSkipped) {
    TestDatabase source(true);
    FillExportedTables(source.alias(), 2);
    const std::string file = Export(source.alias());
    const std::string extraTable = Replaced(
        file, "<Table Name=\"SOURCE\">",
        "<Table Name=\"sqlite_master\">\r\n  <TableDesc>\r\n    <FieldDesc Name=\"X\" "
        "Type=\"Integer\" MaxLen=\"4\"/>\r\n  </TableDesc>\r\n  <TableData>\r\n<Record X=\"1\" "
        "/>\r\n  </TableData>\r\n</Table>\r\n<Table Name=\"SOURCE\">");
    const std::string extraField =
        Replaced(file, "<FieldDesc Name=\"CMT\"",
                 "<FieldDesc Name=\"EXTRA\" Type=\"Integer\" MaxLen=\"4\"/>\r\n    "
                 "<FieldDesc Name=\"CMT\"");
    XmlImportOptions skip;
    skip.skipUnknownTables = true;
    skip.skipUnknownFields = true;
    for (const auto& [text, name] :
         {std::pair{&extraTable, "sqlite_master"}, {&extraField, "EXTRA"}}) {
        TestDatabase fresh(true);
        quantora::MemoryLogger logger;
        const auto result = ImportText(fresh.alias(), *text, &logger, skip);
        ASSERT_EQ(result.warnings.size(), 1u);
        EXPECT_NE(result.warnings[0].find(name), AnsiString::npos);
        EXPECT_EQ(logger.entries.size(), 22u);
        EXPECT_EQ(TotalRows(fresh), 21 * 2);
    }
}

TEST(XmlImport, ValueDecoders) {
    AnsiString s;
    quantora::DecodeXmlString("a&quot;b&#9;&#233;&#0;&amp;x&#256;&#;&#12a;&", s);
    EXPECT_EQ(s, std::string("a\"b\t\xE9\0&amp;x&#256;&#;&#12a;&", 28));
    double d = 0;
    // Times to the second or millisecond come back exactly from their day number's 15 digits.
    for (const char* time :
         {"2024-03-01 12:00:01.000000", "1999-12-31 23:59:59.000000", "2024-03-01 12:00:01.250000",
          "2031-07-15 00:00:00.007000", "1905-02-03 04:05:06.000000"}) {
        TDateTime original = 0;
        ASSERT_TRUE(quantora::ParseIsoDateTime(time, original));
        const std::string text = Format("%.15g", original);
        ASSERT_TRUE(quantora::DecodeXmlFloat(text, d));
        const double back = quantora::SnapXmlDayNumber(d);
        EXPECT_EQ(Format("%.15g", back), text) << time;
        EXPECT_EQ(quantora::FormatIsoDateTime(back), time);
    }
}

TEST(XmlImport, MalformedFilesAreRejectedWithNothingImported) {
    TestDatabase source(true);
    FillExportedTables(source.alias(), 4);
    const std::string file = Export(source.alias());
    const std::string firstSpectrum = "<Table Name=\"SPECTRUM\">", adc = "<Table Name=\"ADC\">";
    const std::size_t blobAt = file.find("COUNTDATA=\"", file.find(firstSpectrum)) + 11;
    struct Case {
        std::string name, text, message;
    };
    const std::vector<Case> cases = {
        {"empty file", "", "Unexpected end of file"},
        {"truncated in a hex value", file.substr(0, blobAt + 300), "Unexpected end of file"},
        {"bad hex digit", file.substr(0, blobAt + 7) + "G" + file.substr(blobAt + 8),
         "is not a hex digit"},
        {"odd hex length", file.substr(0, blobAt) + file.substr(blobAt + 1), "odd number"},
        {"bad integer", Replaced(file, "ADC_ID=\"1\"", "ADC_ID=\"1x\""), "is not an integer"},
        {"bad hex integer",  // a Largeint is the hex form of its decimal text: here "1x"
         Replaced(Replaced(file, "Name=\"ADC_ID\" Type=\"Integer\"",
                           "Name=\"ADC_ID\" Type=\"Largeint\"", adc),
                  "ADC_ID=\"1\"", "ADC_ID=\"3178\"", adc),
         "'3178' is not the hex form of an integer"},
        {"bad float", Replaced(file, "=\"0.", "=\"0.3.", firstSpectrum),
         "is not a floating point number"},
        {"impossible date", Replaced(file, "SPECOLLSTARTEDAT=\"4", "SPECOLLSTARTEDAT=\"4000"),
         "is not a day number"},
        {"unknown format version", Replaced(file, "Version=\"4.1\"", "Version=\"9.9\""),
         "format version '9.9'"},
        {"other root", Replaced(file, "<QuantoraDatabases>", "<Other>"), "not a Quantora"},
        {"unknown attribute", Replaced(file, "<Record ", "<Record NOPE=\"1\" ", firstSpectrum),
         "NOPE is not a field"},
        {"unknown field type", Replaced(file, "Type=\"Integer\"", "Type=\"Int\""),
         "unknown type 'Int'"},
        {"table twice", Replaced(file, "<Table Name=\"SOURCE\">", "<Table Name=\"EMPLOYEE\">"),
         "appears twice"},
    };
    TestDatabase target(true);
    for (const Case& c : cases) {
        const AnsiString message = Raised([&] { ImportText(target.alias(), c.text); }).Message;
        EXPECT_NE(message.find(c.message), AnsiString::npos) << c.name << ": " << message;
        EXPECT_NE(message.find("line "), AnsiString::npos) << c.name << ": " << message;
        EXPECT_EQ(TotalRows(target), 0) << c.name;
    }

    // The line named is the file's own, counting the line feeds inside hex values before it.
    const std::size_t record = file.find("<Record ", file.find("</Table>", blobAt));
    const std::size_t badAt = file.find("=\"", record) + 2;
    const std::string bad = file.substr(0, badAt) + "x" + file.substr(badAt);
    const long long line =
        1 + std::count(file.begin(), file.begin() + static_cast<long>(record), '\n');
    const AnsiString message = Raised([&] { ImportText(target.alias(), bad); }).Message;
    EXPECT_NE(message.find(Format("line %lld)", line)), AnsiString::npos) << message;
}
