// The logger interface the library reports progress and soft failures through, and two loggers
// of our own: one writing to a stream, one keeping its lines in memory.
#pragma once

#include <iosfwd>
#include <vector>

#include "quantora/base/Types.h"

class StringLogger {
  public:
    virtual ~StringLogger() = default;
    virtual void AddLine(const char* text) = 0;
    virtual void AddError(const char* text, int level) = 0;
    virtual void AddMessage(const AnsiString& text, int level) = 0;
    virtual void Flush() = 0;
};

namespace quantora {

// Writes each line to a stream; errors are prefixed with "ERROR: ".
class StreamLogger : public StringLogger {
  public:
    explicit StreamLogger(std::ostream& out) : out_(out) {}
    void AddLine(const char* text) override;
    void AddError(const char* text, int level) override;
    void AddMessage(const AnsiString& text, int level) override;
    void Flush() override;

  private:
    std::ostream& out_;
};

// Keeps every call as one entry, for tests and for callers that show the lines later.
class MemoryLogger : public StringLogger {
  public:
    enum class Kind { Line, Error, Message };
    struct Entry {
        Kind kind;
        AnsiString text;
        int level;
    };

    void AddLine(const char* text) override { entries.push_back({Kind::Line, text, 0}); }
    void AddError(const char* text, int level) override {
        entries.push_back({Kind::Error, text, level});
    }
    void AddMessage(const AnsiString& text, int level) override {
        entries.push_back({Kind::Message, text, level});
    }
    void Flush() override { ++flushes; }

    std::vector<Entry> entries;
    int flushes = 0;
};

}  // namespace quantora
