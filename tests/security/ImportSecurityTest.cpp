// Hostile input in XML import files: table and field names that try to reach SQL or tables
// outside the lab schema are refused with nothing imported. Rows whose texts are hostile are
// part of the file, so each refusal is checked on a file that is otherwise importable.
#include <gtest/gtest.h>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/exchange/XmlImporter.h"
#include "tests/exchange/ExchangeTestSupport.h"
#include "tests/security/SecurityTestSupport.h"
#include "tests/support/TestDatabase.h"

using namespace quantora::test;

namespace {

// `name` as an XML attribute value (the format escapes only the double quote).
std::string Attr(const AnsiString& name) {
    std::string out;
    for (char c : name) out += c == '"' ? std::string("&quot;") : std::string(1, c);
    return out;
}

// Bystander rows plus rows whose texts are hostile, exported.
std::string HostileExport(const TestDatabase& db) {
    FillBystanderRows(db.alias());
    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetSQL("INSERT INTO SAMPLE (SAMPLE_ID, NAME, CMT, EMPLOYEE_ID) VALUES (:id, :n, :c, 1)");
    int id = 100;
    for (const AnsiString& t : HostileTexts()) {
        q.ParamByName("id")->SetAsInteger(++id);
        q.ParamByName("n")->SetAsString(t);
        q.ParamByName("c")->SetAsString(t + AnsiString(10000, '\'') + t);
        q.ExecSQL();
    }
    TempPath file;
    QuantoraXmlExporter().ExportDatabase(db.name(), file.c_str());
    return ReadFileBytes(file.str());
}

quantora::XmlImportResult Import(const AnsiString& alias, const std::string& text,
                                 const quantora::XmlImportOptions& options) {
    TempPath file;
    WriteFileBytes(file.str(), text);
    return quantora::ImportXmlDatabase(alias, file.str(), nullptr, options);
}

TEST(XmlImportHostile, TableNamesOutsideTheSchemaAreRefused) {
    TestDatabase source(true);
    const std::string file = HostileExport(source);
    TestDatabase target(true);
    FillBystanderRows(target.alias());
    const TableDump before = DumpTables(target.alias());

    std::vector<AnsiString> names = HostileTexts();
    for (const char* n :
         {"SAMPLE; DELETE FROM EMPLOYEE", "SAMPLE --", "SAMPLE/* */", "SAMPLE WHERE 1=0",
          "main.SAMPLE", "[SAMPLE]", "`SAMPLE`", "sqlite_master", "sqlite_sequence",
          "sqlite_schema", "pg_class", "pg_authid", "information_schema", "NOSUCHTABLE",
          "NAME) VALUES (1); DELETE FROM EMPLOYEE; --", "oid", "ctid", "rowid"})
        names.emplace_back(n);
    names.push_back(AnsiString(64, 'S'));
    names.push_back("SAMPLE" + AnsiString(100000, 'X'));
    quantora::XmlImportOptions replace;
    replace.replaceExistingRows = true;
    for (const AnsiString& name : names) {
        const std::string text =
            Replaced(file, "<Table Name=\"SAMPLE\">", "<Table Name=\"" + Attr(name) + "\">");
        try {
            Import(target.alias(), text, replace);
            ADD_FAILURE() << "imported into '" << name.substr(0, 80) << "'";
        } catch (const Exception& e) {
            EXPECT_NE(e.Message.find("nothing was imported"), AnsiString::npos) << e.Message;
            EXPECT_TRUE(e.Message.find("not a valid table name") != AnsiString::npos ||
                        e.Message.find("not a table of the lab schema") != AnsiString::npos)
                << e.Message;
            EXPECT_LT(e.Message.size(), 1000u);
        }
        EXPECT_EQ(DumpTables(target.alias()), before) << name.substr(0, 80);
        // The same name as a field of a known table.
        const size_t at =
            file.find("<FieldDesc Name=\"NAME\"", file.find("<Table Name=\"SAMPLE\">"));
        ASSERT_NE(at, std::string::npos);
        std::string field = file;
        field.replace(at, 22, "<FieldDesc Name=\"" + Attr(name) + "\"");
        EXPECT_THROW(Import(target.alias(), field, replace), Exception) << name.substr(0, 80);
        EXPECT_EQ(DumpTables(target.alias()), before) << name.substr(0, 80);
    }

    // Skipping unknown tables does not skip a name that is not an identifier.
    quantora::XmlImportOptions skip;
    skip.skipUnknownTables = true;
    const std::string smuggled =
        Replaced(file, "<Table Name=\"SAMPLE\">", "<Table Name=\"SAMPLE; DELETE FROM EMPLOYEE\">");
    EXPECT_THROW(Import(target.alias(), smuggled, skip), Exception);
    EXPECT_EQ(DumpTables(target.alias()), before);
}

}  // namespace
