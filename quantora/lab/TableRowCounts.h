// Row counts of tables: every lab table of the registry (quantora/frame/LabTables.h), one of
// them, or the tables a database's catalogue lists; and whether a project is there, by name.
#pragma once

#include <optional>
#include <vector>

#include "quantora/base/Types.h"

namespace quantora {

struct TableRowCount {
    AnsiString table;
    long long rows = 0;
};

// Every lab table, in schema order, by its schema name.
std::vector<TableRowCount> LabTableRowCounts(const char* dbName);
// The rows of one lab table named by its schema name; throws MisuseError for another name.
long long LabTableRowCount(const char* dbName, const AnsiString& table);
// The NAME of project `projectId`, or nullopt when there is no such project.
std::optional<AnsiString> ProjectName(const char* dbName, int projectId);
// The tables named as the catalogue writes them (each name quoted, so it is taken exactly).
std::vector<TableRowCount> CatalogueTableRowCounts(const char* dbName,
                                                   const std::vector<AnsiString>& tables);

}  // namespace quantora
