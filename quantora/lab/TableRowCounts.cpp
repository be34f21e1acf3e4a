// Counting the rows of tables; a project's name.
#include "quantora/lab/TableRowCounts.h"

#include <algorithm>

#include "quantora/base/Failures.h"
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

long long LabTableRowCount(const char* dbName, const AnsiString& table) {
    const std::vector<AnsiString> names = SchemaTableNames();
    if (std::find(names.begin(), names.end(), table) == names.end())
        throw MisuseError(Format("'%s' is not a table of the lab schema", table.c_str()));
    return Count(dbName, {table}, "SELECT COUNT(*) FROM %s").at(0).rows;
}

std::optional<AnsiString> ProjectName(const char* dbName, int projectId) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL("SELECT NAME FROM PROJECT WHERE PROJECT_ID = :id");
    q.ParamByName("id")->SetAsInteger(projectId);
    q.Open();
    if (q.Eof()) return std::nullopt;
    return q.Fields()[0]->AsString();
}

std::vector<TableRowCount> CatalogueTableRowCounts(const char* dbName,
                                                   const std::vector<AnsiString>& tables) {
    return Count(dbName, tables, "SELECT COUNT(*) FROM \"%s\"");
}

}  // namespace quantora
