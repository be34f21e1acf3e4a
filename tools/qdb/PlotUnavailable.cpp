// qdb plot, view and report in a build without Qt: they say so; the demo draws no pictures.
#include <cstdio>

#include "quantora/base/Exception.h"
#include "tools/qdb/Commands.h"

namespace qdbtool {
namespace {

[[noreturn]] void Unavailable() {
    throw Exception("not available: this qdb was built without Qt 6 (Widgets and Svg)");
}

}  // namespace

int CmdPlot(const Args&) {
    Unavailable();
}

int CmdView(const Args&) {
    Unavailable();
}

int CmdReport(const Args&) {
    Unavailable();
}

void WriteDemoPictures(const char*, const std::string&) {
    std::printf("Pictures: none (this qdb was built without Qt 6)\n");
}

}  // namespace qdbtool
