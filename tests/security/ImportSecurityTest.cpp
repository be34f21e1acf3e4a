// Hostile table and field names in otherwise importable XML files: names that try to reach SQL
// or tables outside the lab schema are refused with one short message and nothing imported.
#include <gtest/gtest.h>

#include "quantora/base/Exception.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/exchange/XmlImporter.h"
#include "quantora/frame/SqlNames.h"
#include "tests/exchange/ExchangeTestSupport.h"
#include "tests/security/SecurityTestSupport.h"
#include "tests/support/TestDatabase.h"

using namespace quantora::test;

namespace {

TEST(XmlImportHostile, TableNamesOutsideTheSchemaAreRefused) {
    TestDatabase db(true);
    FillBystanderRows(db.alias());
    const TableDump before = DumpTables(db.alias());
    TempPath path;
    QuantoraXmlExporter().ExportDatabase(db.name(), path.c_str());
    const std::string file = ReadText(path.str());

    std::vector<AnsiString> names = HostileTexts();
    for (const char* n : {"main.SAMPLE", "sqlite_master", "sqlite_schema", "pg_class",
                          "information_schema", "NOSUCHTABLE", "oid", "ctid", "rowid"})
        names.emplace_back(n);
    names.push_back(AnsiString(64, 'S'));
    names.push_back("SAMPLE" + AnsiString(100000, 'X'));
    quantora::XmlImportOptions replace, skip;
    replace.replaceExistingRows = skip.replaceExistingRows = true;
    skip.skipUnknownTables = true;
    for (const AnsiString& name : names) {
        std::string attr;  // the format escapes only the double quote
        for (char c : name) attr += c == '"' ? std::string("&quot;") : std::string(1, c);
        const std::string asTable = Replaced(file, "<Table Name=\"SAMPLE\">",
                                             "<Table Name=\"" + attr + "\">"),
                          asField = Replaced(file, "<FieldDesc Name=\"NAME\"",
                                             "<FieldDesc Name=\"" + attr + "\"",
                                             "<Table Name=\"SAMPLE\">");
        // A name that is not an identifier is refused even when unknown tables are skipped.
        const bool identifier = quantora::IsSqlName(name);
        for (const auto& [text, options, message] :
             {std::tuple{&asTable, replace,
                         identifier ? "not a table of the lab schema" : "not a valid table name"},
              {&asTable, identifier ? replace : skip, ""},
              {&asField, replace, identifier ? "" : "not a valid field name"}}) {
            TempPath input;
            WriteFileBytes(input.str(), *text);
            const AnsiString refused =
                Raised([&] {
                    quantora::ImportXmlDatabase(db.alias(), input.str(), nullptr, options);
                }).Message;
            EXPECT_NE(refused.find("nothing was imported"), AnsiString::npos) << refused;
            EXPECT_NE(refused.find(message), AnsiString::npos) << refused;
            EXPECT_LT(refused.size(), 1000u);
            EXPECT_EQ(DumpTables(db.alias()), before) << name.substr(0, 80);
        }
    }
}

}  // namespace
