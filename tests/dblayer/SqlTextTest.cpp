// The layer's SQL reading: parameters, the dialect step and one-table detection.
#include <gtest/gtest.h>

#include <vector>

#include "quantora/dblayer/SqlText.h"

using namespace quantora::db;

TEST(SqlText, ParametersSkipLiteralsCastsAndComments) {
    struct Case {
        const char* sql;
        const char* question;  // the text for SQLite
        const char* dollar;    // the text for PostgreSQL
        std::vector<AnsiString> names;
    };
    const Case cases[] = {
        {"select ':no', \"a:b\" from T where A = :Id and B::text = :name -- :c\n and C = :ID",
         "select ':no', \"a:b\" from T where A = ?1 and B::text = ?2 -- :c\n and C = ?1",
         "select ':no', \"a:b\" from T where A = $1 and B::text = $2 -- :c\n and C = $1",
         {"Id", "name"}},
        {"select /* it's :no? */ a from T where b = :b /* \"x:y */ and c = ?",
         "select /* it's :no? */ a from T where b = ?1 /* \"x:y */ and c = ?",
         "select /* it's :no? */ a from T where b = $1 /* \"x:y */ and c = ?",
         {"b"}},
        {"values (:a,:b,:c,:d,:e,:f,:g,:h,:i,:j,:k, :a)",
         "values (?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11, ?1)",
         "values ($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11, $1)",
         {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"}},
        // Unterminated literals and comments are passed on as they are, for the engine to reject.
        {"select 'abc :x", "select 'abc :x", "select 'abc :x", {}},
        {"select 1 /* :x", "select 1 /* :x", "select 1 /* :x", {}},
    };
    for (const Case& c : cases) {
        const TranslatedSql q = TranslateSql(c.sql, PlaceholderStyle::QuestionNumber);
        EXPECT_EQ(q.text, c.question);
        EXPECT_EQ(q.param_names, c.names) << c.sql;
        const TranslatedSql d = TranslateSql(c.sql, PlaceholderStyle::DollarNumber);
        EXPECT_EQ(d.text, c.dollar);
        EXPECT_EQ(d.param_names, c.names) << c.sql;
        EXPECT_EQ(ParameterNames(c.sql), c.names) << c.sql;
    }
}

TEST(SqlText, DeleteWithoutFromGainsIt) {
    auto text = [](const char* s) {
        return TranslateSql(s, PlaceholderStyle::QuestionNumber).text;
    };
    EXPECT_EQ(text("delete blobchunk where OWNER_ID = 5"),
              "delete FROM blobchunk where OWNER_ID = 5");
    EXPECT_EQ(text("  DELETE FROM T"), "  DELETE FROM T");
    EXPECT_EQ(text("-- note\nDelete T"), "-- note\nDelete FROM T");
    EXPECT_EQ(text("select deleted from T"), "select deleted from T");
}

TEST(SqlText, QualifiedSetColumnsAndEmptyInLists) {
    auto text = [](const char* s) { return TranslateSql(s, PlaceholderStyle::DollarNumber).text; };
    EXPECT_EQ(text("UPDATE EFFPEAK \r\n   SET EFFPEAK.PEAK_ID = NULL \r\nWHERE \r\n   "
                   "EFFPEAK.PEAK_ID IN \r\n   (SELECT PEAK_ID FROM PEAK WHERE PEAKEVAL_ID = 7) "),
              "UPDATE EFFPEAK \r\n   SET PEAK_ID = NULL \r\nWHERE \r\n   "
              "EFFPEAK.PEAK_ID IN \r\n   (SELECT PEAK_ID FROM PEAK WHERE PEAKEVAL_ID = 7) ");
    EXPECT_EQ(text("update T set X = 'T.X', T.Y = :v where T.Z = 1"),
              "update T set X = 'T.X', Y = $1 where T.Z = 1");
    // "set", "where" and the table's name inside longer names are not the keywords or the table.
    EXPECT_EQ(text("UPDATE SETTING SET SETTING.NAME = 'x' WHERE SETTING.SETTING_ID = 1"),
              "UPDATE SETTING SET NAME = 'x' WHERE SETTING.SETTING_ID = 1");
    EXPECT_EQ(text("update T set OFFSET = T.X, T.SETS = 1, TT.A = 2, T.NOWHERE = 3, "
                   "T.WHEREAS = 4 where T.WHERE_X = 5"),
              "update T set OFFSET = X, SETS = 1, TT.A = 2, NOWHERE = 3, WHEREAS = 4 where "
              "T.WHERE_X = 5");
    EXPECT_EQ(text("update TSET set TSET.A = 1 where TSET.A = 0"),
              "update TSET set A = 1 where TSET.A = 0");
    EXPECT_EQ(text("select * from R where ID in ()  order by ID"),
              "select * from R where ID in (NULL)  order by ID");
    EXPECT_EQ(text("select * from R where ID in ( 1,2)"), "select * from R where ID in ( 1,2)");
    EXPECT_EQ(text("select min () from R"), "select min () from R");
}

TEST(SqlText, SingleTableSelects) {
    EXPECT_EQ(SingleSelectTable("SELECT * FROM MEASUREMENT"), "MEASUREMENT");
    EXPECT_EQ(SingleSelectTable("select A, (select max(B) from U) from T where A = 1 order by A"),
              "T");
    EXPECT_EQ(SingleSelectTable("select * from \"Quoted\""), "Quoted");
    for (const char* s : {"select * from A, B", "select * from A join B on A.X = B.X",
                          "select X, count(*) from T group by X", "select distinct X from T",
                          "select 1", "update T set X = 1", "select * from (select 1) s",
                          "select * from A union select * from B", "select * from \"\""})
        EXPECT_EQ(SingleSelectTable(s), "") << s;
}
