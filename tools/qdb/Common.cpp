// Opening a database argument, and the table list of the schema.
#include <cstring>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/Database.h"
#include "tools/qdb/Commands.h"

namespace qdbtool {

void OpenArgDatabase(const std::string& alias, const std::string& db) {
    if (db.empty()) throw Exception("no database given");
    try {
        OpenDatabase(alias, DatabaseUri(db));
    } catch (const std::exception& e) {
        // A refused connection or an unreadable file, in the engine's own words.
        throw Exception("cannot open '" + db + "': " + e.what());
    }
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
