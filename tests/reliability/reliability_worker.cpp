// Worker process of the reliability tests: a separate program, so that every worker is a fresh
// process with its own connections, like another workstation. It reports through standard output,
// one line at a time, unbuffered, so that the test can kill it at a known point.
//   import <uri> <xml file>                        "p" at every progress step, "done" after commit
//   blob <uri> <owner type> <owner id> <chunk size> <bytes> <seed> <first key>
//                                                  stores the value in one transaction; "p" every
//                                                  16 chunks, "done" after commit
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

using quantora::Format;
namespace rel = quantora::reliability;

namespace {

void Say(const std::string& line) {
    std::string l = line + "\n";
    const char* p = l.data();
    size_t n = l.size();
    while (n > 0) {
        ssize_t w = ::write(1, p, n);
        if (w <= 0) _exit(3);  // the test is gone
        p += w;
        n -= static_cast<size_t>(w);
    }
}

// Counts the keys it gives and reports every 16th: StoreBlobChunks takes one key per chunk.
class ReportingKeyGen : public IntKeyGen {
  public:
    ReportingKeyGen(int start, AnsiString db) : next_(start) { DbName = std::move(db); }
    int NextKey() override {
        if (++given_ % 16 == 0) Say("p");
        return next_++;
    }
    bool CanGenerate() override { return true; }

  private:
    int next_;
    long long given_ = 0;
};

int Import(const AnsiString& alias, const AnsiString& file) {
    quantora::UiHooks hooks;
    hooks.process_messages = [] { Say("p"); };
    quantora::InstallUiHooks(std::move(hooks));
    quantora::XmlImportResult r = quantora::ImportXmlDatabase(alias, file);
    Say(Format("done %lld", r.rows));
    return 0;
}

int Blob(const AnsiString& alias, char** a) {
    const AnsiString owner = a[0];
    const int ownerId = std::atoi(a[1]), chunk = std::atoi(a[2]);
    const size_t bytes = std::strtoull(a[3], nullptr, 10);
    const unsigned seed = static_cast<unsigned>(std::strtoul(a[4], nullptr, 10));
    ReportingKeyGen keys(std::atoi(a[5]), alias);
    const AnsiString value = rel::PatternBytes(bytes, seed);
    Transaction tr(alias);
    StoreBlobChunks(value, owner, ownerId, 0, 1, nullptr, &keys, 7, chunk);
    tr.Commit();
    Say("done");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s import|blob <uri> ...\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const AnsiString alias = Format("reliability_worker_%d", static_cast<int>(getpid()));
    try {
        OpenDatabase(alias, argv[2]);
        if (mode == "import" && argc == 4) return Import(alias, argv[3]);
        if (mode == "blob" && argc == 9) return Blob(alias, argv + 3);
        std::fprintf(stderr, "%s: bad arguments for '%s'\n", argv[0], mode.c_str());
        return 2;
    } catch (const Exception& e) {
        Say("error " + e.Message);
        return 1;
    }
}
