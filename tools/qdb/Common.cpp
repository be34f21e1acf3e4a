// Opening a database argument.
#include "quantora/base/Exception.h"
#include "quantora/dblayer/Database.h"
#include "tools/qdb/Commands.h"

namespace qdbtool {

void OpenArgDatabase(const std::string& alias, const std::string& db, bool readOnly) {
    if (db.empty()) throw Exception("no database given");
    try {
        OpenDatabase(alias, DatabaseUri(db), readOnly);
    } catch (const std::exception& e) {
        // A refused connection or an unreadable file, in the engine's own words.
        throw Exception("cannot open '" + db + "': " + e.what());
    }
}

}  // namespace qdbtool
