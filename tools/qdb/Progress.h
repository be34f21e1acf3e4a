// The library's terminal progress bar and logger, under the names qdb's commands use.
#pragma once

#include "quantora/frame/TerminalProgress.h"

namespace qdbtool {
using quantora::ProgressBar;
using quantora::ProgressLogger;
}  // namespace qdbtool
