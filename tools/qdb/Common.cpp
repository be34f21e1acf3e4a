// Opening a database argument, and the table list of the schema.
#include <cstring>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/Database.h"
#include "tools/qdb/Commands.h"

namespace qdbtool {

void OpenArgDatabase(const std::string& alias, const std::string& db) {
    if (db.empty()) throw Exception("no database given");
    bool uri = db.rfind("postgresql:", 0) == 0 || db.rfind("postgres://", 0) == 0 ||
               db.rfind("sqlite:", 0) == 0;
    OpenDatabase(alias, uri ? db : "sqlite:" + db);
}

std::vector<AnsiString> SchemaTables() {
    std::vector<AnsiString> out;
    const char* key = "CREATE TABLE IF NOT EXISTS ";
    for (const char* p = std::strstr(quantora::db::SchemaText(), key); p; p = std::strstr(p, key)) {
        p += std::strlen(key);
        const char* end = p;
        while (*end && *end != ' ' && *end != '(' && *end != '\n') ++end;
        out.emplace_back(p, end);
    }
    return out;
}

}  // namespace qdbtool
