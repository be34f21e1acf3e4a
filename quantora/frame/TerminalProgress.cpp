// The terminal progress bar and the logger that prints above it.
#include "quantora/frame/TerminalProgress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace quantora {

ProgressBar::ProgressBar(int total) : ProgressBar(total, isatty(STDOUT_FILENO) == 1) {}

ProgressBar::ProgressBar(int total, bool enabled) : total_(std::max(total, 1)), enabled_(enabled) {}

void ProgressBar::Step(const std::string& label) {
    done_ = std::min(done_ + 1, total_);
    label_ = label;
    Draw();
}

void ProgressBar::Draw() {
    if (!enabled_) return;
    constexpr int kWidth = 30;
    const int filled = done_ * kWidth / total_;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::printf("\r\033[K[%s] %3d%% %.40s", bar.c_str(), done_ * 100 / total_, label_.c_str());
    std::fflush(stdout);
    drawn_ = true;
}

void ProgressBar::Clear() {
    if (!enabled_ || !drawn_) return;
    std::printf("\r\033[K");
    std::fflush(stdout);
    drawn_ = false;
}

void ProgressBar::Finish() {
    Clear();
    enabled_ = false;
}

void ProgressLogger::AddLine(const char* text) {
    if (bar_) bar_->Clear();
    std::printf("%s\n", text ? text : "");
    if (bar_) bar_->Step(text ? text : "");
}

void ProgressLogger::AddError(const char* text, int) {
    if (bar_) bar_->Clear();
    std::fprintf(stderr, "%s\n", text ? text : "");
}

void ProgressLogger::AddMessage(const AnsiString& text, int) {
    AddLine(text.c_str());
}

void ProgressLogger::Flush() {
    std::fflush(stdout);
}

}  // namespace quantora
