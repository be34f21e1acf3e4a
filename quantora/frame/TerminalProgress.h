// Progress on a terminal, for the library's own tools: a bar redrawn in place while stdout is a
// tty, nothing otherwise; and a logger that prints library progress lines above the bar.
#pragma once

#include <string>

#include "quantora/frame/StringLogger.h"

namespace quantora {

class ProgressBar {
  public:
    // `total` steps; `enabled` false draws nothing (the default follows isatty(stdout)).
    explicit ProgressBar(int total);
    ProgressBar(int total, bool enabled);
    ~ProgressBar() { Finish(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Advances by one step and shows `label` beside the bar.
    void Step(const std::string& label);
    // Erases the bar (so following output starts on a clean line).
    void Clear();
    // Erases the bar for good.
    void Finish();
    bool Enabled() const { return enabled_; }

  private:
    void Draw();

    int total_, done_ = 0;
    bool enabled_, drawn_ = false;
    std::string label_;
};

// Prints every line to stdout (errors to stderr) and advances the bar once per line.
class ProgressLogger : public StringLogger {
  public:
    explicit ProgressLogger(ProgressBar* bar) : bar_(bar) {}
    void AddLine(const char* text) override;
    void AddError(const char* text, int level) override;
    void AddMessage(const AnsiString& text, int level) override;
    void Flush() override;

  private:
    ProgressBar* bar_;
};

}  // namespace quantora
