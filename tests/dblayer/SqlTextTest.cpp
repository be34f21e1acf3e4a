// The layer's SQL reading: parameters, the dialect step, one-table detection, and numeric
// literals bound in place of the text (which ones, with what value and type, and that texts
// differing only in them share a statement while errors still show the caller's text).
#include <gtest/gtest.h>

#include <cctype>
#include <tuple>
#include <utility>
#include <vector>

#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/LiteralParams.h"
#include "quantora/dblayer/SqlText.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/internal/SqlShapes.h"
#include "tests/support/Raised.h"
#include "tests/support/TestDatabase.h"

using namespace quantora::db;

TEST(SqlText, ParametersSkipLiteralsCastsAndComments) {
    struct Case {
        const char* sql;
        const char* question;  // the text for SQLite; for PostgreSQL "?<n>" becomes "$<n>"
        std::vector<AnsiString> names;
    };
    const Case cases[] = {
        {"select ':no', \"a:b\" from T where A = :Id and B::text = :name -- :c\n and C = :ID",
         "select ':no', \"a:b\" from T where A = ?1 and B::text = ?2 -- :c\n and C = ?1",
         {"Id", "name"}},
        {"select /* it's :no? */ a from T where b = :b /* \"x:y */ and c = ?",
         "select /* it's :no? */ a from T where b = ?1 /* \"x:y */ and c = ?",
         {"b"}},
        // A colon before a blank or a digit names no parameter: the engine gets it as it is.
        {"values (:a, : b, :1)", "values (?1, : b, :1)", {"a"}},
        // "/*/" opens a comment that its own slash does not close, at the start as anywhere.
        {"/*/ :x */ select a from T where b = :b", "/*/ :x */ select a from T where b = ?1", {"b"}},
        {"values (:a,:b,:c,:d,:e,:f,:g,:h,:i,:j,:k, :a)",
         "values (?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11, ?1)",
         {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"}},
        // Unterminated literals and comments are passed on as they are, for the engine to reject.
        {"select 'abc :x", "select 'abc :x", {}},
        {"select 1 /* :x", "select 1 /* :x", {}},
    };
    for (const Case& c : cases) {
        const TranslatedSql q = TranslateSql(c.sql, PlaceholderStyle::QuestionNumber);
        EXPECT_EQ(q.text, c.question);
        EXPECT_EQ(q.param_names, c.names) << c.sql;
        const TranslatedSql d = TranslateSql(c.sql, PlaceholderStyle::DollarNumber);
        AnsiString dollar = c.question;
        for (size_t i = 0; i + 1 < dollar.size(); ++i)
            if (dollar[i] == '?' && isdigit(static_cast<unsigned char>(dollar[i + 1])))
                dollar[i] = '$';
        EXPECT_EQ(d.text, dollar);
        EXPECT_EQ(d.param_names, c.names) << c.sql;
        EXPECT_EQ(ParameterNames(c.sql), c.names) << c.sql;
    }
}

TEST(SqlText, DeleteGainsFromSetColumnsLoseTheTableAndEmptyInListsANull) {
    const std::pair<const char*, const char*> cases[] = {
        // nullptr: unchanged
        {"delete blobchunk where OWNER_ID = 5", "delete FROM blobchunk where OWNER_ID = 5"},
        {"  DELETE FROM T", nullptr},
        {"select deleted from T", nullptr},
        {"UPDATE EFFPEAK \r\n   SET EFFPEAK.PEAK_ID = NULL \r\nWHERE \r\n   EFFPEAK.PEAK_ID IN "
         "\r\n   (SELECT PEAK_ID FROM PEAK WHERE PEAKEVAL_ID = 7) ",
         "UPDATE EFFPEAK \r\n   SET PEAK_ID = NULL \r\nWHERE \r\n   EFFPEAK.PEAK_ID IN \r\n   "
         "(SELECT PEAK_ID FROM PEAK WHERE PEAKEVAL_ID = 7) "},
        // "set", "where" and the table's name inside strings or longer names are not the
        // keywords or the table.
        {"update T set X = 'T.X', T.Y = :v where T.Z = 1",
         "update T set X = 'T.X', Y = $1 where T.Z = 1"},
        {"update T set OFFSET = T.X, T.SETS = 1, TT.A = 2, T.NOWHERE = 3, T.WHEREAS = 4 where "
         "T.WHERE_X = 5",
         "update T set OFFSET = X, SETS = 1, TT.A = 2, NOWHERE = 3, WHEREAS = 4 where T.WHERE_X = "
         "5"},
        {"UPDATE SETTING SET SETTING.NAME = 'x' WHERE SETTING.SETTING_ID = 1",
         "UPDATE SETTING SET NAME = 'x' WHERE SETTING.SETTING_ID = 1"},
        {"select * from R where ID in ()  order by ID",
         "select * from R where ID in (NULL)  order by ID"},
        {"(select 1) union (select 2)", nullptr},  // a parenthesis before any word
    };
    for (auto [in, out] : cases)
        EXPECT_EQ(TranslateSql(in, PlaceholderStyle::DollarNumber).text, out ? out : in);
}

TEST(SqlText, SingleTableSelects) {
    EXPECT_EQ(SingleSelectTable("select A, (select max(B) from U) from T where A = 1 order by A"),
              "T");
    EXPECT_EQ(SingleSelectTable("select * from \"Quoted\""), "Quoted");
    EXPECT_EQ(SingleSelectTable("select * from `Ticked`"), "Ticked");
    EXPECT_EQ(SingleSelectTable("select * from [Bracketed]"), "Bracketed");
    for (const char* s : {"select * from A, B", "select * from A join B on A.X = B.X",
                          "select X, count(*) from T group by X", "select distinct X from T",
                          "select 1", "update T set X = 1", "select * from (select 1) s",
                          "select * from A union select * from B", "select * from \"\""})
        EXPECT_EQ(SingleSelectTable(s), "") << s;
}

TEST(LiteralParams, BindsComparedNumbersAndLeavesTheRest) {
    struct Case {
        const char* in;
        int params;
        const char* out;  // nullptr: unchanged
        std::vector<Variant> values;
    };
    const Case cases[] = {
        {"SELECT * FROM S WHERE MEASUREMENT_ID = 5 ORDER BY 2",
         0,
         "SELECT * FROM S WHERE MEASUREMENT_ID = ?1 ORDER BY 2",
         {int64_t{5}}},
        {"select * from T where A = ?1 and s.B<>-7 and \"C\">=1.5 and D < 1e-3",
         1,
         "select * from T where A = ?1 and s.B<>?2 and \"C\">=?3 and D < ?4",
         {int64_t{-7}, 1.5, 0.001}},
        {"update T set X = 3 where T.ID=4",
         0,
         "update T set X = ?1 where T.ID=?2",
         {int64_t{3}, int64_t{4}}},
        {"WITH c AS (SELECT 1) DELETE FROM T WHERE ID != .5;",
         0,
         "WITH c AS (SELECT 1) DELETE FROM T WHERE ID != ?1;",
         {0.5}},
        // Stay literal: strings, quoted names, comments, names, positions, type arguments.
        {"select 'A = 5', \"B = 6\", T1.COL_2, CAST(A AS VARCHAR(40)), CAST(B AS NUMERIC(10,2)) "
         "from T1 where C = 'x' -- D = 7\n /* E = 8 */ group by 1 order by 1, 2 limit 10 offset 5",
         0,
         nullptr,
         {}},
        // Select lists, CASE results and operands of arithmetic or casts.
        {"select 1, 3 + A, case when 1 = 1 then 2 else 3 end from T", 0, nullptr, {}},
        {"select * from T where A = 5 + B or A = 5*2 or A = 5::int or A = 5 || 'x' or A = 0x10 "
         "or A = 5abc or A = - 5 or A in (1, 2) or NULL = 5 or A between 1 and 5 or "
         "A = 99999999999999999999",
         0,
         nullptr,
         {}},
        // Placeholders the engine or someone else numbers.
        {"select * from T where A = ? and B = 5", 0, nullptr, {}},
        {"select * from T where A = ?3 and B = 5", 1, nullptr, {}},
        {"select * from T where A = $3 and B = 5", 1, nullptr, {}},
        // Statements that want constants.
        {"CREATE TABLE T (A VARCHAR(40) DEFAULT 0 CHECK (A > 0))", 0, nullptr, {}},
        {"PRAGMA busy_timeout = 200", 0, nullptr, {}},
    };
    // The shape cache gives what the two steps give: for a text, again, and with its digits
    // changed or doubled (so numbers and placeholders move).
    std::vector<AnsiString> texts = {"DELETE T WHERE A = :a AND B=:b AND C = 1.",
                                     "UPDATE T SET T.X = -.5, Y = :y WHERE T.ID = 42",
                                     "SELECT 1 FROM T WHERE A = 9e400",
                                     "SELECT * FROM T WHERE A = :a AND B = ?1 AND C = 5",
                                     "SELECT * FROM T WHERE A = :a AND B = $1 AND C = 5",
                                     "SELECT * FROM T WHERE B = 3 AND C = \x01",
                                     "SELECT * FROM T WHERE B = \x01 AND C = 5"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        BoundLiterals b = ParametrizeLiterals(c.in, PlaceholderStyle::QuestionNumber, c.params);
        EXPECT_EQ(b.text, c.out ? c.out : "");
        EXPECT_EQ(b.values, c.values);
        texts.push_back(c.in);
    }
    for (const AnsiString& text : texts) {
        AnsiString shifted = text, doubled;
        for (char& ch : shifted)
            if (ch >= '0' && ch <= '9') ch = static_cast<char>('0' + (ch - '0' + 3) % 10);
        for (char ch : text) doubled.append(ch >= '0' && ch <= '9' ? 2 : 1, ch);
        for (const AnsiString& sql : {text, text, shifted, doubled, text})
            for (PlaceholderStyle style :
                 {PlaceholderStyle::QuestionNumber, PlaceholderStyle::DollarNumber}) {
                SCOPED_TRACE(sql);
                TranslatedSql want = TranslateSql(sql, style), got;
                BoundLiterals wantBound = ParametrizeLiterals(
                                  want.text, style, static_cast<int>(want.param_names.size())),
                              gotBound;
                AnalyseSql(sql, style, &got, &gotBound);
                EXPECT_EQ(got.text, want.text);
                EXPECT_EQ(got.param_names, want.param_names);
                EXPECT_EQ(gotBound.text, wantBound.text);
                EXPECT_EQ(gotBound.values, wantBound.values);
            }
    }
    BoundLiterals pg = ParametrizeLiterals("DELETE FROM T WHERE \"ID\" = 2 AND X = $1",
                                           PlaceholderStyle::DollarNumber, 1);
    EXPECT_EQ(pg.text, "DELETE FROM T WHERE \"ID\" = $2 AND X = $1");
    EXPECT_EQ(pg.values, std::vector<Variant>{int64_t{2}});
}

TEST(LiteralParams, TextsDifferingInALiteralShareOneStatement) {
    quantora::test::TestDatabase db;
    db.Exec("CREATE TABLE L (ID INTEGER NOT NULL PRIMARY KEY, V VARCHAR(10), S SMALLINT)");
    db.Exec("INSERT INTO L (ID, V, S) VALUES (1, 'one', 1), (2, 'two', 2)");
    std::shared_ptr<Connection> conn = ConnectionFor(db.alias());
    db.Rows("SELECT V FROM L WHERE ID = 1");
    const uint64_t prepared = conn->PreparedCount();
    EXPECT_EQ(db.Rows("SELECT V FROM L WHERE ID = 2"), "two\n");
    EXPECT_EQ(db.Rows("SELECT V FROM L WHERE ID = 1"), "one\n");
    EXPECT_EQ(conn->PreparedCount(), prepared);
    if (db.engine() == quantora::test::TestEngine::PostgreSQL) {  // and the server holds it once
        EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM pg_prepared_statements WHERE statement LIKE "
                            "'%FROM L WHERE ID = $1'"),
                  "1");
    }
    // A real against an integer key and a number beyond a SMALLINT compare as numbers.
    EXPECT_EQ(db.Rows("SELECT V FROM L WHERE ID = 1.5"), "");
    EXPECT_EQ(db.Rows("SELECT V FROM L WHERE ID = 2.0"), "two\n");
    EXPECT_EQ(db.Rows("SELECT V FROM L WHERE S < 100000 ORDER BY ID"), "one\ntwo\n");
    // A prepared query stays prepared for a text that differs only in a bound literal; another
    // statement (an unbound number, other parameter names) is prepared anew.
    TQuery q;
    q.SetDatabaseName(db.alias());
    const std::tuple<const char*, bool, int, const char*> texts[] = {
        {"SELECT V FROM L WHERE ID = 1", false, 0, "one"},
        {"SELECT V FROM L WHERE ID = 2", true, 0, "two"},
        {"SELECT V FROM L ORDER BY ID LIMIT 1", false, 0, "one"},
        {"SELECT V FROM L ORDER BY ID LIMIT 2", false, 0, "two"},
        {"SELECT V FROM L WHERE ID = :A", false, 2, "two"},
        {"SELECT V FROM L WHERE ID = :B", false, 1, "one"}};
    for (const auto& [sql, kept, param, last] : texts) {
        q.SetSQL(sql);
        EXPECT_EQ(q.Prepared(), kept) << sql;
        if (param) q.Params()[0]->SetAsInteger(param);
        q.Prepare();
        AnsiString v;
        for (q.Open(); !q.Eof(); q.Next()) v = q.Fields()[0]->AsString();
        q.Close();
        EXPECT_EQ(v, last) << sql;
    }
    const AnsiString bad = "SELECT NO_SUCH FROM L WHERE ID = 2";
    const EDatabaseError e = quantora::test::Raised<EDatabaseError>([&] { db.Rows(bad); });
    EXPECT_EQ(e.Sql(), bad);
    EXPECT_NE(e.Message.find(bad), AnsiString::npos) << e.Message;
}
