// A visible x range written as text, "LO:HI" (e.g. "20:400"), as qdb takes it on its command line.
#pragma once

#include <string>

namespace quantora::plots {

// Parses "LO:HI" into two finite numbers with LO < HI; throws an Exception naming the text for
// anything else.
void ParsePlotRange(const std::string& text, double* lo, double* hi);

}  // namespace quantora::plots
