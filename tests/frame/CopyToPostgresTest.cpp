// The lab schema: created once whatever the calls and named table by table by the registry; and
// ExecQuery::copy from a filled SQLite database into an empty PostgreSQL one: every table of the
// schema, every column type, read back equal on both sides.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <set>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/SqlText.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/frame/SqlNames.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::MemoryLogger;
using quantora::test::TestDatabase;

namespace {

constexpr int kRows = 2;  // row 1 holds null in every column that may be null

// The value of column `col` (field `f`) in row `row`: extremes in row 0 (texts with quotes, a
// backslash, a parameter-like word and UTF-8, cut on a character boundary); row 1 null where
// allowed.
Variant SampleValue(const TField* f, int row, int col, bool key, bool required) {
    const TFieldType t = f->DataType();
    if (key) {
        if (t == ftString) return Variant(Format("K%d", row));
        if (t == ftDateTime) return Variant::FromDate(45000.5 + row + row * 1e-6 / 86400);
        return Variant(row + 1);
    }
    if (row == 1 && !required) return Variant();
    AnsiString s = Format("%d \xC3\x84rger 'q' \"d\" back\\slash :param \xC2\xB5s ", col);
    while (s.size() < 20000) s += s;
    size_t cut = t == ftMemo ? s.size() : static_cast<size_t>(f->Size());
    while ((static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
    switch (t) {
        case ftInteger:
            return Variant(INT_MIN + col);
        case ftSmallint:
            return Variant(-32768);
        case ftFloat:
            return Variant(col % 2 ? -1.7976931348623157e308 : 1e-300 * col);
        case ftDateTime:
            return Variant::FromDate(
                quantora::EncodeDateTime({1900 + col, 12, 5, 18, 15, 33, 123456}));
        case ftString:  // some empty, not null
            if (f->Size() == 1 || col % 3 == 0) return Variant(f->Size() == 1 ? "Y" : "");
            [[fallthrough]];
        case ftMemo:
            return Variant(s.substr(0, cut));
        case ftBlob: {
            AnsiString bytes(100000, '\0');  // every byte value
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<char>(i + i / 251 + col);
            return Variant::FromBlob(bytes);
        }
        default:
            ADD_FAILURE() << "no sample value for field " << f->FieldName() << " of type " << t;
            return Variant();
    }
}

// A table as text: its columns' names and types, then its rows sorted.
std::vector<AnsiString> ReadTable(const TestDatabase& db, const AnsiString& table,
                                  std::set<TFieldType>& seen) {
    TQuery q;
    db.Prep(q, "SELECT * FROM " + table);
    std::vector<AnsiString> rows(1);
    for (q.Open(); !q.Eof(); q.Next()) {
        rows.emplace_back();
        for (int i = 0; i < q.FieldCount(); ++i)
            rows.back() += (q.Fields()[i]->IsNull() ? "N" : "V" + q.Fields()[i]->AsString()) + "|";
    }
    std::sort(rows.begin() + 1, rows.end());
    for (int i = 0; i < q.FieldCount(); ++i) {
        rows[0] += Format("%s:%d|", q.Fields()[i]->FieldName().c_str(), q.Fields()[i]->DataType());
        seen.insert(q.Fields()[i]->DataType());
    }
    return rows;
}

}  // namespace

TEST(ExecQueryCopy, CopiesEveryTableOfAnSqliteDatabaseIntoPostgres) {
    if (!quantora::test::UsingPostgres())
        GTEST_SKIP() << "copies into PostgreSQL: runs only when QUANTORA_TEST_PG names a server";
    TestDatabase src(true, true), dst(true);
    ASSERT_TRUE(dst.postgres());
    for (const AnsiString& table : quantora::SchemaTableNames()) {
        if (table == "SCHEMAVERSION") continue;  // CreateSchema wrote it on both sides
        std::vector<AnsiString> key = quantora::db::ConnectionFor(src.alias())->PrimaryKey(table);
        TQuery q;
        src.Prep(q, "SELECT * FROM " + table, true);
        q.Open();
        for (int row = 0; row < kRows; ++row) {
            q.Insert();
            for (int col = 0; col < q.FieldCount(); ++col) {
                TField* f = q.Fields()[col];
                bool isKey = std::any_of(key.begin(), key.end(), [&](const AnsiString& k) {
                    return quantora::db::SameName(k, f->FieldName());
                });
                // Key columns and the one other NOT NULL column take a value in every row.
                Variant v = SampleValue(f, row, col, isKey, isKey || table == "KEYSEQUENCE");
                if (!v.IsNull()) f->SetAsVariant(v);
            }
            q.Post();
        }
    }

    TQuery sq, dq;
    sq.SetDatabaseName(src.alias());
    dq.SetDatabaseName(dst.alias());
    MemoryLogger log;
    ExecQuery from{false, &sq, nullptr}, to{false, &dq, &log};
    for (const AnsiString& table : quantora::SchemaTableNames())
        ASSERT_TRUE(table == "SCHEMAVERSION" || to.copy(&from, table.c_str())) << table;
    sq.Close();
    dq.Close();
    for (const auto& e : log.entries) EXPECT_NE(e.kind, MemoryLogger::Kind::Error) << e.text;

    std::set<TFieldType> seen;
    for (const AnsiString& table : quantora::SchemaTableNames()) {
        const auto rows = ReadTable(src, table, seen);
        EXPECT_EQ(rows, ReadTable(dst, table, seen)) << table;
        EXPECT_EQ(rows.size(), table == "SCHEMAVERSION" ? rows.size() : size_t{kRows + 1});
    }
    EXPECT_EQ(seen, (std::set<TFieldType>{ftInteger, ftSmallint, ftFloat, ftString, ftMemo, ftBlob,
                                          ftDateTime}));
}

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
