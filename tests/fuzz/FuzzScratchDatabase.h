// A scratch SQLite database with the lab schema for the fuzz targets that write rows: in
// memory-backed storage when the system has it, without durability, removed at exit.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"

namespace quantora::fuzz {

inline void Exec(const char* alias, const AnsiString& sql) {
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(sql);
    q.ExecSQL();
}

class ScratchDatabase {
  public:
    // `setup`, when given, runs once after the schema is made.
    explicit ScratchDatabase(const char* alias, const char* setup = nullptr) : alias_(alias) {
        std::error_code ec;
        const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm", ec)
                                              ? "/dev/shm"
                                              : std::filesystem::temp_directory_path();
        file_ = (dir / (std::string(alias) + "_" + std::to_string(getpid()) + ".db")).string();
        std::remove(file_.c_str());
        OpenDatabase(alias, "sqlite:" + file_);
        CreateSchema(alias);
        Exec(alias, "PRAGMA synchronous = OFF");  // a disk flush per run is of no use here
        if (setup) Exec(alias, setup);
    }
    ~ScratchDatabase() {
        CloseDatabase(alias_);
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            std::remove((file_ + suffix).c_str());
    }

  private:
    const char* alias_;
    std::string file_;
};

}  // namespace quantora::fuzz
