// Fuzz target: importing an arbitrary export file into a scratch SQLite database with the lab
// schema. The import runs in one transaction, so a failed import must leave the database exactly
// as it was: the row count of a table it reaches is compared before and after.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/exchange/XmlImporter.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

const char* kAlias = "fuzz_importer";

// Memory-backed when the system has one, so that runs do not wait for the disk.
std::filesystem::path ScratchDir() {
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec)) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

class ScratchDatabase {
  public:
    ScratchDatabase() {
        file_ =
            (ScratchDir() / ("quantora_fuzz_import_" + std::to_string(getpid()) + ".db")).string();
        std::remove(file_.c_str());
        OpenDatabase(kAlias, "sqlite:" + file_);
        CreateSchema(kAlias);
        // Durability is of no use here and would cost a disk flush per run.
        TQuery pragma;
        pragma.SetDatabaseName(kAlias);
        pragma.SetSQL("PRAGMA synchronous = OFF");
        pragma.ExecSQL();
        // One row that a failed import must not lose.
        TQuery q;
        q.SetDatabaseName(kAlias);
        q.SetSQL("INSERT INTO SOURCE (SOURCE_ID, NAME) VALUES (999, 'kept')");
        q.ExecSQL();
    }
    ~ScratchDatabase() {
        CloseDatabase(kAlias);
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            std::remove((file_ + suffix).c_str());
    }

  private:
    std::string file_;
};

long long SourceRows() {
    TQuery q;
    q.SetDatabaseName(kAlias);
    q.SetSQL("SELECT COUNT(*) FROM SOURCE WHERE NAME = 'kept'");
    q.Open();
    return q.Fields()[0]->AsLargeInt();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchDatabase db;
    static quantora::fuzz::MemoryFile input;
    input.Set(data, size);

    // The options vary with the input so that every path is reached; a file never needs
    // existing rows refused, as that only stops the import earlier.
    quantora::XmlImportOptions options;
    options.skipUnknownTables = size % 2 == 1;
    options.skipUnknownFields = size % 4 >= 2;
    options.replaceExistingRows = false;
    try {
        quantora::ImportXmlDatabase(kAlias, input.Path(), nullptr, options);
    } catch (const Exception&) {
        // Nothing of a failed import stays.
        if (SourceRows() != 1) std::abort();
        return 0;
    }
    // A successful import into a table with rows is refused, so the SOURCE row is still there.
    if (SourceRows() != 1) std::abort();
    // Clear what was imported, so every run starts from the same database.
    std::vector<AnsiString> tables;
    {
        TQuery q;
        q.SetDatabaseName(kAlias);
        q.SetSQL("SELECT name FROM sqlite_master WHERE type = 'table' AND name <> 'SCHEMAVERSION'");
        q.Open();
        for (; !q.Eof(); q.Next()) tables.push_back(q.Fields()[0]->AsString());
    }
    TQuery del;
    del.SetDatabaseName(kAlias);
    for (const AnsiString& t : tables) {
        del.SetSQL("DELETE FROM " + t + (t == "SOURCE" ? " WHERE SOURCE_ID <> 999" : ""));
        del.ExecSQL();
    }
    return 0;
}
