// The deletable tables, read off the lab table registry.
#include "quantora/lab/DeletableTables.h"

#include <cctype>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/Peakevalcaltables.h"
#include "quantora/dblayer/Database.h"
#include "quantora/frame/LabTables.h"
#include "quantora/nuclides/Nuclibtables.h"
#include "quantora/records/Devicetables.h"
#include "quantora/records/Meastables.h"
#include "quantora/records/Othertables.h"
#include "quantora/records/Peaktables.h"
#include "quantora/records/Resulttables.h"
#include "quantora/records/Sampletables.h"

namespace quantora {
namespace {

template <class R>
void AddDeletable(std::vector<DeletableTable>& out) {
    if constexpr (requires { R::Deletion(); }) {
        const auto& cols = R::Columns();
        out.push_back({R::Table, &R::Deletion, cols[detail::KeyIndex(cols)].name});
    }
}
template <>
void AddDeletable<NoRecord>(std::vector<DeletableTable>&) {}

}  // namespace

const std::vector<DeletableTable>& DeletableTables() {
    static const std::vector<DeletableTable> tables = [] {
        std::vector<DeletableTable> out;
#define QUANTORA_DELETABLE(table, record)         \
    static_assert(RecordOfTable<record>(#table)); \
    AddDeletable<record>(out);
        QUANTORA_LAB_TABLES(QUANTORA_DELETABLE)
#undef QUANTORA_DELETABLE
        return out;
    }();
    return tables;
}

const DeletableTable& FindDeletableTable(const std::string& name) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const DeletableTable& t : DeletableTables())
        if (upper == t.name) return t;
    std::string list;
    for (const DeletableTable& t : DeletableTables())
        list += (list.empty() ? "" : ", ") + std::string(t.name);
    throw MisuseError("unknown table '" + name + "' (tables with deletion rules: " + list + ")");
}

DeletionCheck CheckRowDeletion(const DeletableTable& table, const char* dbName, int key) {
    if (!RowExists(dbName, table.name, table.keyColumn, key))
        throw Exception(Format("%s has no row with %s = %d", table.name, table.keyColumn, key));
    DeletionCheck c;
    CheckBeforeDeletion(table.rules(), dbName, key, &c.blocking, &c.nulled);
    return c;
}

}  // namespace quantora
