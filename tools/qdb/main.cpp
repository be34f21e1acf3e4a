// qdb: the command-line tool of the lab database. One binary, one subcommand per task.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "quantora/base/Exception.h"
#include "tools/qdb/Commands.h"

namespace {

struct Command {
    const char* name;
    const char* usage;
    const char* help;
    int (*run)(const qdbtool::Args&);
};

const Command kCommands[] = {
    {"init", "qdb init <db>", "Create the lab schema in a database (missing tables only).",
     qdbtool::CmdInit},
    {"demo", "qdb demo [<db>]",
     "Create a fresh demo lab database (default demo.db) and print its tables with row counts.",
     qdbtool::CmdDemo},
    {"tables", "qdb tables <db>", "Print every table of the lab schema with its row count.",
     qdbtool::CmdTables},
};

void PrintHelp() {
    std::printf(
        "qdb - the lab database tool\n\n"
        "Usage: qdb <command> [arguments]\n\n"
        "A database is a file path (SQLite) or a postgresql://user@host:port/db URI.\n\n"
        "Commands:\n");
    for (const Command& c : kCommands) std::printf("  %-18s %s\n", c.usage, c.help);
    std::printf("\nRun 'qdb <command> --help' for one command.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        PrintHelp();
        return argc < 2 ? 2 : 0;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) != 0) continue;
        qdbtool::Args args(argv + 2, argv + argc);
        for (const std::string& a : args)
            if (a == "--help" || a == "-h") {
                std::printf("Usage: %s\n\n%s\n", c.usage, c.help);
                return 0;
            }
        try {
            return c.run(args);
        } catch (const Exception& e) {
            std::fprintf(stderr, "qdb %s: %s\n", c.name, e.Message.c_str());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "qdb %s: %s\n", c.name, e.what());
        }
        return 1;
    }
    std::fprintf(stderr, "qdb: unknown command '%s' (see qdb --help)\n", argv[1]);
    return 2;
}
