// The lab schema: created once whatever the calls, and named table by table by the registry.
#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "quantora/dblayer/Database.h"
#include "quantora/frame/SqlNames.h"
#include "tests/support/TestDatabase.h"

TEST(LabTables, TheRegistryNamesEveryTableTheSchemaCreates) {
    quantora::test::TestDatabase db(true);
    CreateSchema(db.alias());  // a second time changes nothing
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM SCHEMAVERSION"), "1");
    AnsiString names = db.Rows(db.postgres() ? "SELECT table_name FROM information_schema.tables "
                                               "WHERE table_schema = current_schema()"
                                             : "SELECT name FROM sqlite_master WHERE type = "
                                               "'table' AND name NOT LIKE 'sqlite%'");
    for (char& c : names) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::set<AnsiString> created;
    for (size_t at = 0, end; (end = names.find('\n', at)) != AnsiString::npos; at = end + 1)
        created.insert(names.substr(at, end - at));
    const auto& registry = quantora::SchemaTableNames();
    EXPECT_EQ(std::set<AnsiString>(registry.begin(), registry.end()), created);
    EXPECT_EQ(registry.size(), created.size()) << "a table is listed twice";
    created.erase("SCHEMAVERSION");
    for (const AnsiString& table : created)
        EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM " + table), "0") << table;
}
