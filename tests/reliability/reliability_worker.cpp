// Worker process of the crash test: a program of its own, so that it is a fresh process with its
// own connections, like another workstation. It imports an export file in the import's one
// transaction, writing "p" on its standard output at every progress step and "done" after the
// commit, after a first line "worker <pid>", so that the test can kill it at a known point.
//   import <uri> <xml file>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/exchange/XmlImporter.h"
#include "quantora/frame/UiHooks.h"

namespace {

void Say(const char* line) {
    if (::write(1, line, std::char_traits<char>::length(line)) <= 0) _exit(3);  // the test is gone
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || std::string(argv[1]) != "import") {
        std::fprintf(stderr, "usage: %s import <uri> <file>\n", argv[0]);
        return 2;
    }
    const AnsiString alias = quantora::Format("reliability_worker_%d", static_cast<int>(getpid()));
    Say(quantora::Format("worker %d\n", static_cast<int>(getpid())).c_str());
    try {
        OpenDatabase(alias, argv[2]);
        quantora::UiHooks hooks;
        hooks.process_messages = [] { Say("p\n"); };
        quantora::InstallUiHooks(std::move(hooks));
        quantora::ImportXmlDatabase(alias, argv[3]);
        Say("done\n");
        return 0;
    } catch (const Exception& e) {
        std::fprintf(stderr, "error %s\n", e.Message.c_str());
        return 1;
    }
}
