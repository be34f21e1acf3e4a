// The registry of the lab's tables and the schema text name the same tables.
#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/SqlNames.h"
#include "tests/support/TestDatabase.h"

namespace {

TEST(LabTables, TheRegistryNamesEveryTableTheSchemaCreates) {
    quantora::test::TestDatabase db(true);
    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetSQL(db.postgres() ? "SELECT table_name FROM information_schema.tables "
                             "WHERE table_schema = current_schema()"
                           : "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT "
                             "LIKE 'sqlite%'");
    std::set<AnsiString> created;
    for (q.Open(); !q.Eof(); q.Next()) {
        AnsiString name = q.Fields()[0]->AsString();
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        created.insert(name);
    }
    const auto& registry = quantora::SchemaTableNames();
    EXPECT_EQ(std::set<AnsiString>(registry.begin(), registry.end()), created);
    EXPECT_EQ(registry.size(), created.size()) << "a table is listed twice";
}

}  // namespace
