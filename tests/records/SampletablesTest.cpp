// Sample, geometry, irradiation, lot and client records: conditional writes, geometry
// parameters through the database, deletion reports and cascades.
#include <gtest/gtest.h>

#include <cmath>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/records/Sampletables.h"
#include "tests/records/CascadeCheck.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::CheckCascade;
using quantora::test::TestDatabase;
using Reports = std::set<AnsiString>;

namespace {

class SampletablesTest : public ::testing::Test {
  protected:
    TestDatabase db{true};
    TQuery alias;  // the parameter functions take the database from a query

    SampletablesTest() { alias.SetDatabaseName(db.alias()); }

    int Count(const AnsiString& sql) { return std::stoi(db.Scalar(sql)); }
    int Params(int geometry) {
        return Count(
            Format("SELECT COUNT(*) FROM SAMPLEGEOMPARAM WHERE SAMPLEGEOM_ID = %d", geometry));
    }

    template <class R>
    std::pair<Reports, Reports> Check(int R::*key, int value) {
        R r;
        r.*key = value;
        Reports blocking{"stale"}, nulled{"stale"};
        r.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
        return {blocking, nulled};
    }

    // Type 3 requires the parameters 301 to 303. Geometry 1 has values 12 (for 301) and 14
    // (302); geometry 2, of the same type, has values 21 to 23.
    void FillGeometries() {
        for (const char* row : {"301, 3, 'diameter', 'd', 1", "302, 3, 'height', 'h', 1",
                                "303, 3, 'material', 'm', 2", "401, 4, 'other', NULL, NULL"})
            db.Exec(
                Format("INSERT INTO SAMPLEGEOMREQPARAM (SAMPLEGEOMREQPARAM_ID, "
                       "SAMPLEGEOMTYPE_ID, NAME, SYMBOL, SAMPLEGEOMPARAMTYPE_ID) VALUES (%s)",
                       row));
        for (const char* row : {"1, 'beaker', 3", "2, 'vial', 3"})
            db.Exec(
                Format("INSERT INTO SAMPLEGEOM (SAMPLEGEOM_ID, NAME, SAMPLEGEOMTYPE_ID) VALUES "
                       "(%s)",
                       row));
        for (const char* row :
             {"12, 1, 301, 7.5, NULL, 2, 'x'",
              "14, 1, 302, NULL, 3.25, NULL, "
              "NULL",
              "21, 2, 301, 99, 0, 0, ''", "22, 2, 302, 99, 0, 0, ''", "23, 2, 303, 99, 0, 0, ''"})
            db.Exec(
                Format("INSERT INTO SAMPLEGEOMPARAM (SAMPLEGEOMPARAM_ID, SAMPLEGEOM_ID, "
                       "SAMPLEGEOMREQPARAM_ID, NUMVALUE1, NUMVALUE2, INTVALUE1, TEXTVALUE) "
                       "VALUES (%s)",
                       row));
    }

    SAMPLEGEOMData ReadGeometry(int key) {
        TQuery q;
        q.SetDatabaseName(db.alias());
        q.SetSQL(Format("SELECT * FROM SAMPLEGEOM WHERE SAMPLEGEOM_ID = %d", key));
        q.Open();
        SAMPLEGEOMData g;
        EXPECT_TRUE(g.GetData(&q));
        return g;
    }
};

void ExpectSame(const SAMPLEGEOMPARAM_EditData& a, const SAMPLEGEOMPARAM_EditData& b) {
    EXPECT_EQ(a.SAMPLEGEOMPARAM_ID, b.SAMPLEGEOMPARAM_ID);
    EXPECT_EQ(a.SAMPLEGEOMREQPARAM_ID, b.SAMPLEGEOMREQPARAM_ID);
    EXPECT_EQ(a.SAMPLEGEOMPARAMTYPE_ID, b.SAMPLEGEOMPARAMTYPE_ID);
    EXPECT_EQ(a.INTVALUE1, b.INTVALUE1);
    EXPECT_EQ(a.INTVALUE2, b.INTVALUE2);
    EXPECT_EQ(a.TEXTVALUE, b.TEXTVALUE);
    EXPECT_EQ(a.NUMVALUE1, b.NUMVALUE1);
    EXPECT_EQ(a.NUMVALUE2, b.NUMVALUE2);
    EXPECT_EQ(a.NAME + a.SYMBOL, b.NAME + b.SYMBOL);
}

}  // namespace

TEST_F(SampletablesTest, ConditionalColumnsStayNullOnInsert) {
    LOTData lot;
    lot.LOT_ID = 1;
    lot.Insert(nullptr, db.name(), nullptr);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM LOT WHERE COMPOSITION_ID IS NULL AND SAMPLESUBTYPE_ID "
                    "IS NULL AND PROJECT_ID = -1"),
              1);
    IRRADIATIONData irradiation;
    irradiation.IRRADIATION_ID = 1;
    irradiation.Insert(nullptr, db.name(), nullptr);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM IRRADIATION WHERE MONITOREVAL_ID IS NULL AND PROJECT_ID "
                    "= -1 AND IRRADIATIONLOCATION_ID = -1"),
              1);
    // Weights of 0.0, -1.0 and NaN are not written where only positive ones are.
    int key = 1;
    for (double weight : {0.0, -1.0, std::nan("")}) {
        SAMPLEData s;
        s.SAMPLE_ID = key++;
        s.SUPPORTWEIGHT = s.DILUENTWEIGHT = weight;
        s.Insert(nullptr, db.name(), nullptr);
    }
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SAMPLE WHERE SUPPORTWEIGHT IS NULL AND DILUENTWEIGHT IS "
                    "NULL AND DISPOSALDATE IS NULL AND SUPP_COMPOSITION_ID IS NULL AND "
                    "SAMPLEWEIGHT = -1 AND CMT IS NULL"),
              3);

    // Positive values are written.
    SAMPLEData s;
    s.SAMPLE_ID = 10;
    s.SUPPORTWEIGHT = 0.5;
    s.DISPOSALDATE = 45000.75;
    s.Insert(nullptr, db.name(), nullptr);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SAMPLE WHERE SAMPLE_ID = 10 AND SUPPORTWEIGHT = 0.5 AND "
                    "DISPOSALDATE IS NOT NULL"),
              1);
}

TEST_F(SampletablesTest, ParamsReadOnePerRequiredParameterAndRoundTrip) {
    FillGeometries();
    SAMPLEGEOMData g = ReadGeometry(1);
    ASSERT_EQ(g.Params.size(), 3u);  // geometry 2's values of the same type are not mixed in
    EXPECT_EQ(g.Params[0].SAMPLEGEOMPARAM_ID, 12);
    EXPECT_EQ(g.Params[0].INTVALUE1, 2);
    EXPECT_EQ(g.Params[0].TEXTVALUE, "x");
    EXPECT_EQ(g.Params[1].NUMVALUE1, 0.0);  // a null value keeps its starting value
    EXPECT_EQ(g.Params[1].NUMVALUE2, 3.25);
    SAMPLEGEOMPARAM_EditData missing;
    missing.SAMPLEGEOMREQPARAM_ID = 303;
    missing.SAMPLEGEOMPARAMTYPE_ID = 2;
    missing.NAME = "material";
    missing.SYMBOL = "m";
    ExpectSame(g.Params[2], missing);

    // Stored and read back, the list is the same but for the key of the appended value.
    quantora::CountingKeyGen paramKeys(50);
    g.Params[2].INTVALUE2 = -7;
    g.Params[2].TEXTVALUE = "lead";
    g.Params[0].NUMVALUE2 = 1e-300;
    g.StoreParams(&alias, &paramKeys);
    EXPECT_EQ(g.Params[2].SAMPLEGEOMPARAM_ID, -1);  // not written back
    SAMPLEGEOMData again = ReadGeometry(1);
    g.Params[2].SAMPLEGEOMPARAM_ID = 50;
    ASSERT_EQ(again.Params.size(), 3u);
    for (size_t i = 0; i < 3; ++i) ExpectSame(again.Params[i], g.Params[i]);
    again.StoreParams(&alias, &paramKeys);
    EXPECT_EQ(std::pair(Params(1), Params(2)), std::pair(3, 3));

    // Another type, or one without required parameters.
    again.SAMPLEGEOMTYPE_ID = 4;
    again.RetrieveParams(&alias);
    ASSERT_EQ(again.Params.size(), 1u);
    EXPECT_EQ(again.Params[0].SAMPLEGEOMPARAM_ID, -1);
    EXPECT_EQ(again.Params[0].SAMPLEGEOMPARAMTYPE_ID, 0);  // null in the definition
    again.SAMPLEGEOMTYPE_ID = 99;
    again.RetrieveParams(&alias);
    EXPECT_TRUE(again.Params.empty());
    EXPECT_THROW(again.RetrieveParams(nullptr), Exception);
}

TEST_F(SampletablesTest, StoringParamsUpdatesAppendsAndRemovesTheRest) {
    FillGeometries();
    SAMPLEGEOMData g;
    g.SAMPLEGEOM_ID = 1;
    g.EMPLOYEE_ID = 6;
    g.CREATIONDATE = 45001.5;
    g.Params.resize(2);
    g.Params[0].SAMPLEGEOMPARAM_ID = 12;  // TEXTVALUE is written empty
    g.Params[0].INTVALUE1 = 42;
    g.Params[1].SAMPLEGEOMREQPARAM_ID = 303;
    g.Params[1].INTVALUE2 = 5;
    quantora::CountingKeyGen paramKeys(13);
    g.StoreParams(&alias, &paramKeys);
    EXPECT_EQ(g.Params[1].SAMPLEGEOMPARAM_ID, -1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SAMPLEGEOMPARAM WHERE SAMPLEGEOMPARAM_ID = 12 AND "
                    "INTVALUE1 = 42 AND TEXTVALUE = '' AND EMPLOYEE_ID = 6 AND "
                    "SAMPLEGEOMREQPARAM_ID = 301"),
              1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SAMPLEGEOMPARAM WHERE SAMPLEGEOMPARAM_ID = 13 AND "
                    "SAMPLEGEOM_ID = 1 AND SAMPLEGEOMREQPARAM_ID = 303 AND INTVALUE2 = 5"),
              1);
    EXPECT_EQ(std::pair(Params(1), Params(2)), std::pair(2, 3));  // 14 was not listed
    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetSQL("SELECT CREATIONDATE FROM SAMPLEGEOMPARAM WHERE SAMPLEGEOMPARAM_ID = 13");
    q.Open();
    EXPECT_DOUBLE_EQ(q.Fields()[0]->AsDateTime(), 45001.5);
    q.Close();

    // Stored twice without reading back: the second call appends again (key 14, free since
    // the first call) and its clean-up drops row 13.
    g.StoreParams(&alias, &paramKeys);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SAMPLEGEOMPARAM WHERE SAMPLEGEOM_ID = 1 AND "
                    "SAMPLEGEOMPARAM_ID IN (12, 14) AND SAMPLEGEOMREQPARAM_ID IN (301, 303)"),
              2);
    EXPECT_EQ(Params(1), 2);

    // A new value without a generator is refused before anything is written.
    g.Params[0].INTVALUE1 = 1000;
    EXPECT_THROW(g.StoreParams(&alias, nullptr), Exception);
    EXPECT_EQ(db.Scalar("SELECT INTVALUE1 FROM SAMPLEGEOMPARAM WHERE SAMPLEGEOMPARAM_ID = 12"),
              "42");
    // A listed value that no longer exists is an error, not a silent insert.
    g.Params.resize(1);
    g.Params[0].SAMPLEGEOMPARAM_ID = 777;
    EXPECT_THROW(g.StoreParams(&alias, &paramKeys), EDatabaseError);
    g.Params.clear();  // an empty list removes nothing
    g.StoreParams(&alias, &paramKeys);
    EXPECT_EQ(Params(1), 2);
}

TEST_F(SampletablesTest, GeometryRowAndParamsAreWrittenTogether) {
    FillGeometries();
    SAMPLEGEOMData g = ReadGeometry(2);
    g.SAMPLEGEOM_ID = -1;
    for (auto& p : g.Params) p.SAMPLEGEOMPARAM_ID = -1;  // a copy: every value is new
    g.DATA = AnsiString("\0\x01\xff\0", 4);
    g.EMPLOYEE_ID = 3;
    quantora::CountingKeyGen keys(70), paramKeys(700);
    g.Insert(&keys, &paramKeys, db.name(), nullptr);
    EXPECT_EQ(g.SAMPLEGEOM_ID, 70);
    EXPECT_EQ(
        Count("SELECT COUNT(*) FROM SAMPLEGEOMPARAM WHERE SAMPLEGEOM_ID = 70 AND "
              "SAMPLEGEOMPARAM_ID BETWEEN 700 AND 702 AND NUMVALUE1 = 99 AND EMPLOYEE_ID = 3"),
        3);
    EXPECT_EQ(Params(2), 3);
    SAMPLEGEOMData back = ReadGeometry(70);
    EXPECT_EQ(back.DATA, g.DATA);

    // In browse state SetData writes nothing and stores no parameters; in edit state the
    // parameters are stored before the row is posted.
    TQuery live;
    live.SetDatabaseName(db.alias());
    live.SetRequestLive(true);
    live.SetSQL("SELECT * FROM SAMPLEGEOM WHERE SAMPLEGEOM_ID = 70");
    live.Open();
    back.Params[0].SAMPLEGEOMPARAM_ID = -1;
    back.NAME = "changed";
    back.SetData(&live, &paramKeys);
    EXPECT_EQ(Count("SELECT MAX(SAMPLEGEOMPARAM_ID) FROM SAMPLEGEOMPARAM"), 702);
    EXPECT_EQ(live.FieldByName("NAME")->AsString(), "vial");
    live.Edit();
    back.SetData(&live, &paramKeys);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SAMPLEGEOMPARAM WHERE SAMPLEGEOMPARAM_ID IN (701, 702, "
                    "703)"),
              3);
    live.Post();
    EXPECT_EQ(ReadGeometry(70).NAME, "changed");
    EXPECT_EQ(Params(70), 3);
}

TEST_F(SampletablesTest, ReportsGoIntoTheRightSet) {
    db.Exec(
        "INSERT INTO SAMPLE (SAMPLE_ID, NAME, LOT_ID, SAMPLEGEOMMATRIX_ID) VALUES (3, 's3', "
        "1, 4)");
    db.Exec("INSERT INTO SAMPLE (SAMPLE_ID, NAME, LOT_ID) VALUES (10, NULL, 1)");
    for (const char* row : {"3, 2", "10, 2", "10, 5"})
        db.Exec(
            Format("INSERT INTO SAMPLEIRRADIATION (SAMPLE_ID, IRRADIATION_ID) VALUES (%s)", row));
    auto [blocking, nulled] = Check(&IRRADIATIONData::IRRADIATION_ID, 2);
    EXPECT_TRUE(blocking.empty());
    EXPECT_EQ(nulled, (Reports{"SAMPLE ID=10 of ''", "SAMPLE ID=3 of 's3'"}));

    db.Exec(
        "INSERT INTO IRRADIATION (IRRADIATION_ID, IRRADIATIONLOCATION_ID, NAME) VALUES (2, 6, "
        "'run')");
    EXPECT_EQ(Check(&IRRADIATIONLOCATIONData::IRRADIATIONLOCATION_ID, 6).first,
              Reports{"IRRADIATION ID=2 of 'run'"});
    db.Exec("INSERT INTO QUANTANALYSIS (QUANTANALYSIS_ID, LOT_ID, NAME) VALUES (8, 1, 'qa')");
    std::tie(blocking, nulled) = Check(&LOTData::LOT_ID, 1);
    EXPECT_EQ(blocking,
              (Reports{"QUANTANALYSIS ID=8 of 'qa'", "SAMPLE ID=10 of ''", "SAMPLE ID=3 of 's3'"}));
    EXPECT_TRUE(nulled.empty());
    db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, SAMPLE_ID, NAME) VALUES (1, 3, 'm')");
    std::tie(blocking, nulled) = Check(&SAMPLEData::SAMPLE_ID, 3);
    EXPECT_TRUE(blocking.empty());
    EXPECT_EQ(nulled, Reports{"MEASUREMENT ID=1 of 'm'"});
    db.Exec(
        "INSERT INTO SAMPLEGEOMMATRIX (SAMPLEGEOMMATRIX_ID, SAMPLEGEOM_ID, NAME) VALUES (4, "
        "9, 'water')");
    db.Exec(
        "INSERT INTO RADIATIONCORRLIST (RADIATIONCORRLIST_ID, SAMPLEGEOMMATRIX_ID, NAME) "
        "VALUES (5, 4, 'corr')");
    EXPECT_EQ(Check(&SAMPLEGEOMData::SAMPLEGEOM_ID, 9).first,
              Reports{"SAMPLE GEOM. & MATRIX ID=4 of 'water'"});
    EXPECT_EQ(Check(&SAMPLEGEOMMATRIXData::SAMPLEGEOMMATRIX_ID, 4).first,
              (Reports{"RADIATION CORR. LIST ID=5 of 'corr'", "SAMPLE ID=3 of 's3'"}));
    db.Exec("INSERT INTO ORDERS (ORDERS_ID, CLIENT_ID, NAME) VALUES (2, 7, 'o')");
    std::tie(blocking, nulled) = Check(&CLIENTData::CLIENT_ID, 7);
    EXPECT_EQ(blocking, Reports{"ORDERS ID=2 of 'o'"});
    EXPECT_TRUE(nulled.empty());

    // Without sets no query runs: with the tables read gone, any query would fail.
    const char* read[] = {"SAMPLE",           "IRRADIATION", "MEASUREMENT",
                          "SAMPLEGEOMMATRIX", "ORDERS",      "QUANTANALYSIS"};
    for (const char* t : read) db.Exec(Format("ALTER TABLE %s RENAME TO %s_AWAY", t, t));
    auto no_query = [&](auto record) {
        EXPECT_NO_THROW(record.CheckBeforeDeletion(db.alias(), nullptr, nullptr));
        Reports one;
        EXPECT_THROW(record.CheckBeforeDeletion(db.alias(), &one, nullptr), EDatabaseError);
    };
    no_query(IRRADIATIONData{});
    no_query(IRRADIATIONLOCATIONData{});
    no_query(LOTData{});
    no_query(SAMPLEData{});
    no_query(SAMPLEGEOMData{});
    no_query(SAMPLEGEOMMATRIXData{});
    no_query(CLIENTData{});
    for (const char* t : read) db.Exec(Format("ALTER TABLE %s_AWAY RENAME TO %s", t, t));
}

TEST_F(SampletablesTest, CascadesRunTheirStatementsInOrder) {
    // Sample 3 goes; its measurements stay without an object, sample 4's keep theirs.
    auto fill_samples = [&] {
        for (const char* t : {"SAMPLE", "SAMPLEIRRADIATION", "MEASUREMENT"})
            db.Exec(Format("DELETE FROM %s", t));
        for (const char* row : {"1, 3", "2, 3", "9, 4"})
            db.Exec(
                Format("INSERT INTO MEASUREMENT (MEASUREMENT_ID, SAMPLE_ID, MEASOBJTYPE_ID) "
                       "VALUES (%s, 2)",
                       row));
        for (const char* row : {"3, 1", "4, 1"})
            db.Exec(Format("INSERT INTO SAMPLEIRRADIATION (SAMPLE_ID, IRRADIATION_ID) VALUES (%s)",
                           row));
        db.Exec("INSERT INTO SAMPLE (SAMPLE_ID) VALUES (3)");
        db.Exec("INSERT INTO SAMPLE (SAMPLE_ID) VALUES (4)");
    };
    SAMPLEData sample;
    sample.SAMPLE_ID = 3;
    CheckCascade(
        db, fill_samples, [&] { sample.Delete(db.alias()); },
        {{"SAMPLEIRRADIATION", "delete from SAMPLEIRRADIATION where sample_id = 3",
          "SELECT COUNT(*) FROM SAMPLEIRRADIATION WHERE SAMPLE_ID = 3"},
         {"MEASUREMENT",
          "UPDATE MEASUREMENT \r\n   SET \r\n       SAMPLE_ID = NULL, \r\n       MEASOBJTYPE_ID = "
          "1 "
          "\r\nWHERE \r\n   SAMPLE_ID = 3",
          "SELECT COUNT(*) FROM MEASUREMENT WHERE MEASUREMENT_ID IN (1, 2) AND (SAMPLE_ID IS NOT "
          "NULL OR MEASOBJTYPE_ID <> 1)"},
         {"SAMPLE", "delete from sample where sample_id = 3",
          "SELECT COUNT(*) FROM SAMPLE WHERE SAMPLE_ID = 3"}},
        "SELECT (SELECT COUNT(*) FROM MEASUREMENT WHERE SAMPLE_ID = 4 AND MEASOBJTYPE_ID = 2) + "
        "(SELECT COUNT(*) FROM SAMPLEIRRADIATION WHERE SAMPLE_ID = 4) + (SELECT COUNT(*) FROM "
        "SAMPLE "
        "WHERE SAMPLE_ID = 4)");

    auto fill_irradiations = [&] {
        db.Exec("DELETE FROM IRRADIATION");
        db.Exec("DELETE FROM SAMPLEIRRADIATION");
        db.Exec("INSERT INTO IRRADIATION (IRRADIATION_ID) VALUES (2)");
        for (const char* row : {"1, 2", "5, 2", "5, 6"})
            db.Exec(Format("INSERT INTO SAMPLEIRRADIATION (SAMPLE_ID, IRRADIATION_ID) VALUES (%s)",
                           row));
    };
    IRRADIATIONData irradiation;
    irradiation.IRRADIATION_ID = 2;
    CheckCascade(
        db, fill_irradiations, [&] { irradiation.Delete(db.alias()); },
        {{"SAMPLEIRRADIATION", "delete from sampleirradiation where irradiation_id = 2",
          "SELECT COUNT(*) FROM SAMPLEIRRADIATION WHERE IRRADIATION_ID = 2"},
         {"IRRADIATION", "DELETE FROM irradiation WHERE irradiation_id = 2",
          "SELECT COUNT(*) FROM IRRADIATION"}},
        "SELECT COUNT(*) FROM SAMPLEIRRADIATION WHERE IRRADIATION_ID <> 2");

    auto fill_geometries = [&] {
        db.Exec("DELETE FROM SAMPLEGEOM");
        db.Exec("DELETE FROM SAMPLEGEOMPARAM");
        db.Exec("DELETE FROM SAMPLEGEOMREQPARAM");
        FillGeometries();
    };
    SAMPLEGEOMData geometry;
    geometry.SAMPLEGEOM_ID = 1;
    CheckCascade(
        db, fill_geometries, [&] { geometry.Delete(db.alias()); },
        {{"SAMPLEGEOMPARAM", "delete from SAMPLEGEOMPARAM where SAMPLEGEOM_id = 1",
          "SELECT COUNT(*) FROM SAMPLEGEOMPARAM WHERE SAMPLEGEOM_ID = 1"},
         {"SAMPLEGEOM", "delete from SAMPLEGEOM where SAMPLEGEOM_id = 1",
          "SELECT COUNT(*) FROM SAMPLEGEOM WHERE SAMPLEGEOM_ID = 1"}},
        "SELECT (SELECT COUNT(*) FROM SAMPLEGEOM WHERE SAMPLEGEOM_ID <> 1) + (SELECT "
        "COUNT(*) FROM SAMPLEGEOMPARAM WHERE SAMPLEGEOM_ID <> 1)");

    // Lots and clients are deleted alone: samples and orders keep their references.
    db.Exec("INSERT INTO LOT (LOT_ID) VALUES (1)");
    db.Exec("UPDATE SAMPLE SET LOT_ID = 1");
    db.Exec("INSERT INTO CLIENT (CLIENT_ID) VALUES (7)");
    db.Exec("INSERT INTO ORDERS (ORDERS_ID, CLIENT_ID) VALUES (2, 7)");
    LOTData lot;
    lot.LOT_ID = 1;
    lot.Delete(db.alias());
    CLIENTData client;
    client.CLIENT_ID = 7;
    client.Delete(db.alias());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM LOT") + Count("SELECT COUNT(*) FROM CLIENT"), 0);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SAMPLE WHERE LOT_ID = 1") +
                  Count("SELECT COUNT(*) FROM ORDERS WHERE CLIENT_ID = 7"),
              2);
}
