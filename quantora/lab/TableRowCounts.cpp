// Counting the rows of tables.
#include "quantora/lab/TableRowCounts.h"

#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/SqlNames.h"

namespace quantora {
namespace {

std::vector<TableRowCount> Count(const char* dbName, const std::vector<AnsiString>& tables,
                                 const char* sqlFormat) {
    std::vector<TableRowCount> out;
    TQuery q;
    q.SetDatabaseName(dbName);
    for (const AnsiString& table : tables) {
        q.SetSQL(Format(sqlFormat, table.c_str()));
        q.Open();
        out.push_back({table, q.Fields()[0]->AsLargeInt()});
        q.Close();
    }
    return out;
}

}  // namespace

std::vector<TableRowCount> LabTableRowCounts(const char* dbName) {
    return Count(dbName, SchemaTableNames(), "SELECT COUNT(*) FROM %s");
}

std::vector<TableRowCount> CatalogueTableRowCounts(const char* dbName,
                                                   const std::vector<AnsiString>& tables) {
    return Count(dbName, tables, "SELECT COUNT(*) FROM \"%s\"");
}

}  // namespace quantora
