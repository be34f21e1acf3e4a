// The lab tables whose rows may be checked and deleted one by one: each with its deletion rules
// and key column, found by table name.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "quantora/frame/Deletion.h"

namespace quantora {

struct DeletableTable {
    const char* name;
    const DeletionRules& (*rules)();
    const char* keyColumn;
};

// Every record class of the lab's tables that declares deletion rules, in schema order.
const std::vector<DeletableTable>& DeletableTables();
// The table of that name in any case; throws naming the deletable tables when none has it.
const DeletableTable& FindDeletableTable(const std::string& name);

// What deleting one row would do: the references that block it and those it sets to null.
struct DeletionCheck {
    std::set<AnsiString> blocking, nulled;
};
// Throws "<TABLE> has no row with <key column> = <key>" when the row does not exist.
DeletionCheck CheckRowDeletion(const DeletableTable& table, const char* dbName, int key);

}  // namespace quantora
