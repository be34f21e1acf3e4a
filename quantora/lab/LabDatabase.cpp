// Opening a named database and telling a lab database from anything else.
#include "quantora/lab/LabDatabase.h"

#include <filesystem>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"

namespace quantora {

void OpenDatabaseArg(const std::string& alias, const std::string& db, bool readOnly) {
    if (db.empty()) throw MisuseError("no database given");
    try {
        OpenDatabase(alias, DatabaseUri(db), readOnly);
    } catch (const EDatabaseError& e) {
        // A refused connection or an unreadable file, in the engine's own words.
        throw EDatabaseError("cannot open '" + db + "': " + e.Message, e.Info());
    } catch (const std::exception& e) {
        throw Exception("cannot open '" + db + "': " + e.what());
    }
}

void OpenLabDatabase(const std::string& alias, const std::string& db, bool readOnly) {
    if (db.empty()) throw MisuseError("no database given");
    const std::string path = DatabaseFileOf(db);
    std::error_code ec;
    if (!path.empty() && std::filesystem::is_directory(path, ec))
        throw Exception("'" + path + "' is a folder, not a database file");
    if (!path.empty() && !std::filesystem::is_regular_file(path, ec))
        throw NotFoundError("database file '" + path + "' not found", NotFoundError::What::File);
    OpenDatabaseArg(alias, db, readOnly);
    // A file that is not a database fails here, with the engine's words; a database without
    // our tables is told apart from it.
    bool lab = false;
    try {
        lab = TableExists(alias, "MEASUREMENT") && TableExists(alias, "SPECTRUM");
    } catch (const EDatabaseError& e) {
        CloseDatabase(alias);
        throw EDatabaseError("cannot read '" + db + "': " + e.Message, e.Info());
    } catch (const std::exception& e) {
        CloseDatabase(alias);
        throw Exception("cannot read '" + db + "': " + e.what());
    }
    if (!lab) {
        CloseDatabase(alias);
        throw Exception("'" + db + "' is not a lab database (run 'qdb init' to create one)");
    }
}

}  // namespace quantora
