// Helpers of the exchange tests: temporary files and their text, and a filler that puts rows of
// every value type into the exported tables.
#pragma once

#include <string>
#include <vector>

#include "quantora/base/Types.h"
#include "tests/support/Raised.h"
#include "tests/support/ScratchDir.h"

namespace quantora::test {

// A path in a scratch directory of its own, removed at the end of the scope.
class TempPath {
  public:
    explicit TempPath(const char* suffix = ".xml") : path_(dir_ / ("file" + std::string(suffix))) {}
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;
    const char* c_str() const { return path_.c_str(); }
    const std::string& str() const { return path_; }

  private:
    ScratchDir dir_;
    std::string path_;
};

void WriteFileBytes(const std::string& path, const std::string& bytes);
// `text` with the first `from` after `after` replaced; fails the test when there is none.
std::string Replaced(std::string text, const std::string& from, const std::string& to,
                     const std::string& after = "");
// The lines of a file whose every line ends in CR LF, without their ends.
std::vector<std::string> SplitCrLfLines(const std::string& text);

// Fills each exported table with `rows` rows: every column type, nulls in the second row, texts
// with quotes, tabs, UTF-8, ampersands and angle brackets, blobs with zero bytes, dates with
// microseconds, 15-digit floats; with `bigBlobBytes`, blobs of that size in the first row.
void FillExportedTables(const AnsiString& alias, int rows, std::size_t bigBlobBytes = 0);

}  // namespace quantora::test
