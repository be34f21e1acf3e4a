// Worker process of the crash test: a program of its own, so that it is a fresh process with its
// own connections, like another workstation. It imports an export file in the import's one
// transaction, writing "p" on its standard output at every progress step and "done" after the
// commit, after a first line "worker <pid>". Given a report number, it stops itself (SIGSTOP)
// right after that report, so that the test kills it there and not some steps later.
//   import <uri> <xml file> [report to stop at]
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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
    if ((argc != 4 && argc != 5) || std::string(argv[1]) != "import") {
        std::fprintf(stderr, "usage: %s import <uri> <file> [report]\n", argv[0]);
        return 2;
    }
    const AnsiString alias = quantora::Format("reliability_worker_%d", static_cast<int>(getpid()));
    Say(quantora::Format("worker %d\n", static_cast<int>(getpid())).c_str());
    try {
        OpenDatabase(alias, argv[2]);
        quantora::UiHooks hooks;
        const long stopAt = argc == 5 ? std::atol(argv[4]) : 0;
        hooks.process_messages = [stopAt, reports = 0L]() mutable {
            Say("p\n");
            if (++reports == stopAt) raise(SIGSTOP);
        };
        quantora::InstallUiHooks(std::move(hooks));
        quantora::ImportXmlDatabase(alias, argv[3]);
        Say("done\n");
        return 0;
    } catch (const Exception& e) {
        std::fprintf(stderr, "error %s\n", e.Message.c_str());
        return 1;
    }
}
