// The XML export: exact text of every value form, field descriptions, an empty table, values
// larger than the output buffer, the field type table, the table order. The file's header, footer
// and progress lines: XmlImporterTest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/exchange/XmlFieldTypes.h"
#include "quantora/exchange/XmlOutputFile.h"
#include "tests/exchange/ExchangeTestSupport.h"
#include "tests/support/TestDatabase.h"

using namespace quantora::test;
using quantora::Format;

namespace {

std::string Repeated(const char* s, int n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

// The table section ExportDataSet writes for `sql`.
std::string ExportSection(const AnsiString& alias, const AnsiString& sql, int& rows) {
    TempPath path;
    quantora::XmlOutputFile out;
    EXPECT_TRUE(out.Open(path.c_str()));
    TQuery q;
    Open(q, alias, sql);
    XmlExporter exporter;
    rows = exporter.ExportDataSet("VALS", &q, &out);
    EXPECT_EQ(exporter.File, nullptr);
    out.Close();
    return ReadText(path.str());
}

const char* kValsDesc =
    "<Table Name=\"VALS\">\r\n  <TableDesc>\r\n"
    "    <FieldDesc Name=\"ID\" Type=\"Integer\" MaxLen=\"4\"/>\r\n"
    "    <FieldDesc Name=\"N\" Type=\"Smallint\" MaxLen=\"2\"/>\r\n"
    "    <FieldDesc Name=\"F\" Type=\"Float\" MaxLen=\"8\"/>\r\n"
    "    <FieldDesc Name=\"D\" Type=\"DateTime\" MaxLen=\"8\"/>\r\n"
    "    <FieldDesc Name=\"S\" Type=\"String\" MaxLen=\"31\"/>\r\n"
    "    <FieldDesc Name=\"C\" Type=\"String\" MaxLen=\"2\"/>\r\n"
    "    <FieldDesc Name=\"M\" Type=\"Memo\" MaxLen=\"0\"/>\r\n"
    "    <FieldDesc Name=\"B\" Type=\"Blob\" MaxLen=\"0\"/>\r\n"
    "  </TableDesc>\r\n  <TableData>\r\n";
const char* kSectionEnd = "  </TableData>\r\n</Table>\r\n";

}  // namespace

TEST(XmlExport, EveryValueFormIsWrittenExactly) {
    TestDatabase db(false,
                    true);  // byte 233 and zero bytes in texts: SQLite keeps them as they are
    db.Exec(
        "CREATE TABLE VALS (ID INTEGER NOT NULL PRIMARY KEY, N SMALLINT, F DOUBLE, "
        "D TIMESTAMP, S VARCHAR(30), C CHAR(1), M TEXT, B BLOB)");
    for (const std::string& values : std::vector<std::string>{
             "1, -7, 0.1, '2024-03-01 12:00:00', 'a\"b\tc\xE9&<''>', 'Y', 'x\ny', X'" +
                 Repeated("AB", 300) + "'",
             "2147483647, 0, 1.0 / 3.0, '1899-12-30 00:00:00', CAST(X'6375740068657265' AS TEXT), "
             "NULL, '', X'" +
                 Repeated("FE", 254) + "'",
             "-3, NULL, NULL, NULL, NULL, NULL, NULL, NULL",  // every other column null
             "4, NULL, -2.5e20, NULL, NULL, NULL, NULL, X'000001'"})
        db.Exec("INSERT INTO VALS VALUES (" + values + ")");
    // A line break after every 127th byte, also when it ends the value.
    const std::string hex300 =
        Repeated("AB", 127) + "\r\n" + Repeated("AB", 127) + "\r\n" + Repeated("AB", 46);
    const std::string hex254 = Repeated("FE", 127) + "\r\n" + Repeated("FE", 127) + "\r\n";
    const std::string nullRow =
        "<Record ID=\"-3\" N=\"\" F=\"\" D=\"\" S=\"\" C=\"\" M=\"\" B=\"\" />\r\n";
    const std::string row1 =
        "<Record ID=\"1\" N=\"-7\" F=\"0.1\" D=\"45352.5\" S=\"a&quot;b&#9;c&#233;&<'>\" "
        "C=\"Y\" M=\"780A79\" B=\"" +
        hex300 + "\" />\r\n";
    const std::string row4 =
        "<Record ID=\"4\" N=\"\" F=\"-2.5e+20\" D=\"\" S=\"\" C=\"\" M=\"\" B=\"000001\" />\r\n";
    const std::string rowMax =
        "<Record ID=\"2147483647\" N=\"0\" F=\"0.333333333333333\" D=\"0\" S=\"cut\" C=\"\" "
        "M=\"\" B=\"" +
        hex254 + "\" />\r\n";
    int rows = 0;
    EXPECT_EQ(ExportSection(db.alias(), "SELECT * FROM VALS ORDER BY ID", rows),
              kValsDesc + nullRow + row1 + row4 + rowMax + kSectionEnd);
    EXPECT_EQ(rows, 4);

    // An empty result still describes its fields.
    EXPECT_EQ(ExportSection(db.alias(), "SELECT * FROM VALS WHERE ID = 99", rows),
              std::string(kValsDesc) + kSectionEnd);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(Raised([&] {
                  QuantoraXmlExporter().ExportDatabase(db.name(), "/nonexistent-dir/sub/x.xml");
              }).Message,
              "Could not open output file.");
}

// A value of the buffer's size or more goes past the buffer, after what is buffered, straight to
// the file: so a failing write shows at once.
TEST(XmlExport, OutputFileWritesLargeValuesPastItsBuffer) {
    const std::string big(quantora::XmlOutputFile::BufferSize, 'v');
    TempPath path;
    quantora::XmlOutputFile out;
    ASSERT_TRUE(out.Open(path.c_str()));
    for (const char* small : {"<", ">"}) {
        out.Write(small, 1);
        out.Write(big + small);
    }
    out.Close();
    EXPECT_TRUE(ReadText(path.str()) == "<" + big + "<>" + big + ">");  // 2 MiB: no dump
    ASSERT_TRUE(out.Open("/dev/full"));
    EXPECT_EQ(Raised([&] { out.Write(big); }).Message,
              "Could not write output file: No space left on device");
    EXPECT_THROW(out.Close(),
                 Exception);  // a file that lost a write never closes as written
}

TEST(XmlExport, FieldTypeTable) {
    using Form = quantora::XmlValueForm;
    const struct {
        int type;
        const char* name;
        Form form;
    } cases[] = {{ftFixedChar, "FixedChar", Form::Integer},
                 {ftLargeint, "Largeint", Form::Hex},
                 {ftBoolean, "Boolean", Form::Integer},
                 {ftGuid, "Guid", Form::Hex},
                 {-1, "", Form::None},
                 {quantora::kXmlFieldTypeCount, "", Form::None}};
    for (const auto& c : cases) {
        EXPECT_STREQ(quantora::XmlFieldTypeName(c.type), c.name) << c.type;
        EXPECT_EQ(quantora::XmlValueFormOf(c.type), c.form) << c.type;
        EXPECT_EQ(quantora::XmlFieldTypeNumber(c.name), *c.name ? c.type : -1);
    }
    EXPECT_EQ(quantora::XmlFieldTypeNumber("Int"), -1);
}

// The import inserts tables in file order: a table that another exported table refers to
// (a column named after it, TABLE_ID) is exported first.
TEST(XmlExport, ReferencedTablesComeFirst) {
    TestDatabase db(true);
    std::vector<std::string> order;
    for (const char* const* t = QuantoraXmlExporter::ExportedTables; *t; ++t) order.push_back(*t);
    for (size_t i = 0; i < order.size(); ++i) {
        TQuery q;
        db.Open(q, "SELECT * FROM " + order[i] + " WHERE 1 = 0");
        for (int f = 0; f < q.FieldCount(); ++f) {
            std::string name = q.Fields()[f]->FieldName();
            for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (name.size() < 4 || name.compare(name.size() - 3, 3, "_ID") != 0) continue;
            const auto ref = std::find(order.begin(), order.end(), name.substr(0, name.size() - 3));
            if (ref != order.end() && *ref != order[i]) {
                EXPECT_LT(ref - order.begin(), static_cast<std::ptrdiff_t>(i))
                    << order[i] << "." << name;
            }
        }
    }
}
