// The whole content of a test database: every row of every table of the lab schema, every
// column as text, for comparing states; a remembered set of rows to put back between runs; and a
// generic fill that gives every table rows whose references point at each other.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/dblayer/FieldType.h"
#include "quantora/dblayer/Variant.h"
#include "tests/support/TestDatabase.h"

namespace quantora::test {

// Rows of each table as text ("c1|c2|..."; "~" for null), sorted within a table.
using Dump = std::map<std::string, std::vector<std::string>>;

class DatabaseImage {
  public:
    // Reads the tables of the lab schema and their columns. Date-times from `nowFrom` on
    // (e.g. yesterday) read "now" in dumps: values written with the clock differ between runs.
    DatabaseImage(const TestDatabase& db, TDateTime nowFrom);

    // Every row of every table, in one statement.
    Dump Take() const;

    // Rows 1 and 2 of every table: keys 1 and 2, and every reference column (name ending in _ID,
    // OWNERID1, OWNERID2) holding the row's own number, so row 1 of one table refers to row 1
    // of every other. The other columns hold distinct non-null values of their type. Runs in one
    // transaction.
    void FillEveryTable() const;

    // The rows of every table, to be put back later, and their dump.
    struct Rows {
        std::vector<std::vector<std::vector<Variant>>> tables;  // in table order
        Dump dump;
    };
    Rows Snapshot() const;
    // Puts the rows of `to` back in every table whose rows differ in `current`.
    void Restore(const Rows& to, const Dump& current) const;

    // What turned `before` into `after`, row by row (a row named by its first key column):
    // "-TABLE.1" removed, "+TABLE.1" added, "TABLE.1:COLUMN=value" changed ("~" for null).
    std::string Changes(const Dump& before, const Dump& after) const;

  private:
    struct Column {
        AnsiString name;
        TFieldType type;
        int size;
    };
    struct Table {
        AnsiString name;
        std::vector<Column> columns;
        AnsiString insert;  // INSERT of every column with :p0 .. :pn
        size_t key = 0;     // the column that names a row: the first of the primary key
    };
    void InsertRows(const Table& t, const std::vector<std::vector<Variant>>& rows) const;

    const TestDatabase& db_;
    std::vector<Table> tables_;
    AnsiString dump_sql_;
};

}  // namespace quantora::test
