// Row counts of tables: every lab table of the registry (quantora/frame/LabTables.h), or the
// tables a database's catalogue lists.
#pragma once

#include <vector>

#include "quantora/base/Types.h"

namespace quantora {

struct TableRowCount {
    AnsiString table;
    long long rows = 0;
};

// Every lab table, in schema order, by its schema name.
std::vector<TableRowCount> LabTableRowCounts(const char* dbName);
// The tables named as the catalogue writes them (each name quoted, so it is taken exactly).
std::vector<TableRowCount> CatalogueTableRowCounts(const char* dbName,
                                                   const std::vector<AnsiString>& tables);

}  // namespace quantora
