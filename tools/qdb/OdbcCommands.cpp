// qdb odbc list / add / remove: ODBC data sources through the ODBC handler.
#include <cstdio>
#include <string>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/services/ODBCHandler.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"

namespace qdbtool {

namespace {

const char* OrNull(const std::string& s) {
    return s.empty() ? nullptr : s.c_str();
}

int List(Args args) {
    const std::string filter = TakeOption(args, "--driver-filter");
    if (!args.empty()) throw UsageError();
    ODBCHandler h;
    std::vector<AnsiString> names, descriptions;
    if (!h.RetrieveDSNNames(&names, &descriptions, filter)) throw Exception(h.GetErrorMessage());
    for (size_t i = 0; i < names.size(); ++i)
        std::printf("%s\t%s\n", names[i].c_str(), descriptions[i].c_str());
    std::printf("%zu data source(s)\n", names.size());
    return 0;
}

int AddOrRemove(Args args, bool add) {
    const bool system = TakeFlag(args, "--system");
    const std::string driver = TakeOption(args, "--driver");
    const std::string database = add ? TakeOption(args, "--database") : std::string();
    const std::string server = add ? TakeOption(args, "--server") : std::string();
    const std::string description = add ? TakeOption(args, "--description") : std::string();
    if (args.size() != 1 || driver.empty() || args[0].empty() || args[0][0] == '-')
        throw UsageError();
    const std::string& dsn = args[0];
    // The installer's attribute list is separated by these; a name holding them would smuggle
    // attributes in.
    for (const std::string* v : {&dsn, &database, &server, &description})
        if (v->find_first_of("=;@\n[]") != std::string::npos)
            throw Exception("invalid character in '" + *v + "'");
    ODBCHandler h;
    h.SetConnectParams(driver.c_str(), OrNull(server), OrNull(database), nullptr, nullptr,
                       dsn.c_str());
    std::vector<AnsiString> list{"DSN=" + dsn};
    if (!description.empty()) list.push_back("DESCRIPTION=" + description);
    if (!server.empty()) list.push_back("SERVER=" + server);
    if (!database.empty()) list.push_back("DATABASE=" + database);
    if (!(add ? h.CreateODBCDataSource(system, list, false)
              : h.DeleteODBCDataSource(system, false)))
        throw Exception(h.GetErrorMessage());
    std::printf("%s %s data source '%s' (driver %s)\n", add ? "added" : "removed",
                system ? "system" : "user", dsn.c_str(), driver.c_str());
    return 0;
}

}  // namespace

int CmdOdbc(const Args& args) {
    const std::string sub = args.empty() ? std::string() : args[0];
    if (sub == "list") return List(Rest(args));
    if (sub == "add" || sub == "remove") return AddOrRemove(Rest(args), sub == "add");
    throw UsageError();
}

}  // namespace qdbtool
