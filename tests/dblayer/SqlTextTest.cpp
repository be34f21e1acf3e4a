// The layer's SQL reading: parameters, the dialect step and one-table detection.
#include <gtest/gtest.h>

#include "quantora/dblayer/SqlText.h"

using namespace quantora::db;

TEST(SqlText, ParametersSkipLiteralsCastsAndComments) {
    TranslatedSql t = TranslateSql(
        "select ':no', \"a:b\" from T where A = :Id and B::text = :name -- :c\n and C = :ID",
        PlaceholderStyle::DollarNumber);
    EXPECT_EQ(t.text,
              "select ':no', \"a:b\" from T where A = $1 and B::text = $2 -- :c\n and C = $1");
    ASSERT_EQ(t.param_names.size(), 2u);
    EXPECT_EQ(t.param_names[0], "Id");
    EXPECT_EQ(t.param_names[1], "name");

    TranslatedSql q =
        TranslateSql("update T set X = :p1 where T_ID = :p2", PlaceholderStyle::QuestionNumber);
    EXPECT_EQ(q.text, "update T set X = ?1 where T_ID = ?2");
    // An unterminated literal is passed on as it is, for the engine to reject.
    EXPECT_EQ(TranslateSql("select 'abc :x", PlaceholderStyle::QuestionNumber).text,
              "select 'abc :x");
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
