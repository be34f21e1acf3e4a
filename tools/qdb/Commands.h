// The subcommands of qdb and what they share: exit codes, the usage error, and how a database
// argument becomes an open alias.
#pragma once

#include <string>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Types.h"
#include "quantora/lab/LabDatabase.h"

namespace qdbtool {

using Args = std::vector<std::string>;

// qdb's exit codes: a failure's kind decides (main.cpp), a batch's outcome likewise.
enum ExitCode : int {
    kExitFailed = 1,    // a bad or refused file, or any failure of no other kind
    kExitMisuse = 2,    // an unknown command or option, a malformed argument
    kExitNotFound = 3,  // a file, a record or an entry asked for is not there
    kExitDatabase = 4,  // the database failed
};

// Arguments that do not fit the command's usage line; main prints that line from its command
// table, the one home of every usage text, and exits with kExitMisuse.
class UsageError : public Exception {
  public:
    UsageError() : Exception("usage") {}
};

// A database given as a file path (SQLite) or a postgresql:// URI, opened under `alias`.
inline void OpenArgDatabase(const std::string& alias, const std::string& db,
                            bool readOnly = false) {
    quantora::OpenDatabaseArg(alias, db, readOnly);
}

int CmdInit(const Args& args);
int CmdDemo(const Args& args);
int CmdTables(const Args& args);
int CmdInfo(const Args& args);
int CmdExport(const Args& args);
int CmdImport(const Args& args);
int CmdCsv(const Args& args);
int CmdSettings(const Args& args);
int CmdCheck(const Args& args);
int CmdDelete(const Args& args);
int CmdECal(const Args& args);
int CmdFwhm(const Args& args);
int CmdMatch(const Args& args);
int CmdAnalyse(const Args& args);
int CmdEfficiency(const Args& args);
int CmdQuantify(const Args& args);
int CmdBackground(const Args& args);
int CmdNuclides(const Args& args);
int CmdSource(const Args& args);
int CmdSpectrum(const Args& args);
// The help text of qdb spectrum, naming the formats read and written.
const char* SpectrumHelp();
int CmdOdbc(const Args& args);
// Pictures: without Qt in the build, plot and view throw and the demo draws none.
int CmdPlot(const Args& args);
int CmdView(const Args& args);
int CmdReport(const Args& args);
// The demo's spectrum and efficiency pictures beside the database `db`; prints their paths.
void WriteDemoPictures(const char* alias, const std::string& db);
#ifdef QUANTORA_QDB_DIALOGS
int CmdBrowse(const Args& args);
#endif

}  // namespace qdbtool
