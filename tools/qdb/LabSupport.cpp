// Opening lab databases and parsing command-line numbers.
#include "tools/qdb/LabSupport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "tools/qdb/Commands.h"

namespace qdbtool {

void OpenLabDatabase(const std::string& alias, const std::string& db) {
    if (db.empty()) throw Exception("no database given");
    const bool uri = db.find("://") != std::string::npos || db.rfind("sqlite:", 0) == 0;
    if (!uri && !std::filesystem::is_regular_file(db))
        throw Exception("database file '" + db + "' not found");
    try {
        OpenArgDatabase(alias, db);
    } catch (const std::exception&) {
        throw Exception("'" + db + "' is not a lab database");
    }
    // Our schema has these tables; a foreign database fails here before anything is written.
    try {
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQL(
            "SELECT COUNT(*) FROM MEASUREMENT WHERE MEASUREMENT_ID IN "
            "(SELECT MEASUREMENT_ID FROM SPECTRUM WHERE SPECTRUM_ID = 0)");
        q.Open();
        q.Close();
    } catch (const std::exception&) {
        CloseDatabase(alias);
        throw Exception("'" + db + "' is not a lab database (run 'qdb init' to create one)");
    }
}

int ParseKey(const std::string& text, const char* what) {
    int v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v <= 0)
        throw Exception(std::string("malformed ") + what + " '" + text +
                        "' (a positive whole number)");
    return v;
}

bool ParseNumber(const std::string& text, double& out) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') ++b;
    auto r = std::from_chars(b, e, out);
    return b != e && r.ec == std::errc() && r.ptr == e && std::isfinite(out);
}

std::string TakeOption(std::vector<std::string>& args, const char* name) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end()) return {};
    if (it + 1 == args.end()) throw Exception(std::string("option ") + name + " needs a value");
    std::string v = *(it + 1);
    args.erase(it, it + 2);
    if (v.empty()) throw Exception(std::string("option ") + name + " needs a value");
    return v;
}

bool TakeFlag(std::vector<std::string>& args, const char* name) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end()) return false;
    args.erase(it);
    return true;
}

}  // namespace qdbtool
