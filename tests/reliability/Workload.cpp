// The reliability tests' write workload and its verification.
#include "tests/reliability/Workload.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <thread>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/records/Meastables.h"
#include "quantora/services/Blobutil.h"

namespace quantora::reliability {
namespace {

constexpr size_t kMaxChannels = 16384;

std::vector<std::vector<unsigned long>> LoadSpectra() {
    std::filesystem::path dir = std::filesystem::path(QUANTORA_SHARED_DATA) / "spectra" / "counts";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) files.push_back(entry);
    std::sort(files.begin(), files.end());
    std::vector<std::vector<unsigned long>> spectra;
    for (const auto& f : files) {
        std::vector<unsigned long> counts;
        std::ifstream in(f);
        unsigned long v;
        while (in >> v) counts.push_back(v);
        if (!counts.empty() && counts.size() <= kMaxChannels) spectra.push_back(std::move(counts));
    }
    if (spectra.empty()) throw Exception(Format("no spectra in %s", dir.string().c_str()));
    return spectra;
}

void WriteUnit(const AnsiString& alias, int writer, int unit) {
    Transaction tr(alias);
    CountingKeyGen keys(FirstKey(writer, unit), alias);

    MEASUREMENTData m;
    m.NAME = MeasurementName(writer, unit);
    m.MEASOBJTYPE_ID = 1;
    m.STARTDATE = 45000.0 + unit / 1024.0;
    m.CREATIONDATE = 45000.25;
    m.CMT = Format("writer %d", writer);
    m.Insert(&keys, alias.c_str(), nullptr);

    for (int s = 0; s < kSpectraPerUnit; ++s) {
        std::vector<unsigned long> counts = SpectrumCounts(writer, unit, s);
        SPECTRUMData sp;
        sp.MEASUREMENT_ID = m.MEASUREMENT_ID;
        sp.SPECTRUMTYPE_ID = 1 + s;
        sp.NAME = Format("%s/%d", m.NAME.c_str(), s);
        sp.LIVETIME = 100.0 + unit;
        sp.TRUETIME = 100.5 + unit;
        sp.EMPLOYEE_ID = 1;
        sp.CREATIONDATE = 45000.25;
        sp.CompressCounts(&counts, s == 1);
        sp.Insert(&keys, alias.c_str(), nullptr);
    }
    StoreBlobChunks(BlobValue(writer, unit), kBlobOwnerType, m.MEASUREMENT_ID, 0, 1, nullptr, &keys,
                    1, kBlobChunkSize);
    tr.Commit();
}

long long CountOf(const AnsiString& alias, const AnsiString& sql) {
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(sql);
    q.Open();
    return q.Fields()[0]->AsLargeInt();
}

uint64_t Fnv(uint64_t h, const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(p[i])) * 1099511628211ull;
    return h;
}

}  // namespace

const std::vector<std::vector<unsigned long>>& RealSpectra() {
    static const std::vector<std::vector<unsigned long>> spectra = LoadSpectra();
    return spectra;
}

AnsiString MeasurementName(int writer, int unit) {
    return Format("rel-w%d-u%d", writer, unit);
}

std::vector<unsigned long> SpectrumCounts(int writer, int unit, int spectrum) {
    const auto& all = RealSpectra();
    std::vector<unsigned long> counts =
        all[static_cast<size_t>(writer * 5 + unit * 2 + spectrum) % all.size()];
    counts[static_cast<size_t>(unit * 31 + spectrum) % counts.size()] +=
        1 + static_cast<unsigned long>(writer) * 100 + static_cast<unsigned long>(unit);
    return counts;
}

AnsiString BlobValue(int writer, int unit) {
    const size_t size = 6000 + static_cast<size_t>(writer * 7919 + unit * 104729) % 16000;
    return PatternBytes(size, static_cast<unsigned>(writer * 1000 + unit));
}

int BlobChunkCount(int writer, int unit) {
    return static_cast<int>((BlobValue(writer, unit).size() + kBlobChunkSize - 1) / kBlobChunkSize);
}

int UnitRows(int writer, int unit) {
    return 1 + kSpectraPerUnit + BlobChunkCount(writer, unit);
}

AnsiString PatternBytes(size_t n, unsigned seed) {
    AnsiString s(n, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = static_cast<char>(i % 251 == 0 ? 0 : x & 0xFF);
    }
    return s;
}

bool IsRetryable(const EDatabaseError& e) {
    return e.Retryable() && (e.Category() == DbErrorCategory::Busy ||
                             e.Category() == DbErrorCategory::Serialization);
}

WriteStats RunWriter(const AnsiString& alias, int writer, int first, int count) {
    WriteStats stats;
    for (int unit = first; unit < first + count; ++unit) {
        for (int attempt = 1;; ++attempt) {
            try {
                WriteUnit(alias, writer, unit);
                break;
            } catch (const EDatabaseError& e) {
                if (!IsRetryable(e) || attempt >= kMaxAttempts) throw;
                ++stats.retries;
                std::this_thread::sleep_for(std::chrono::milliseconds(attempt));
            }
        }
        ++stats.units;
        stats.rows += UnitRows(writer, unit);
    }
    return stats;
}

std::vector<std::string> VerifyWriters(const AnsiString& alias, int writers, int units) {
    std::vector<std::string> problems;
    auto problem = [&](const AnsiString& text) {
        if (problems.size() < 20) problems.push_back(text);
    };
    long long chunks = 0;
    for (int w = 0; w < writers; ++w)
        for (int u = 0; u < units; ++u) chunks += BlobChunkCount(w, u);
    const long long measurements = static_cast<long long>(writers) * units;
    struct Total {
        const char* table;
        const char* key;
        long long expected;
    };
    for (const Total& t : {Total{"MEASUREMENT", "MEASUREMENT_ID", measurements},
                           Total{"SPECTRUM", "SPECTRUM_ID", measurements * kSpectraPerUnit},
                           Total{"BLOBCHUNK", "BLOBCHUNK_ID", chunks}}) {
        const long long rows = CountOf(alias, Format("SELECT COUNT(*) FROM %s", t.table));
        const long long keys =
            CountOf(alias, Format("SELECT COUNT(DISTINCT %s) FROM %s", t.key, t.table));
        if (rows != t.expected || keys != rows)
            problem(Format("%s: %lld rows with %lld distinct keys, expected %lld", t.table, rows,
                           keys, t.expected));
    }

    TQuery mq, sq;
    mq.SetDatabaseName(alias);
    mq.SetSQL("SELECT * FROM MEASUREMENT WHERE MEASUREMENT_ID = :id");
    sq.SetDatabaseName(alias);
    sq.SetSQL("SELECT * FROM SPECTRUM WHERE MEASUREMENT_ID = :id ORDER BY SPECTRUM_ID");
    std::vector<unsigned long> counts;
    AnsiString blob;
    for (int w = 0; w < writers; ++w) {
        for (int u = 0; u < units; ++u) {
            const int key = FirstKey(w, u);
            const AnsiString where = Format("writer %d unit %d (key %d)", w, u, key);
            mq.Close();
            mq.ParamByName("id")->SetAsInteger(key);
            mq.Open();
            MEASUREMENTData m;
            if (!m.GetData(&mq) || m.NAME != MeasurementName(w, u) ||
                m.CMT != Format("writer %d", w)) {
                problem(where + ": measurement missing or different");
                continue;
            }
            sq.Close();
            sq.ParamByName("id")->SetAsInteger(key);
            sq.Open();
            for (int s = 0; s < kSpectraPerUnit; ++s, sq.Next()) {
                SPECTRUMData sp;
                if (!sp.GetData(&sq) || sp.SPECTRUM_ID != key + 1 + s) {
                    problem(Format("%s: spectrum %d missing", where.c_str(), s));
                    break;
                }
                sp.UncompressCounts(&counts);
                if (counts != SpectrumCounts(w, u, s))
                    problem(Format("%s: counts of spectrum %d differ", where.c_str(), s));
            }
            if (!sq.Eof()) problem(where + ": more spectra than written");
            ReadBlobChunks(blob, kBlobOwnerType, key, 0, 1, nullptr, kBlobChunkSize, alias);
            if (blob != BlobValue(w, u)) problem(where + ": blob differs");
        }
    }
    return problems;
}

AnsiString IntegrityCheck(const AnsiString& alias) {
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL("PRAGMA integrity_check");
    AnsiString out;
    for (q.Open(); !q.Eof(); q.Next()) {
        if (!out.empty()) out += "; ";
        out += q.Fields()[0]->AsString();
    }
    return out;
}

std::string TableDigest(const AnsiString& alias, const AnsiString& table) {
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(Format("SELECT * FROM %s", table.c_str()));
    q.SetUniDirectional(true);
    long long rows = 0;
    uint64_t sum = 0;
    for (q.Open(); !q.Eof(); q.Next(), ++rows) {
        uint64_t h = 14695981039346656037ull;
        for (int i = 0; i < q.FieldCount(); ++i) {
            const TField* f = q.Fields()[i];
            if (f->IsNull()) {
                h = Fnv(h, "\1N", 2);
            } else {
                const AnsiString v = f->AsString();
                h = Fnv(h, v.data(), v.size());
            }
            h = Fnv(h, "\0", 1);
        }
        sum += h * 0x9E3779B97F4A7C15ull;
    }
    return Format("%s: %lld rows, digest %016llx", table.c_str(), rows,
                  static_cast<unsigned long long>(sum));
}

}  // namespace quantora::reliability
