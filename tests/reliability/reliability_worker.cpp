// Worker process of the crash tests: a program of its own, so that it is a fresh process with its
// own connections, like another workstation. It writes "p" on its standard output at every
// progress step inside its one transaction and "done" after the commit, after a first line
// "worker <pid>", so that the test can kill it at a known point.
//   import <uri> <xml file>
//   blob <uri> <bytes> <seed>     replaces the value of owner CRASHTEST 1 (8 KiB chunks, keys
//                                 from 1000000)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/exchange/XmlImporter.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/UiHooks.h"
#include "quantora/services/Blobutil.h"
#include "tests/reliability/Workload.h"

namespace {

void Say(const char* line) {
    if (::write(1, line, std::char_traits<char>::length(line)) <= 0) _exit(3);  // the test is gone
}

// Reports every 16th key: StoreBlobChunks takes one key per chunk.
struct ReportingKeyGen : quantora::CountingKeyGen {
    using CountingKeyGen::CountingKeyGen;
    int NextKey() override {
        if (++given % 16 == 0) Say("p\n");
        return CountingKeyGen::NextKey();
    }
    long long given = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
    const AnsiString alias = quantora::Format("reliability_worker_%d", static_cast<int>(getpid()));
    Say(quantora::Format("worker %d\n", static_cast<int>(getpid())).c_str());
    try {
        OpenDatabase(alias, argv[2]);
        if (mode == "import" && argc == 4) {
            quantora::UiHooks hooks;
            hooks.process_messages = [] { Say("p\n"); };
            quantora::InstallUiHooks(std::move(hooks));
            quantora::ImportXmlDatabase(alias, argv[3]);
        } else if (mode == "blob" && argc == 5) {
            Transaction tr(alias);  // the import has a transaction of its own
            ReportingKeyGen keys(1000000, alias);
            StoreBlobChunks(quantora::reliability::PatternBytes(std::strtoull(argv[3], nullptr, 10),
                                                                std::atoi(argv[4])),
                            "CRASHTEST", 1, 0, 1, nullptr, &keys, 7, 8192);
            tr.Commit();
        } else {
            std::fprintf(stderr, "usage: %s import <uri> <file> | blob <uri> <bytes> <seed>\n",
                         argv[0]);
            return 2;
        }
        Say("done\n");
        return 0;
    } catch (const Exception& e) {
        std::fprintf(stderr, "error %s\n", e.Message.c_str());
        return 1;
    }
}
