// Helpers of the exchange tests: temporary files, an SQLite database of its own (whatever engine
// the suite runs on), and a filler that puts rows of every value type into the exported tables.
#pragma once

#include <string>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Types.h"

namespace quantora::test {

// A path in the temporary directory, removed at the end of the scope.
class TempPath {
  public:
    explicit TempPath(const char* suffix = ".xml");
    ~TempPath();
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;
    const char* c_str() const { return path_.c_str(); }
    const std::string& str() const { return path_; }

  private:
    std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// `text` with the first `from` after `after` replaced; fails the test when there is none.
std::string Replaced(std::string text, const std::string& from, const std::string& to,
                     const std::string& after = "");
// The lines of a file whose every line ends in CR LF, without their ends.
std::vector<std::string> SplitCrLfLines(const std::string& text);

// A fresh SQLite database with the lab schema under a unique alias, removed afterwards.
class SqliteDatabase {
  public:
    SqliteDatabase();
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;
    const AnsiString& alias() const { return alias_; }
    const char* name() const { return alias_.c_str(); }

  private:
    AnsiString alias_, file_;
};

// The message of the Exception `f` throws; "" when it throws none.
template <class F>
AnsiString Raised(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message;
    }
    return "";
}

// Runs a statement on the alias.
void ExecSql(const AnsiString& alias, const AnsiString& sql);

// Fills each exported table with `rows` rows: every column type, nulls in the second row,
// texts with quotes, tabs and non-ASCII letters (UTF-8, so that every engine takes them), blobs
// with zero bytes, dates with microseconds, floats that need all 15 digits, ampersands and angle
// brackets (which the format writes unescaped). With `bigBlobBytes` the first row of each table
// gets blobs of that size.
void FillExportedTables(const AnsiString& alias, int rows, std::size_t bigBlobBytes = 0);

}  // namespace quantora::test
