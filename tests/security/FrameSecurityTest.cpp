// Hostile table and column names at the frame's entry points (query guards, ExecQuery::copy,
// the deletion functions and runtime-made deletion rules), and hostile texts through the
// deletion reports. A name that is not a plain identifier is refused before any SQL runs.
#include <gtest/gtest.h>

#include <cstring>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/Deletion.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/frame/SqlNames.h"
#include "tests/security/SecurityTestSupport.h"
#include "tests/support/TestDatabase.h"

using namespace quantora::test;

namespace {

// Names that try to end, extend or comment out the statement they are put in.
std::vector<AnsiString> HostileNames() {
    std::vector<AnsiString> names = HostileTexts();
    for (const char* n : {"SAMPLE; DELETE FROM EMPLOYEE", "SAMPLE--", "SAMPLE/**/", "\"SAMPLE\"",
                          "SAMPLE WHERE 1=0", "SAMPLE\n", "1SAMPLE", "SAMPLE.NAME", "", "S\\AMPLE",
                          "[SAMPLE]", "`SAMPLE`", "SAMPLE)"})
        names.emplace_back(n);
    names.push_back(AnsiString(64, 'S'));  // longer than PostgreSQL keeps
    names.push_back(AnsiString("SAMPLE\0; DELETE FROM EMPLOYEE", 29));
    return names;
}

// Runs `f`, which must throw an Exception naming `context`.
template <class F>
void ExpectRefused(F&& f, const char* context, const AnsiString& name) {
    try {
        f();
        ADD_FAILURE() << context << " took '" << name << "'";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message.rfind(context, 0), 0u) << e.Message;
        EXPECT_NE(e.Message.find("valid"), AnsiString::npos) << e.Message;
    }
}

TEST(SqlNames, IdentifiersAreTheOnlyNamesAccepted) {
    for (const AnsiString& n : HostileNames()) EXPECT_FALSE(quantora::IsSqlName(n)) << n;
    for (const char* n : {"SAMPLE", "sample", "_x", "T1", "BLOBCHUNK"})
        EXPECT_TRUE(quantora::IsSqlName(n)) << n;
    EXPECT_TRUE(quantora::IsSqlName(AnsiString(63, 'S')));
    EXPECT_TRUE(quantora::IsSchemaTable("Sample"));
    for (const char* n : {"sqlite_master", "sqlite_sequence", "pg_class", "pg_authid", "T"})
        EXPECT_FALSE(quantora::IsSchemaTable(n)) << n;

    EXPECT_EQ(quantora::SqlStringLiteral("x'; --", "t"), "'x''; --'");
    EXPECT_THROW(quantora::SqlStringLiteral(AnsiString("a\0b", 3), "t"), Exception);
}

TEST(QueryGuardNames, HostileTableAndColumnNamesAreRefused) {
    TestDatabase db(true);
    FillBystanderRows(db.alias());
    const TableDump before = DumpTables(db.alias());
    for (const AnsiString& name : HostileNames()) {
        const char* n = name.c_str();
        if (!name.empty() && std::strlen(n) == name.size()) {
            ExpectRefused([&] { AutoQuery q(nullptr, db.name(), n); }, "AutoQuery", name);
            ExpectRefused([&] { AutoDeleteQuery q(db.name(), n); }, "AutoDeleteQuery", name);
            ExpectRefused([&] { SimpleAutoUpdateQuery q(db.name(), n, "NAME"); },
                          "SimpleAutoUpdateQuery", name);
            ExpectRefused([&] { SimpleAutoUpdateQuery q(db.name(), "SAMPLE", n); },
                          "SimpleAutoUpdateQuery", name);
            TQuery sq, dq;
            sq.SetDatabaseName(db.alias());
            dq.SetDatabaseName(db.alias());
            ExecQuery from{false, &sq, nullptr}, to{false, &dq, nullptr};
            ExpectRefused([&] { to.copy(&from, n); }, "ExecQuery::copy", name);
        }
        EXPECT_EQ(DumpTables(db.alias()), before) << name;
    }
    EXPECT_THROW(AutoDeleteQuery(db.name(), nullptr), Exception);
    // A side without a query cannot be opened: nothing is copied.
    TQuery sq;
    sq.SetDatabaseName(db.alias());
    sq.SetSQL("SELECT * FROM SAMPLE");
    ExecQuery side{false, &sq, nullptr}, none{false, nullptr, nullptr};
    EXPECT_FALSE(none.copy(&side));
    EXPECT_FALSE(side.copy(&none));
    EXPECT_FALSE(side.copy(nullptr));
    EXPECT_EQ(DumpTables(db.alias()), before);
}

TEST(DeletionNames, HostileTableNamesAndDescriptorsAreRefused) {
    TestDatabase db(true);
    FillBystanderRows(db.alias());
    const TableDump before = DumpTables(db.alias());
    const ReferringTableInfo_t samples[] = {{Blocking, "SAMPLE", "NAME", "EMPLOYEE_ID"},
                                            {Blocking, nullptr, nullptr, nullptr}};
    std::set<AnsiString> blocking, nulled;
    for (const AnsiString& name : HostileNames()) {
        ExpectRefused([&] { DeleteRecord_IntKey(db.alias(), name, 1); }, "DeleteRecord_IntKey",
                      name);
        ExpectRefused(
            [&] { CheckBeforeDeletion_IntKey(db.alias(), name, 1, samples, &blocking, &nulled); },
            "CheckBeforeDeletion_IntKey", name);
        ExpectRefused([&] { NullReferences_IntKey(db.alias(), name, 1, samples); },
                      "NullReferences_IntKey", name);
        ExpectRefused([&] { quantora::DeletionRulesBuilder b(name); }, "DeletionRulesBuilder",
                      name);
        if (!name.empty() && std::strlen(name.c_str()) == name.size()) {
            // The name as the referring table, its display column and its key column.
            const char* n = name.c_str();
            const ReferringTableInfo_t bad[][2] = {
                {{NullOnDelete, n, "NAME", nullptr}, {Blocking, nullptr, nullptr, nullptr}},
                {{NullOnDelete, "SAMPLE", n, nullptr}, {Blocking, nullptr, nullptr, nullptr}},
                {{NullOnDelete, "SAMPLE", "NAME", n}, {Blocking, nullptr, nullptr, nullptr}}};
            for (const auto& rules : bad)
                ExpectRefused(
                    [&] {
                        CheckBeforeDeletion_IntKey(db.alias(), "EMPLOYEE", 1, rules, &blocking,
                                                   nullptr);
                    },
                    "CheckBeforeDeletion_IntKey", name);
            // Nulling references uses the table's name only.
            ExpectRefused([&] { NullReferences_IntKey(db.alias(), "EMPLOYEE", 1, bad[0]); },
                          "NullReferences_IntKey", name);
            // A cascade with a bad table stops before its first detail statement.
            const quantora::DetailStep details[] = {{"DELETE FROM SAMPLE WHERE SAMPLE_ID = %d"}};
            quantora::DeletionRules rules{name.c_str(), nullptr, details};
            ExpectRefused([&] { quantora::DeleteWithDetails(rules, db.alias(), 1); },
                          "DeleteWithDetails", name);
        }
        EXPECT_EQ(DumpTables(db.alias()), before) << name;
    }

    // The display text of a report is data: quotes, comment markers and conversions show as
    // they are stored.
    CheckBeforeDeletion_IntKey(db.alias(), "EMPLOYEE", 2, samples, &blocking, nullptr);
    EXPECT_EQ(blocking, std::set<AnsiString>{"SAMPLE ID=2 of 'S2'"});
    db.Exec("UPDATE SAMPLE SET NAME = '%s%n'' --' WHERE SAMPLE_ID = 2");
    CheckBeforeDeletion_IntKey(db.alias(), "EMPLOYEE", 2, samples, &blocking, nullptr);
    EXPECT_EQ(blocking, std::set<AnsiString>{"SAMPLE ID=2 of '%s%n' --'"});
}

TEST(DeletionNames, RuntimeFormatsMustTakeExactlyTheKey) {
    const char* badStatements[] = {"DELETE FROM SAMPLE WHERE NAME = '%s'",
                                   "DELETE FROM SAMPLE WHERE SAMPLE_ID = %d OR SAMPLE_ID = %d",
                                   "DELETE FROM SAMPLE", "DELETE FROM SAMPLE WHERE X = %n"};
    for (const char* sql : badStatements) {
        quantora::DeletionRulesBuilder b("SAMPLE");
        EXPECT_THROW(b.Detail(sql), Exception) << sql;
        EXPECT_THROW(b.Delete(sql), Exception) << sql;
        EXPECT_THROW(b.Check(sql, "SAMPLE ID=%d of '%s'", Blocking), Exception) << sql;
        EXPECT_TRUE(b.Rules().details.empty() && b.Rules().deletes.empty() &&
                    b.Rules().checks.empty());
    }
    quantora::DeletionRulesBuilder b("SAMPLE");
    const char* ok = "SELECT SAMPLE_ID, NAME FROM SAMPLE WHERE EMPLOYEE_ID = %d";
    for (const char* message : {"%s ID=%d", "ID=%d of '%s' %s", "%d%%s%n", "ID=%5d"})
        EXPECT_THROW(b.Check(ok, message, Blocking), Exception) << message;
    EXPECT_NO_THROW(b.Check(ok, "SAMPLE ID=%d of '%s' (100%%)", Blocking));
    EXPECT_NO_THROW(b.Check(ok, "SAMPLE ID=%d", NullOnDelete));
    EXPECT_EQ(b.Rules().checks.size(), 2u);
}

}  // namespace
