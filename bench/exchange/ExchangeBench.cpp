// The database exchange in one run on a generated lab database of at least 210 MB (real spectra,
// compressed, with their measurements, samples, calibrations, peaks and blob chunks):
//   - the XML export against `sqlite3 <db> .dump > file` (the whole database, and only the
//     exported tables), and against a raw SQLite + fprintf writer of the same file;
//   - our XML reader against expat, both parsing the exported file;
//   - the import of the exported file into a fresh database, in rows per second.
// Set QUANTORA_BENCH_DB_MB for another database size (e.g. a small one for profiling). All files
// are made in /tmp and removed at the end.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/common/RatioReporter.h"
#include "bench/exchange/LabDatabase.h"
#include "bench/exchange/RawExport.h"
#include "bench/exchange/ShellTool.h"
#include "bench/exchange/XmlCounting.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/exchange/XmlImporter.h"

using quantora::Format;
namespace qb = quantora::bench;

namespace {

const std::string g_base = Format("/tmp/quantora_exchangebench_%d", static_cast<int>(getpid()));
const std::string g_dbPath = g_base + ".db";
const std::string g_xmlPath = g_base + "_export.xml";
const std::string g_rawPath = g_base + "_raw.xml";
const std::string g_dumpPath = g_base + "_dump.sql";
const std::string g_tablesDumpPath = g_base + "_dump_tables.sql";
const std::string g_importPath = g_base + "_import.db";
const char* const kAlias = "exchangebench";
const char* const kImportAlias = "exchangebench_import";

qb::LabDatabaseStats g_stats;
std::string g_sqlite3;  // the command-line tool, "" when missing

// Removes every file of the run, also when it ends by an exception.
struct TempFiles {
    ~TempFiles() {
        qb::RemoveDatabaseFiles(g_dbPath);
        qb::RemoveDatabaseFiles(g_importPath);
        for (const std::string* p : {&g_xmlPath, &g_rawPath, &g_dumpPath, &g_tablesDumpPath})
            std::remove(p->c_str());
    }
};

long long FileSize(const std::string& path) {
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<long long>(n);
}

double Mb(long long bytes) {
    return static_cast<double>(bytes) / 1e6;
}

// True when both files hold the same bytes (compared in blocks, not loaded whole).
bool SameFiles(const std::string& a, const std::string& b) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> fa(std::fopen(a.c_str(), "rb"),
                                                          &std::fclose);
    std::unique_ptr<std::FILE, decltype(&std::fclose)> fb(std::fopen(b.c_str(), "rb"),
                                                          &std::fclose);
    if (!fa || !fb) return false;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        const std::size_t na = std::fread(ba.data(), 1, ba.size(), fa.get());
        const std::size_t nb = std::fread(bb.data(), 1, bb.size(), fb.get());
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) return false;
        if (na == 0) return true;
    }
}

void Throughput(benchmark::State& state, long long bytes, long long rows) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * rows);
}

void BM_Export(benchmark::State& state) {
    for (auto _ : state) QuantoraXmlExporter().ExportDatabase(kAlias, g_xmlPath.c_str());
    Throughput(state, FileSize(g_xmlPath), g_stats.exportedRows);
}

void BM_ExportRawFprintf(benchmark::State& state) {
    for (auto _ : state) qb::RawExport(g_dbPath, kAlias, g_rawPath);
    Throughput(state, FileSize(g_rawPath), g_stats.exportedRows);
}

void BM_SqliteDump(benchmark::State& state) {
    for (auto _ : state) qb::RunToFile({g_sqlite3, g_dbPath, ".dump"}, g_dumpPath);
    Throughput(state, FileSize(g_dumpPath), g_stats.rows);
}

// `.dump` of the 21 tables the export writes, so that both write the same rows.
void BM_SqliteDumpExportedTables(benchmark::State& state) {
    std::string command = ".dump";
    for (const char* const* t = QuantoraXmlExporter::ExportedTables; *t; ++t)
        command += Format(" %s", *t);
    for (auto _ : state) qb::RunToFile({g_sqlite3, g_dbPath, command}, g_tablesDumpPath);
    Throughput(state, FileSize(g_tablesDumpPath), g_stats.exportedRows);
}

void BM_XmlReader(benchmark::State& state) {
    qb::XmlCounts c;
    for (auto _ : state) benchmark::DoNotOptimize(c = qb::CountWithXmlReader(g_xmlPath));
    Throughput(state, FileSize(g_xmlPath), c.elements);
}

void BM_Expat(benchmark::State& state) {
    qb::XmlCounts c;
    for (auto _ : state) benchmark::DoNotOptimize(c = qb::CountWithExpat(g_xmlPath));
    Throughput(state, FileSize(g_xmlPath), c.elements);
}

void BM_Import(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        qb::RemoveDatabaseFiles(g_importPath);
        OpenDatabase(kImportAlias, "sqlite:" + g_importPath);
        CreateSchema(kImportAlias);
        state.ResumeTiming();
        const quantora::XmlImportResult r = quantora::ImportXmlDatabase(kImportAlias, g_xmlPath);
        state.PauseTiming();
        CloseDatabase(kImportAlias);
        if (r.rows != g_stats.exportedRows)
            state.SkipWithError(
                Format("imported %lld rows of %lld", r.rows, g_stats.exportedRows).c_str());
        state.ResumeTiming();
    }
    qb::RemoveDatabaseFiles(g_importPath);
    Throughput(state, FileSize(g_xmlPath), g_stats.exportedRows);
}

// Builds the database, writes the export and its baselines once and checks them; false when a
// check fails.
bool Prepare() {
    const char* mb = std::getenv("QUANTORA_BENCH_DB_MB");
    const long long minBytes = (mb ? std::atoll(mb) : 210) * 1000 * 1000;
    const auto t0 = std::chrono::steady_clock::now();
    g_stats = qb::BuildLabDatabase(kAlias, g_dbPath, minBytes,
                                   std::string(QUANTORA_SHARED_DATA) + "/spectra/counts");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf(
        "database %s: %.1f MB (%.1f MB in the exported tables with their indexes), %lld rows "
        "(%lld in the exported tables, %lld in peak, chunk and other tables), %lld spectra with "
        "%.1f MB of compressed counts; built in %.1f s\n",
        g_dbPath.c_str(), Mb(g_stats.bytes), Mb(g_stats.exportedBytes), g_stats.rows,
        g_stats.exportedRows, g_stats.otherTableRows, g_stats.spectra, Mb(g_stats.countBytes),
        seconds);
    OpenDatabase(kAlias, "sqlite:" + g_dbPath);

    QuantoraXmlExporter().ExportDatabase(kAlias, g_xmlPath.c_str());
    qb::RawExport(g_dbPath, kAlias, g_rawPath);
    std::printf("export file: %.1f MB\n", Mb(FileSize(g_xmlPath)));
    if (!SameFiles(g_xmlPath, g_rawPath)) {
        std::printf("the raw SQLite + fprintf writer does not write the same file as the export\n");
        return false;
    }
    std::remove(g_rawPath.c_str());

    const qb::XmlCounts ours = qb::CountWithXmlReader(g_xmlPath);
    const qb::XmlCounts expat = qb::CountWithExpat(g_xmlPath);
    std::printf("export file: %lld elements, %lld attributes\n", ours.elements, ours.attributes);
    if (ours.elements != expat.elements || ours.attributes != expat.attributes) {
        std::printf("expat counts %lld elements, %lld attributes\n", expat.elements,
                    expat.attributes);
        return false;
    }

    g_sqlite3 = qb::FindOnPath("sqlite3");
    if (g_sqlite3.empty())
        std::printf(
            "sqlite3 (the command-line tool) is not on PATH: the comparison with .dump is "
            "skipped (apt-get install -y sqlite3)\n");
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    TempFiles cleanup;
    try {
        if (!Prepare()) return 1;
        BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
        if (!g_sqlite3.empty()) {
            BENCHMARK(BM_SqliteDump)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
            BENCHMARK(BM_SqliteDumpExportedTables)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->Iterations(2);
        }
        BENCHMARK(BM_ExportRawFprintf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
        BENCHMARK(BM_XmlReader)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
        BENCHMARK(BM_Expat)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
        BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
        const int rc = qb::RunWithRatios(
            argc, argv,
            {{"export / sqlite3 .dump (whole database)", "BM_Export", "BM_SqliteDump", 1.0},
             {"export / sqlite3 .dump (the exported tables)", "BM_Export",
              "BM_SqliteDumpExportedTables", 1.0},
             {"export / (raw SQLite + fprintf)", "BM_Export", "BM_ExportRawFprintf", 1.0},
             {"XML reader / expat (the exported file)", "BM_XmlReader", "BM_Expat", 2.0}});
        CloseDatabase(kAlias);
        return rc;
    } catch (const std::exception& e) {
        std::printf("failed: %s\n", e.what());
    }
    return 1;
}
