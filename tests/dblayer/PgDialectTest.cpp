// The PostgreSQL engine's reading of SQL text and value text; needs no server.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "quantora/base/DateTime.h"
#include "quantora/dblayer/postgres/PgDialect.h"

namespace pg = quantora::db::pg;

TEST(PgDialect, TransactionControlIsTakenApart) {
    using Op = pg::ControlStatement::Op;
    struct Case {
        const char* sql;
        Op op;
        const char* detail;  // the savepoint, or for Begin the statement sent
    };
    for (Case c :
         {Case{"BEGIN IMMEDIATE", Op::Begin, "BEGIN"},  // SQLite's lock mode is dropped
          {"begin exclusive transaction;", Op::Begin, "BEGIN"},
          {"BEGIN ISOLATION LEVEL SERIALIZABLE", Op::Begin, "BEGIN ISOLATION LEVEL SERIALIZABLE"},
          {"SAVEPOINT Quantora_SP2", Op::Savepoint, "quantora_sp2"},  // folded
          {"RELEASE \"Mixed\"\"Name\"", Op::Release, "Mixed\"Name"},
          {"ROLLBACK TRANSACTION TO SAVEPOINT s1;", Op::RollbackTo, "s1"},
          {"ROLLBACK;", Op::Rollback, ""}}) {
        pg::ControlStatement out;
        ASSERT_TRUE(pg::ParseControl(c.sql, out)) << c.sql;
        EXPECT_EQ(out.op, c.op) << c.sql;
        EXPECT_EQ(c.op == Op::Begin ? out.begin_sql : out.savepoint, c.detail);
    }
    pg::ControlStatement c;
    for (const char* bad : {"SAVEPOINT", "SAVEPOINT 1x", "RELEASE", "COMMIT AND CHAIN",
                            "ROLLBACK TO", "BEGIN IMMEDIATE NONSENSE", "START", "SELECT 1"})
        EXPECT_FALSE(pg::ParseControl(bad, c)) << bad;
}

TEST(PgDialect, PortableDdlTypes) {
    EXPECT_EQ(pg::TranslateDdl("CREATE TABLE T (V DOUBLE, D BLOB, N VARCHAR(10))"),
              "CREATE TABLE T (V DOUBLE PRECISION, D BYTEA, N VARCHAR(10))");
    // Idempotent; words inside literals, quoted names, comments and longer names stay.
    const char* kept =
        "CREATE TABLE T (V DOUBLE PRECISION, \"BLOB\" INT, DOUBLES INT, BLOBS BYTEA DEFAULT "
        "'BLOB' -- DOUBLE\n)";
    EXPECT_EQ(pg::TranslateDdl(kept), kept);
    EXPECT_EQ(pg::TranslateDdl("ALTER TABLE T ADD COLUMN X double"),
              "ALTER TABLE T ADD COLUMN X double PRECISION");
    EXPECT_EQ(pg::TranslateDdl("/* BLOB */ CREATE TABLE T (x blob)"),
              "/* BLOB */ CREATE TABLE T (x BYTEA)");
    EXPECT_TRUE(pg::IsDdl(" create index i on t (a)"));
    EXPECT_FALSE(pg::IsDdl("SELECT 'CREATE'"));
}

TEST(PgDialect, PlaceholdersOutsideLiterals) {
    EXPECT_EQ(pg::HighestPlaceholder("SELECT * FROM t WHERE a = $2 AND b = $10 OR c = $1"), 10);
    EXPECT_EQ(pg::HighestPlaceholder("SELECT '$5', \"$6\", $$ $7 $$, $tag$ $8 $tag$ -- $9"), 0);
    EXPECT_EQ(pg::HighestPlaceholder("SELECT a$1 FROM t"), 0);  // part of a name
    EXPECT_EQ(pg::HighestPlaceholder("SELECT E'\\' $3' , $1"), 1);
}

TEST(PgDialect, ColumnTypesFromOids) {
    struct Case {
        unsigned oid;
        int mod;
        bool table;  // a table's column, not an expression
        TFieldType type;
        int size;
        pg::Decoder decoder;
    };
    for (Case c : {Case{21, -1, true, ftSmallint, 0, pg::Decoder::Int},
                   {23, -1, true, ftInteger, 0, pg::Decoder::Int},
                   {23, -1, false, ftLargeint, 0, pg::Decoder::Int},
                   {1700, 655366, true, ftFloat, 0, pg::Decoder::Float},
                   {1043, 44, true, ftString, 40, pg::Decoder::Text},
                   {1043, -1, true, ftString, 255, pg::Decoder::Text},   // no length given
                   {1043, 14, false, ftString, 255, pg::Decoder::Text},  // an expression's
                   {1042, 5, true, ftString, 1, pg::Decoder::Bpchar},
                   {25, -1, true, ftMemo, 0, pg::Decoder::Text},
                   {25, -1, false, ftString, 255, pg::Decoder::Text},
                   {17, -1, true, ftBlob, 0, pg::Decoder::Bytea},
                   {1184, -1, false, ftDateTime, 0, pg::Decoder::DateTime},
                   {1082, -1, true, ftDate, 0, pg::Decoder::DateTime},
                   {16, -1, true, ftBoolean, 0, pg::Decoder::Bool},
                   {2950, -1, true, ftString, 255, pg::Decoder::Text}}) {
        pg::ResultColumn r = pg::DescribeColumn("x", c.oid, c.mod, c.table);
        EXPECT_EQ(std::tuple(r.info.type, r.info.size, r.decoder),
                  std::tuple(c.type, c.size, c.decoder))
            << c.oid;
    }
    EXPECT_EQ(pg::ColumnName("measurement_id"), "MEASUREMENT_ID");
    EXPECT_EQ(pg::ColumnName("Mixed_Case"), "Mixed_Case");  // a quoted alias stays
}

TEST(PgDialect, ByteaAndDateTimeText) {
    AnsiString out;
    ASSERT_TRUE(pg::DecodeBytea("\\x00ff7Fa0", out));
    EXPECT_EQ(out, AnsiString("\x00\xff\x7f\xa0", 4));
    ASSERT_TRUE(pg::DecodeBytea("a\\\\b\\000\\377", out));  // escape form
    EXPECT_EQ(out, AnsiString("a\\b\0\xff", 5));
    for (const char* bad : {"\\x0", "\\x0g", "a\\", "\\4000", "\\08"})
        EXPECT_FALSE(pg::DecodeBytea(bad, out)) << bad;
    for (auto [in, want] : {std::pair{"2024-02-29 13:45:07.5+05:30", "2024-02-29 13:45:07.500000"},
                            {"1850-06-15 00:00:00-08", "1850-06-15 00:00:00.000000"},
                            {"2001-02-03", "2001-02-03 00:00:00.000000"}}) {
        ASSERT_TRUE(pg::NormalizeDateTime(in, out)) << in;
        EXPECT_EQ(out, want);
    }
    for (const char* bad : {"-infinity", "0044-03-15 00:00:00 BC", "10000-01-01 00:00:00",
                            "2001-02-03 04:05", "2001-02-03 04:05:06."})
        EXPECT_FALSE(pg::NormalizeDateTime(bad, out)) << bad;
    double v = 0;
    ASSERT_TRUE(pg::ParseDateTime("2001-02-03", v));
    EXPECT_EQ(v, static_cast<double>(quantora::DaysFromCivil(2001, 2, 3)));
    EXPECT_FALSE(pg::ParseDateTime("2001-02-30 00:00:00", v));
}
