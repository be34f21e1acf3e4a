// qdb init and qdb tables: create the schema, count the rows of every table.
#include <cstdio>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/SqlNames.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"

namespace qdbtool {
namespace {

constexpr const char* kAlias = "qdb";

}  // namespace

int CmdInit(const Args& args) {
    if (args.size() != 1) throw Exception("usage: qdb init <db>");
    OpenArgDatabase(kAlias, args[0]);
    CreateSchema(kAlias);
    std::printf("Schema version %d ready in %s\n", quantora::db::kSchemaVersion, args[0].c_str());
    return 0;
}

int CmdTables(const Args& args) {
    if (args.size() != 1) throw Exception("usage: qdb tables <db>");
    OpenLabDatabase(kAlias, args[0]);
    TQuery q;
    q.SetDatabaseName(kAlias);
    for (const AnsiString& table : quantora::SchemaTableNames()) {
        q.SetSQL(quantora::Format("SELECT COUNT(*) FROM %s", table.c_str()));
        q.Open();
        std::printf("%-24s %8d\n", table.c_str(), q.Fields()[0]->AsInteger());
        q.Close();
    }
    return 0;
}

}  // namespace qdbtool
