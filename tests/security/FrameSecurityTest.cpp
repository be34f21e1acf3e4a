// Hostile table and column names at the frame's entry points (query guards, ExecQuery::copy,
// the deletion functions and runtime-made deletion rules) in one table, and hostile texts through
// the deletion reports. A name that is not a plain identifier is refused before any SQL runs.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/Deletion.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/frame/SqlNames.h"
#include "tests/exchange/ExchangeTestSupport.h"
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
    const AnsiString m = Raised(f).Message;
    EXPECT_TRUE(m.rfind(context, 0) == 0 && m.find("valid") != AnsiString::npos)
        << context << " '" << name << "': " << m;
}

// Every entry point with a hostile name in each place a name goes; the first four take any bytes,
// the others a C string.
TEST(HostileNames, FrameEntryPointsRefuseThem) {
    TestDatabase db(true);
    FillBystanderRows(db.alias());
    const TableDump before = DumpTables(db.alias());
    const ReferringTableInfo_t end{Blocking, nullptr, nullptr, nullptr};
    const ReferringTableInfo_t samples[] = {{Blocking, "SAMPLE", "NAME", "EMPLOYEE_ID"}, end};
    std::set<AnsiString> blocking, nulled;
    auto check = [&](const ReferringTableInfo_t& d) {
        const ReferringTableInfo_t rules[] = {d, end};
        CheckBeforeDeletion_IntKey(db.alias(), "EMPLOYEE", 1, rules, &blocking, nullptr);
    };
    auto copy = [&](const char* n) {
        TQuery sq, dq;
        sq.SetDatabaseName(db.alias());
        dq.SetDatabaseName(db.alias());
        ExecQuery from{false, &sq, nullptr}, to{false, &dq, nullptr};
        to.copy(&from, n);
    };
    const quantora::DetailStep details[] = {{"DELETE FROM SAMPLE WHERE SAMPLE_ID = %d"}};
    using Call = std::function<void(const AnsiString&, const char*)>;
    const std::vector<std::pair<const char*, Call>> calls = {
        {"DeleteRecord_IntKey", [&](auto& s, auto) { DeleteRecord_IntKey(db.alias(), s, 1); }},
        {"CheckBeforeDeletion_IntKey",
         [&](auto& s, auto) {
             CheckBeforeDeletion_IntKey(db.alias(), s, 1, samples, &blocking, &nulled);
         }},
        {"NullReferences_IntKey",
         [&](auto& s, auto) { NullReferences_IntKey(db.alias(), s, 1, samples); }},
        {"DeletionRulesBuilder", [](auto& s, auto) { quantora::DeletionRulesBuilder b(s); }},
        {"AutoQuery", [&](auto&, const char* n) { AutoQuery q(nullptr, db.name(), n); }},
        {"AutoDeleteQuery", [&](auto&, const char* n) { AutoDeleteQuery q(db.name(), n); }},
        {"SimpleAutoUpdateQuery",
         [&](auto&, const char* n) { SimpleAutoUpdateQuery q(db.name(), n, "NAME"); }},
        {"SimpleAutoUpdateQuery",
         [&](auto&, const char* n) { SimpleAutoUpdateQuery q(db.name(), "SAMPLE", n); }},
        {"ExecQuery::copy", [&](auto&, const char* n) { copy(n); }},
        {"CheckBeforeDeletion_IntKey",
         [&](auto&, const char* n) {
             check({NullOnDelete, n, "NAME", nullptr});
         }},
        {"CheckBeforeDeletion_IntKey",
         [&](auto&, const char* n) {
             check({NullOnDelete, "SAMPLE", n, nullptr});
         }},
        {"CheckBeforeDeletion_IntKey",
         [&](auto&, const char* n) {
             check({NullOnDelete, "SAMPLE", "NAME", n});
         }},
        {"NullReferences_IntKey",  // nulling references uses the table's name only
         [&](auto&, const char* n) {
             const ReferringTableInfo_t rules[] = {{NullOnDelete, n, "NAME", nullptr}, end};
             NullReferences_IntKey(db.alias(), "EMPLOYEE", 1, rules);
         }},
        {"DeleteWithDetails",  // stops before its first detail statement
         [&](auto&, const char* n) {
             quantora::DeleteWithDetails({n, nullptr, details}, db.alias(), 1);
         }},
    };
    for (const AnsiString& name : HostileNames()) {
        const bool cString = !name.empty() && std::strlen(name.c_str()) == name.size();
        for (std::size_t i = 0; i < calls.size(); ++i)
            if (i < 4 || cString)
                ExpectRefused([&] { calls[i].second(name, name.c_str()); }, calls[i].first, name);
        EXPECT_EQ(DumpTables(db.alias()), before) << name;
    }
    EXPECT_THROW(AutoDeleteQuery(db.name(), nullptr), Exception);

    // The display text of a report is data: quotes, comment markers and conversions show as
    // they are stored.
    CheckBeforeDeletion_IntKey(db.alias(), "EMPLOYEE", 2, samples, &blocking, nullptr);
    EXPECT_EQ(blocking, std::set<AnsiString>{"SAMPLE ID=2 of 'S2'"});
    db.Exec("UPDATE SAMPLE SET NAME = '%s%n'' --' WHERE SAMPLE_ID = 2");
    CheckBeforeDeletion_IntKey(db.alias(), "EMPLOYEE", 2, samples, &blocking, nullptr);
    EXPECT_EQ(blocking, std::set<AnsiString>{"SAMPLE ID=2 of '%s%n' --'"});
}

// A refused name as a message shows it: control bytes and quotes escaped, cut after 80 bytes.
TEST(HostileNames, MessagesShowThemEscapedAndCut) {
    const AnsiString eighty(80, 'N');
    const std::pair<AnsiString, AnsiString> cases[] = {
        {"SAMPLE", "SAMPLE"},
        {AnsiString("A'\n\x7f", 4), "A\\x27\\x0A\\x7F"},
        {eighty, eighty},
        {eighty + "X", eighty + "... (81 bytes)"},
    };
    for (const auto& [name, shown] : cases) EXPECT_EQ(quantora::ShownName(name), shown) << name;
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
}

}  // namespace
