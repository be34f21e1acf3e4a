// qdb source add: a calibration certificate (CSV) stored as a certified source with its
// nuclides, linked to the nuclide tables.
#include <cstdio>
#include <string>

#include "quantora/base/DateTime.h"
#include "quantora/lab/Certificates.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"

namespace qdbtool {

namespace {

const char* const kAlias = "qdb_source";

}  // namespace

int CmdSource(const Args& in) {
    Args args = in;
    const std::string name = TakeOption(args, "--name");
    if (args.size() != 3 || args[0] != "add" || name.empty()) throw UsageError();
    const std::string& path = args[2];
    // The certificate is read before the database is touched.
    const quantora::Certificate cert = quantora::ReadCertificate(path);
    OpenLabDatabase(kAlias, args[1]);
    const int id = quantora::StoreSource(kAlias, name, cert, path);
    std::printf("source %d: %s (%zu nuclides, %s certificate)\n", id, name.c_str(),
                cert.nuclides.size(), cert.emissionRate ? "emission-rate" : "activity");
    for (const quantora::CertifiedNuclide& n : cert.nuclides) {
        std::printf("  %-8s", n.nuclide.c_str());
        if (n.lines.empty()) std::printf(" %.6g +- %.4g Bq", n.activity, n.activityUnc);
        for (size_t i = 0; i < n.lines.size(); ++i)
            std::printf("%s %.6g keV: %.6g +- %.4g /s", i ? ";" : "", n.lines[i].energyKeV,
                        n.lines[i].rate, n.lines[i].rateUnc);
        std::printf("  at %.19s UTC\n", quantora::FormatIsoDateTime(n.reference).c_str());
    }
    return 0;
}

}  // namespace qdbtool
