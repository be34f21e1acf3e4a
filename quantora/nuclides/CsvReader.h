// A reader of comma-separated text: quoted fields (with doubled quotes, separators and line
// breaks inside), empty fields, LF or CR LF line ends, an optional UTF-8 byte-order mark.
#pragma once

#include <cstddef>
#include <vector>

#include "quantora/base/Types.h"

namespace quantora {

class CsvReader {
  public:
    // Reads the whole file; a file that cannot be read throws.
    explicit CsvReader(const AnsiString& path);
    // Reads from text already in memory; `name` names it in messages.
    CsvReader(AnsiString text, AnsiString name);

    // The next record into `fields` (resized to its field count); false at the end. Blank lines
    // are skipped. An unterminated quote or text after a closing quote throws, naming the line.
    bool Next(std::vector<AnsiString>& fields);
    // The line on which the last record returned by Next begins (1 for the first line).
    size_t Line() const { return record_line_; }
    const AnsiString& Name() const { return name_; }

  private:
    [[noreturn]] void Fail(const char* what) const;

    AnsiString text_, name_;
    size_t pos_ = 0;
    size_t line_ = 1;
    size_t record_line_ = 0;
};

}  // namespace quantora
