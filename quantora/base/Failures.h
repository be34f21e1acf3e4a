// The kinds of failure a caller handles differently: a file that cannot be read as what it should
// be, something asked for that does not exist, and a call the caller got wrong. Each is an
// Exception with the library's message text, so every handler of Exception still sees it; the
// database's own failures are EDatabaseError (quantora/dblayer/EDatabaseError.h).
#pragma once

#include <cstddef>
#include <utility>

#include "quantora/base/Exception.h"

namespace quantora {

// A file whose content is not what it should be (damaged, cut, of no known format). The format
// and the 1-based line are given where known (empty and 0 otherwise).
class BadFileError : public Exception {
  public:
    explicit BadFileError(AnsiString message, AnsiString format = {}, size_t line = 0)
        : Exception(std::move(message)), format_(std::move(format)), line_(line) {}
    const AnsiString& FormatName() const { return format_; }
    size_t Line() const { return line_; }

  private:
    AnsiString format_;
    size_t line_;
};

// Something asked for that is not there: a file, or a record or entry by its key.
class NotFoundError : public Exception {
  public:
    enum class What { File, Key };
    explicit NotFoundError(AnsiString message, What what = What::Key)
        : Exception(std::move(message)), what_(what) {}
    What Missing() const { return what_; }

  private:
    What what_;
};

// A call the caller got wrong: an argument out of its range, or a call in a state that does not
// allow it.
class MisuseError : public Exception {
  public:
    using Exception::Exception;
};

}  // namespace quantora
