// Opening a database argument.
#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "tools/qdb/Commands.h"

namespace qdbtool {

void OpenArgDatabase(const std::string& alias, const std::string& db, bool readOnly) {
    if (db.empty()) throw quantora::MisuseError("no database given");
    try {
        OpenDatabase(alias, DatabaseUri(db), readOnly);
    } catch (const EDatabaseError& e) {
        // A refused connection or an unreadable file, in the engine's own words.
        throw EDatabaseError("cannot open '" + db + "': " + e.Message, e.Info());
    } catch (const std::exception& e) {
        throw Exception("cannot open '" + db + "': " + e.what());
    }
}

}  // namespace qdbtool
