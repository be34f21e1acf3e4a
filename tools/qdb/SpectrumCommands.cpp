// qdb spectrum import / export / info: spectrum files of every supported format into the
// database (into one measurement, or one new measurement per file), stored spectra back out as
// SPE, N42 or CSV, and what the reader finds in a file.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "quantora/base/DateTime.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/base/MessageLine.h"
#include "quantora/lab/SpectrumImport.h"
#include "quantora/lab/StoredSpectra.h"
#include "quantora/spectrumfiles/SpectrumFileFormats.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"
#include "quantora/spectrumfiles/SpectrumFileWriter.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"
#include "tools/qdb/Progress.h"

namespace qdbtool {

using quantora::Format;
using quantora::SpectrumFile;
using quantora::SpectrumFileData;

namespace {

const char* const kAlias = "qdb_spectrum";
const char* const kImportUsage =
    "usage: qdb spectrum import <db> <file>... --measurement <id> | <db> <dir or files...> "
    "--new-measurements --project <id> [--detector <name>] [--asc-layout auto|times|counts] "
    "[--fast]";

// The files named on the command line, folders expanded to the files in them (sorted).
std::vector<std::string> ExpandFiles(const Args& names) {
    std::vector<std::string> files;
    for (const std::string& name : names) {
        if (!std::filesystem::is_directory(name)) {
            files.push_back(name);
            continue;
        }
        const auto first = static_cast<std::ptrdiff_t>(files.size());
        for (const auto& e : std::filesystem::recursive_directory_iterator(name))
            if (e.is_regular_file()) files.push_back(e.path().string());
        std::sort(files.begin() + first, files.end());
    }
    return files;
}

std::string Coefficients(const std::vector<double>& c) {
    std::string out;
    for (double v : c) out += Format(" %.9g", v);
    return out.empty() ? " none" : out;
}

void PrintSpectrum(const SpectrumFileData& s) {
    double sum = 0;
    for (unsigned long c : s.counts) sum += static_cast<double>(c);
    std::printf("  spectrum%s%s%s%s\n", s.detector.empty() ? "" : " of detector ",
                s.detector.c_str(), s.title.empty() ? "" : ": ", s.title.c_str());
    const std::string start =
        s.startTime > 0 ? quantora::FormatIsoDateTime(s.startTime) : "unknown";
    std::printf(
        "    channels: %zu (from %d), total counts: %.0f\n"
        "    live time: %.3f s, real time: %.3f s\n"
        "    start: %s\n"
        "    energy calibration:%s\n"
        "    FWHM calibration:%s\n",
        s.counts.size(), s.firstChannel, sum, s.liveTime, s.realTime, start.c_str(),
        Coefficients(s.energyCoeffs).c_str(), Coefficients(s.fwhmCoeffs).c_str());
}

quantora::AscLayout ParseAscLayout(const std::string& text) {
    if (text.empty() || text == "auto") return quantora::AscLayout::Auto;
    if (text == "times") return quantora::AscLayout::TimesInFirstChannels;
    if (text == "counts") return quantora::AscLayout::CountsOnly;
    throw quantora::MisuseError("--asc-layout takes auto, times or counts");
}

int Import(Args args) {
    quantora::SpectrumImportTarget target;
    target.measurementId = TakeKey(args, "--measurement", "measurement id");
    target.projectId = TakeKey(args, "--project", "project id");
    target.detector = TakeOption(args, "--detector");
    target.read.ascLayout = ParseAscLayout(TakeOption(args, "--asc-layout"));
    const bool newMeasurements = TakeFlag(args, "--new-measurements");
    target.fastCompression = TakeFlag(args, "--fast");
    if (args.size() < 2 || newMeasurements == (target.measurementId > 0) ||
        newMeasurements == (target.projectId < 0))
        throw quantora::MisuseError(kImportUsage);
    const std::vector<std::string> files = ExpandFiles(Args(args.begin() + 1, args.end()));
    OpenLabDatabase(kAlias, args[0]);
    quantora::SpectrumImporter importer(kAlias, target);

    int imported = 0, skipped = 0;
    std::vector<std::string> refused;
    const auto counts = [&] {
        return Format("%d imported, %d skipped as already present, %zu refused", imported, skipped,
                      refused.size());
    };
    ProgressBar bar(static_cast<int>(files.size()));
    auto onFile = [&](const quantora::SpectrumFileOutcome& o) {
        bar.Step(std::filesystem::path(o.path).filename().string());
        bar.Clear();
        if (o.refused) {
            refused.push_back(o.reason);
            std::fprintf(stderr, "refused: %s\n", o.reason.c_str());
            return;
        }
        const quantora::SpectrumImportResult& r = o.result;
        for (const AnsiString& w : r.file.warnings)
            std::printf("%s: warning: %s\n", o.path.c_str(), quantora::MessageLine(w).c_str());
        if (r.alreadyPresent) {
            ++skipped;
            std::printf("%s: skipped, already present\n", o.path.c_str());
            return;
        }
        ++imported;
        std::string ids;
        for (int id : r.spectrumIds) ids += (ids.empty() ? "" : ",") + std::to_string(id);
        std::printf("%s: %s, measurement %d, spectrum %s\n", o.path.c_str(), r.file.format.c_str(),
                    r.measurementId, ids.c_str());
        if (files.size() == 1)
            for (const SpectrumFileData& s : r.file.spectra) PrintSpectrum(s);
    };
    try {
        importer.ImportFiles(files, onFile);
    } catch (const quantora::SpectrumBatchStopped& e) {
        // One line for the whole rest of the batch: the files after it would all fail alike.
        bar.Finish();
        const size_t done = static_cast<size_t>(imported + skipped) + refused.size();
        std::fprintf(stderr, "stopped: %s; %s, %zu not imported\n", e.Message.c_str(),
                     counts().c_str(), files.size() - done);
        return e.database ? kExitDatabase : kExitFailed;
    }
    bar.Finish();
    std::printf("%s\n", counts().c_str());
    for (const std::string& r : refused) std::printf("  refused: %s\n", r.c_str());
    return refused.empty() ? 0 : 1;
}

int Export(Args args) {
    if (args.size() != 3)
        throw quantora::MisuseError("usage: qdb spectrum export <db> <spectrum id> <file" +
                                    quantora::WrittenSpectrumExtensions("|") + ">");
    const int id = ParseKey(args[1], "spectrum id");
    OpenLabDatabase(kAlias, args[0]);
    const SpectrumFileData s = quantora::LoadStoredSpectrum(kAlias, id);
    quantora::WriteSpectrumFile(args[2], {s});
    std::printf("exported spectrum %d (%zu channels) to %s\n", id, s.counts.size(),
                args[2].c_str());
    return 0;
}

int Info(Args args) {
    quantora::SpectrumReadOptions options;
    options.ascLayout = ParseAscLayout(TakeOption(args, "--asc-layout"));
    if (args.empty())
        throw quantora::MisuseError("usage: qdb spectrum info <file>... [--asc-layout ...]");
    int bad = 0;
    for (const std::string& path : args) {
        try {
            const SpectrumFile f = quantora::ReadSpectrumFile(path, options);
            std::printf("%s: %s, %zu spectr%s\n", path.c_str(), f.format.c_str(), f.spectra.size(),
                        f.spectra.size() == 1 ? "um" : "a");
            for (const SpectrumFileData& s : f.spectra) PrintSpectrum(s);
            for (const AnsiString& w : f.warnings)
                std::printf("  warning: %s\n", quantora::MessageLine(w).c_str());
        } catch (const Exception& e) {
            std::fprintf(stderr, "%s\n", quantora::MessageLine(e.Message).c_str());
            ++bad;
        }
    }
    return bad ? 1 : 0;
}

}  // namespace

int CmdSpectrum(const Args& args) {
    const std::string sub = args.empty() ? std::string() : args[0];
    if (sub == "import") return Import(Rest(args));
    if (sub == "export") return Export(Rest(args));
    if (sub == "info") return Info(Rest(args));
    throw quantora::MisuseError(
        "usage: qdb spectrum import|export|info ... (see qdb spectrum --help)");
}

const char* SpectrumHelp() {
    static const std::string help =
        "import <db> <file>... --measurement <id>: add the spectra of files of any supported "
        "format (" +
        quantora::SpectrumFileFormatNames(", ") +
        "; recognised by content) with their times and energy calibration; import <db> <dir or "
        "files>... --new-measurements --project <id>: one new measurement per file, one "
        "transaction per file, files already present skipped, a summary at the end (exit 1 when "
        "a file was refused, 4 when the database failed); --detector <name> keeps one detector "
        "of a multi-detector file, --asc-layout auto|times|counts says how a one-count-per-line "
        "file is read, --fast stores the counts with the codec's fast mode. export <db> "
        "<spectrum id> <file" +
        quantora::WrittenSpectrumExtensions("|") +
        ">: write a stored spectrum. info <file>...: what the reader finds in a file, without a "
        "database.";
    return help.c_str();
}

}  // namespace qdbtool
