// qdb: the command-line tool of the lab database. One binary, one subcommand per task.
#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/MessageLine.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "tools/qdb/Commands.h"

namespace {

struct Command {
    const char* name;
    const char* usage;
    const char* help;
    int (*run)(const qdbtool::Args&);
};

const Command kCommands[] = {
    {"init", "qdb init <db>", "Create the lab schema in a database (missing tables only).",
     qdbtool::CmdInit},
    {"demo", "qdb demo [<db>]",
     "Create a fresh demo lab (default demo.db): projects, samples, sources, setups, "
     "measurements with spectra, peaks, calibrations, nuclides; then show the library at work.",
     qdbtool::CmdDemo},
    {"tables", "qdb tables <db>", "Print every table of the lab schema with its row count.",
     qdbtool::CmdTables},
    {"info", "qdb info <db>", "Engine, schema version and every table with its row count.",
     qdbtool::CmdInfo},
    {"export", "qdb export <db> <file.xml>", "Export the lab tables into an XML exchange file.",
     qdbtool::CmdExport},
    {"import", "qdb import <file.xml> <db> [--replace]",
     "Import an XML exchange file (a new database file gets the schema first); --replace "
     "empties tables that already hold rows. All or nothing.",
     qdbtool::CmdImport},
    {"csv", "qdb csv <db> \"<select ...>\" <file.csv>",
     "Run one SELECT statement and write its rows as a CSV file.", qdbtool::CmdCsv},
    {"settings",
     "qdb settings get <db> <employee> [<setting>] | qdb settings set <db> <employee> <setting> "
     "<value> [--index <n>]",
     "get: the user's setting values (id, name, index, type, value); set: store one value. "
     "Employees and settings by key or name.",
     qdbtool::CmdSettings},
    {"check", "qdb check <db> <TABLE> <key>",
     "Deletion report of one row: the references that block its deletion and those that the "
     "deletion sets to null.",
     qdbtool::CmdCheck},
    {"delete", "qdb delete <db> <TABLE> <key> [--yes]",
     "Delete one row with its dependent rows in one transaction, after the deletion report and "
     "a question on the terminal (--yes: do not ask). Blocked rows are not deleted.",
     qdbtool::CmdDelete},
    {"ecal", "qdb ecal <db> --spectrum <id> | --measurement <id>",
     "The energy calibration that applies to a spectrum (or a measurement's main spectrum): "
     "coefficients, uncertainties and points.",
     qdbtool::CmdECal},
    {"fwhm", "qdb fwhm <db> --spectrum <id>",
     "The FWHM calibration that applies to a spectrum: coefficients, uncertainties and points.",
     qdbtool::CmdFwhm},
    {"match", "qdb match <db> --library <id>[,<id>...] <energy>[:<unc>] ...",
     "Radiation lines of the libraries matching measured energies in keV (uncertainty 0.5 keV "
     "when not given): nuclide, energy, intensity.",
     qdbtool::CmdMatch},
    {"analyse",
     "qdb analyse <db> --spectrum <id> [--setting <id>] [--library <id>[,<id>...]] [--csv <file>]"
     " | --project <id> | --measurements <id>[,<id>...] [--jobs <n>]",
     "Find and fit the peaks of a stored spectrum and store the evaluation; with a radiation "
     "library the energy and FWHM calibrations are fitted anew from the lines found. With a "
     "project or measurements: every spectrum that has no evaluation yet, on all cores.",
     qdbtool::CmdAnalyse},
    {"nuclides",
     "qdb nuclides load <db> <gamma_lines.csv> | qdb nuclides library <db> <name> "
     "<nuclide>[,<nuclide>...]",
     "load: load an evaluated gamma-line table as a new radiation library. library: a library of "
     "those nuclides of the loaded tables (e.g. a calibration source's).",
     qdbtool::CmdNuclides},
    {"efficiency",
     "qdb efficiency fit <db> --spectrum <id> --source <id> [--background <spectrum id>] "
     "[--library <id>[,...]] [--name <text>] [--degree <n>] [--cascades]",
     "Fit the full-energy efficiency of the spectrum's setup from a certified source: each "
     "certified line's net counts (background subtracted, scaled by live time) over the photons "
     "the source emitted in the live time (decayed to and during the count), the curve through "
     "them; lines in cascade are flagged for summing and left out unless --cascades. Stores the "
     "analysis, valid for the setup from the measurement's date, and prints its id.",
     qdbtool::CmdEfficiency},
    {"background", "qdb background add <db> --spectrum <id> [--library <id>[,...]] [--name <text>]",
     "Evaluate a background measurement and store it as a background analysis (its peaks as "
     "rates per live second), valid for the measurement's setup from its date; quantify uses "
     "it when no background spectrum is named.",
     qdbtool::CmdBackground},
    {"quantify",
     "qdb quantify <db> --spectrum <id> --library <id>[,...] [--efficiency <id>] [--background "
     "<spectrum id>] [--reference <ISO date-time>] [--csv <file>] [--reevaluate]",
     "The activity of each nuclide of the libraries at the reference time (default: the start "
     "of the count) with its uncertainty, decision threshold and detection limit (ISO 11929), "
     "per kilogram when the sample has a mass; stored as a nuclide identification with its "
     "activity results. The spectra's stored peak evaluations are used where they were made "
     "through the calibrations that apply now; --reevaluate evaluates them anew.",
     qdbtool::CmdQuantify},
    {"source", "qdb source add <db> <certificate.csv> --name <text>",
     "Store a calibration certificate (activity per nuclide, or emission rate per line) as a "
     "certified source: standard uncertainties, reference time in UTC, linked to the loaded "
     "nuclide tables. Prints the new source id and its nuclides.",
     qdbtool::CmdSource},
    {"spectrum", "qdb spectrum import|export|info ...", qdbtool::SpectrumHelp(),
     qdbtool::CmdSpectrum},
    {"odbc",
     "qdb odbc list [--driver-filter <text>] | qdb odbc add <dsn> --driver <driver> [--database "
     "<db>] [--server <host>] [--description <text>] [--system] | qdb odbc remove <dsn> --driver "
     "<driver> [--system]",
     "List the ODBC data sources, add one or remove one (--system: a system data source, else "
     "the user's).",
     qdbtool::CmdOdbc},
    {"plot", "qdb plot spectrum|ecal|fwhm|eff ...",
     "spectrum <db> <spectrum id>[,<id>...] <out.png|out.svg> [--log] [--energy] [--normalise] "
     "[--library <id>] [--range <lo>:<hi>]: counts over channels (or energy), peaks marked "
     "with energy and nuclide, several spectra overlaid, each with its own colour and peak "
     "marks (--normalise: per second of live time; --range: only lo to hi, in keV with "
     "--energy, else in channels); ecal <db> "
     "--spectrum <id> <out>, fwhm <db> --spectrum <id> <out>: a spectrum's calibration (FWHM in "
     "keV over energy when an energy calibration applies); eff <db> --analysis <id> <out>: an "
     "efficiency analysis with its residuals. All take [--size WxH] (default "
     "1200x750) and [--title <text>].",
     qdbtool::CmdPlot},
    {"report", "qdb report <db> --measurement <id> <out.pdf|out.html>",
     "The report a client receives: sample, client and order, measurement and setup, the "
     "spectrum with its identified peaks, the activities of the newest quantification with "
     "uncertainties, decision thresholds and detection limits, the calibrations used, the "
     "reference date, who and when. HTML is self-contained (the picture inline as SVG).",
     qdbtool::CmdReport},
    {"view", "qdb view <db> <spectrum id>[,<id>...] [--log] [--library <id>]",
     "A spectrum window: wheel or drag zooms the energy range, right drag or the arrow keys pan "
     "it, L toggles log/linear, Home shows everything; the bottom line reads channel, energy "
     "and the counts of every spectrum; a peak mark shows its fit values and nuclide.",
     qdbtool::CmdView},
#ifdef QUANTORA_QDB_DIALOGS
    {"browse", "qdb browse <db>",
     "Pick measurements in the selection dialog; prints the chosen ones (id, name).",
     qdbtool::CmdBrowse},
#endif
};

// The exit code of a failure by its kind; any other failure, a bad file among them, exits with 1.
int ExitCodeFor(const std::exception& e) {
    if (dynamic_cast<const EDatabaseError*>(&e)) return qdbtool::kExitDatabase;
    if (dynamic_cast<const quantora::NotFoundError*>(&e)) return qdbtool::kExitNotFound;
    if (dynamic_cast<const quantora::MisuseError*>(&e)) return qdbtool::kExitMisuse;
    return qdbtool::kExitFailed;
}

void PrintHelp() {
    std::printf(
        "qdb - the lab database tool\n\n"
        "Usage: qdb <command> [arguments]\n\n"
        "A database is a file path (SQLite) or a postgresql://user@host:port/db URI.\n\n"
        "Commands:\n");
    for (const Command& c : kCommands) std::printf("  %s\n      %s\n", c.usage, c.help);
    std::printf(
        "\nRun 'qdb <command> --help' for one command.\n"
        "\nExit codes: 0 done, 1 failed (a bad or refused file among others), 2 misused (an "
        "unknown command or option, a malformed argument), 3 not found (a file or a key), 4 the "
        "database failed.\n");
}

}  // namespace

int main(int argc, char** argv) {
    // Past a file-size limit a write then fails with EFBIG, reported with the file's path,
    // instead of the signal ending qdb without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    // The C library maps blocks from 128 KB up one by one and unmaps each on free, which costs a
    // TLB flush every time: a 16,384-channel spectrum is such a block, and a file of a thousand
    // of them spent more time unmapping than reading. Such blocks come from the heap instead.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        PrintHelp();
        return argc < 2 ? qdbtool::kExitMisuse : 0;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) != 0) continue;
        qdbtool::Args args(argv + 2, argv + argc);
        for (const std::string& a : args)
            if (a == "--help" || a == "-h") {
                std::printf("Usage: %s\n\n%s\n", c.usage, c.help);
                return 0;
            }
        try {
            return c.run(args);
        } catch (const qdbtool::UsageError&) {
            std::fprintf(stderr, "qdb %s: usage: %s\n", c.name, c.usage);
            return qdbtool::kExitMisuse;
        } catch (const Exception& e) {
            std::fprintf(stderr, "qdb %s: %s\n", c.name, quantora::MessageLine(e.Message).c_str());
            return ExitCodeFor(e);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "qdb %s: %s\n", c.name, quantora::MessageLine(e.what()).c_str());
            return ExitCodeFor(e);
        }
    }
    std::fprintf(stderr, "qdb: unknown command '%s' (see qdb --help)\n", argv[1]);
    return qdbtool::kExitMisuse;
}
