// Hostile texts and table dumps for the hostile-input tests.
#include "tests/security/SecurityTestSupport.h"

#include <algorithm>

#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/SqlNames.h"
#include "tests/support/TestDatabase.h"

namespace quantora::test {

const std::vector<AnsiString>& HostileTexts() {
    static const std::vector<AnsiString> texts = {"x'; DELETE FROM SAMPLE; --",
                                                  "a''b'",
                                                  "' OR '1'='1",
                                                  "\"SAMPLE\"; DROP TABLE SAMPLE",
                                                  "-- the rest is a comment",
                                                  "/* open */ x */ /*",
                                                  "back\\slash\\' \\\\",
                                                  ":OWNERTYPE :p1 ?1 $1 $$",
                                                  "%s%n%d%%",
                                                  "');DELETE FROM EMPLOYEE;SELECT('"};
    return texts;
}

TableDump DumpTables(const AnsiString& alias, const std::set<AnsiString>& skipped) {
    TableDump dump;
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetUniDirectional(true);
    for (const AnsiString& table : SchemaTableNames()) {
        if (skipped.count(table)) continue;
        q.Close();
        q.SetSQL("SELECT * FROM " + table);
        q.Open();
        std::vector<AnsiString>& rows = dump[table];
        for (; !q.Eof(); q.Next()) {
            AnsiString row;
            for (int i = 0; i < q.FieldCount(); ++i) {
                TField* f = q.Fields()[i];
                if (f->FieldName() == "CREATIONDATE") continue;  // the time of the run
                row += f->IsNull() ? AnsiString("<null>") : "[" + f->AsString() + "]";
                row += '|';
            }
            rows.push_back(std::move(row));
        }
        std::sort(rows.begin(), rows.end());
    }
    return dump;
}

void FillBystanderRows(const AnsiString& alias) {
    for (const char* sql :
         {"INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME) VALUES (1, 'Ada'), "
          "(2, 'x''; DELETE FROM SAMPLE; --')",
          "INSERT INTO PROJECT (PROJECT_ID, NAME, EMPLOYEE_ID) VALUES (1, 'Soil', 1)",
          "INSERT INTO SAMPLE (SAMPLE_ID, NAME, EMPLOYEE_ID) VALUES (1, 'S1', 1), (2, 'S2', 2)",
          "INSERT INTO MEASUREMENT (MEASUREMENT_ID, PROJECT_ID, NAME) VALUES (5, 1, 'm5')",
          "INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID, NAME) VALUES (7, 5, 'sp7')",
          "INSERT INTO SETTING (SETTING_ID, VALUETYPE, NAME) VALUES (1, 'T', 'Report title')"})
        Exec(alias, sql);
}

}  // namespace quantora::test
