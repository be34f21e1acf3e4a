// Storing and reading a large value as BLOBCHUNK rows of 64 KB against writing and reading the
// same bytes as one BLOB row with raw SQLite calls (same journal and sync settings as the layer).
// The value is 16 MB; QUANTORA_BENCH_BLOB_MB sets another size.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "bench/common/RatioReporter.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/services/Blobutil.h"

namespace {

constexpr int kChunk = 64 * 1024;
const char* kAlias = "bench_blobchunks";

size_t ValueBytes() {
    const char* mb = std::getenv("QUANTORA_BENCH_BLOB_MB");
    long n = mb ? std::atol(mb) : 16;
    return static_cast<size_t>(n > 0 ? n : 16) << 20;
}

std::string TempPath(const char* name) {
    return "/tmp/quantora_bench_" + std::to_string(getpid()) + "_" + name + ".db";
}

void RemoveDb(const std::string& path) {
    for (const char* s : {"", "-wal", "-shm"}) std::remove((path + s).c_str());
}

void Check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}

// Both databases, and the value: bytes that do not compress or repeat in an obvious way.
struct Fixture {
    std::string chunks_path = TempPath("chunks"), raw_path = TempPath("raw");
    std::string value;
    sqlite3* raw = nullptr;
    quantora::CountingKeyGen keys{1, kAlias};

    Fixture() {
        value.resize(ValueBytes());
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (char& c : value) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            c = static_cast<char>(x);
        }
        RemoveDb(chunks_path);
        OpenDatabase(kAlias, "sqlite:" + chunks_path);
        CreateSchema(kAlias);

        RemoveDb(raw_path);
        Check(sqlite3_open(raw_path.c_str(), &raw), raw);
        Check(sqlite3_exec(raw,
                           "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; CREATE TABLE RAWBLOB "
                           "(RAWBLOB_ID INTEGER NOT NULL PRIMARY KEY, DATA BLOB)",
                           nullptr, nullptr, nullptr),
              raw);
    }
    ~Fixture() {
        sqlite3_close(raw);
        CloseDatabase(kAlias);
        RemoveDb(chunks_path);
        RemoveDb(raw_path);
    }
};

Fixture& F() {
    static Fixture f;
    return f;
}

void StoreChunks() {
    Fixture& f = F();
    StoreBlobChunks(f.value, "pBench", 1, 0, 0, nullptr, &f.keys, 1, kChunk);
}

void StoreRaw() {
    Fixture& f = F();
    Check(
        sqlite3_exec(f.raw, "DELETE FROM RAWBLOB WHERE RAWBLOB_ID = 1", nullptr, nullptr, nullptr),
        f.raw);
    sqlite3_stmt* st;
    Check(sqlite3_prepare_v2(f.raw, "INSERT INTO RAWBLOB (RAWBLOB_ID, DATA) VALUES (1, ?1)", -1,
                             &st, nullptr),
          f.raw);
    sqlite3_bind_blob64(st, 1, f.value.data(), f.value.size(), SQLITE_STATIC);
    int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    Check(rc, f.raw);
}

void BM_Store_Chunks(benchmark::State& state) {
    for (auto _ : state) StoreChunks();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * F().value.size()));
}

// The same, wrapped by the caller in one transaction: one commit instead of one per chunk.
void BM_Store_ChunksInTransaction(benchmark::State& state) {
    for (auto _ : state) {
        Transaction t(kAlias);
        StoreChunks();
        t.Commit();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * F().value.size()));
}

void BM_Store_RawBlob(benchmark::State& state) {
    for (auto _ : state) StoreRaw();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * F().value.size()));
}

void BM_Read_Chunks(benchmark::State& state) {
    StoreChunks();
    std::string back;
    for (auto _ : state) {
        ReadBlobChunks(back, "pBench", 1, 0, 0, nullptr, kChunk, kAlias);
        benchmark::DoNotOptimize(back.data());
    }
    if (back != F().value) state.SkipWithError("value read back differs");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * F().value.size()));
}

void BM_Read_RawBlob(benchmark::State& state) {
    Fixture& f = F();
    StoreRaw();
    std::string back;
    sqlite3_stmt* st;
    Check(sqlite3_prepare_v2(f.raw, "SELECT DATA FROM RAWBLOB WHERE RAWBLOB_ID = 1", -1, &st,
                             nullptr),
          f.raw);
    for (auto _ : state) {
        Check(sqlite3_step(st), f.raw);
        back.assign(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                    static_cast<size_t>(sqlite3_column_bytes(st, 0)));
        sqlite3_reset(st);
        benchmark::DoNotOptimize(back.data());
    }
    sqlite3_finalize(st);
    if (back != f.value) state.SkipWithError("value read back differs");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.value.size()));
}

BENCHMARK(BM_Store_RawBlob)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Store_Chunks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Store_ChunksInTransaction)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Read_RawBlob)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Read_Chunks)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // Goal: chunks at least half the single-BLOB throughput, so at most twice its time.
    return quantora::bench::RunWithRatios(
        argc, argv,
        {{"store in 64 KB chunks / one BLOB row", "BM_Store_Chunks", "BM_Store_RawBlob", 2.0},
         {"store in chunks, caller's transaction / one BLOB row", "BM_Store_ChunksInTransaction",
          "BM_Store_RawBlob", 2.0},
         {"read 64 KB chunks / one BLOB row", "BM_Read_Chunks", "BM_Read_RawBlob", 2.0}});
}
