// Spectrum files into the database: a measurement (found or made), then the file's spectra, in
// one transaction per file; batches read and compress on worker threads and flush commits
// together.
#include "quantora/spectrumfiles/SpectrumImport.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/DeferredFlush.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/records/Meastables.h"
#include "quantora/spectrumfiles/SpectrumRows.h"

namespace quantora {

namespace {

int NewMeasurement(const char* dbName, const SpectrumFile& file, const AnsiString& path,
                   int projectId, IntKeyGen* keys) {
    const SpectrumFileData& first = file.spectra.front();
    MEASUREMENTData m;
    m.PROJECT_ID = projectId;
    m.NAME = (first.title.empty() ? std::filesystem::path(path).filename().string() : first.title)
                 .substr(0, 100);
    if (first.startTime > 0) {
        m.STARTDATE = first.startTime;
        if (first.realTime > 0) m.ENDDATE = first.startTime + first.realTime / 86400.0;
    }
    m.CREATIONDATE = LocalNow();
    m.CMT = "imported from " + file.format + " file " + path;
    m.Insert(keys, dbName, ThreadInsertQuery(dbName, "MEASUREMENT").get());
    return m.MEASUREMENT_ID;
}

// Keeps only the spectra of `detector` (when given); throws when none is left.
void KeepDetector(SpectrumFile& file, const AnsiString& detector) {
    if (detector.empty()) return;
    AnsiString seen;
    for (const SpectrumFileData& s : file.spectra) seen += (seen.empty() ? "" : ", ") + s.detector;
    std::erase_if(file.spectra, [&](const SpectrumFileData& s) { return s.detector != detector; });
    if (file.spectra.empty())
        throw Exception("no spectrum of detector '" + detector + "' (the file has: " + seen + ")");
}

// Worker threads that run `work` until it returns. On destruction, and when starting one of them
// fails, `stop` tells them to finish and they are joined: no path leaves a thread running.
class Workers {
  public:
    Workers(size_t count, const std::function<void()>& work, std::function<void()> stop)
        : stop_(std::move(stop)) {
        try {
            for (size_t i = 0; i < count; ++i) threads_.emplace_back(work);
        } catch (...) {
            StopAndJoin();
            throw;
        }
    }
    ~Workers() { StopAndJoin(); }

  private:
    void StopAndJoin() noexcept {
        stop_();
        for (std::thread& t : threads_) t.join();
    }

    std::function<void()> stop_;
    std::vector<std::thread> threads_;
};

constexpr auto kFlushInterval = std::chrono::milliseconds(250);
constexpr size_t kMaxUnflushedFiles = 256;
// Read-ahead: enough files that the workers go on while the writer waits for a flush, and no more
// bytes than this (the last files started may go beyond it).
constexpr size_t kFilesAheadPerThread = 32;
constexpr size_t kMaxBytesAhead = size_t{64} << 20;

}  // namespace

struct SpectrumImporter::Prepared {
    SpectrumFile file;
    std::vector<SPECTRUMData> rows;

    // What it holds in memory, about: the counts as read and as stored.
    size_t Bytes() const {
        size_t n = 0;
        for (const SpectrumFileData& s : file.spectra) n += s.counts.size() * sizeof(s.counts[0]);
        for (const SPECTRUMData& r : rows) n += r.COUNTDATA.size();
        return n;
    }
};

SpectrumImporter::SpectrumImporter(const char* dbName, SpectrumImportTarget target)
    : db_(dbName), target_(std::move(target)), measurementKeys_(db_, "MEASUREMENT"), rows_(dbName) {
    if (target_.measurementId > 0) {
        if (!RowExists(dbName, "MEASUREMENT", "MEASUREMENT_ID", target_.measurementId))
            throw Exception(
                Format("no measurement with MEASUREMENT_ID = %d", target_.measurementId));
        return;
    }
    if (!RowExists(dbName, "PROJECT", "PROJECT_ID", target_.projectId))
        throw Exception(Format("no project with PROJECT_ID = %d", target_.projectId));
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL("SELECT CRC32, CHANNELS, LIVETIME, TRUETIME FROM SPECTRUM");
    for (q.Open(); !q.Eof(); q.Next()) {
        auto value = [&](int i) {
            return q.Fields()[i]->IsNull() ? -1.0 : q.Fields()[i]->AsFloat();
        };
        stored_.emplace(static_cast<int>(value(0)), static_cast<int>(value(1)), value(2), value(3));
    }
}

SpectrumImportResult SpectrumImporter::Import(const AnsiString& path) {
    return Import(ReadSpectrumFile(path, target_.read), path);
}

SpectrumImportResult SpectrumImporter::Import(SpectrumFile file, const AnsiString& path) {
    return Store(Prepare(std::move(file)), path);
}

SpectrumImporter::Prepared SpectrumImporter::Prepare(SpectrumFile file) const {
    KeepDetector(file, target_.detector);
    Prepared p;
    for (const SpectrumFileData& s : file.spectra)
        p.rows.push_back(SpectrumRecordFor(s, target_.measurementId, target_.fastCompression));
    p.file = std::move(file);
    return p;
}

SpectrumImportResult SpectrumImporter::Store(Prepared prepared, const AnsiString& path) {
    std::vector<SPECTRUMData>& rows = prepared.rows;
    SpectrumImportResult result;
    bool all = target_.measurementId <= 0;
    for (const SPECTRUMData& r : rows)
        all = all && stored_.count({r.CRC32, r.CHANNELS, r.LIVETIME, r.TRUETIME}) > 0;
    result.alreadyPresent = all;
    if (!all) {
        const char* db = db_.c_str();
        Transaction tr(db_);
        result.measurementId =
            target_.measurementId > 0
                ? target_.measurementId
                : NewMeasurement(db, prepared.file, path, target_.projectId, &measurementKeys_);
        for (size_t i = 0; i < rows.size(); ++i) {
            rows[i].MEASUREMENT_ID = result.measurementId;
            result.spectrumIds.push_back(rows_.Store(rows[i], prepared.file.spectra[i]));
        }
        tr.Commit();
        for (const SPECTRUMData& r : rows)
            stored_.insert({r.CRC32, r.CHANNELS, r.LIVETIME, r.TRUETIME});
    }
    result.file = std::move(prepared.file);
    return result;
}

void SpectrumImporter::ImportFiles(const std::vector<AnsiString>& paths,
                                   const std::function<void(const SpectrumFileOutcome&)>& onFile) {
    struct Slot {
        bool ready = false;
        std::optional<Prepared> prepared;
        AnsiString error;
        size_t bytes = 0;
    };
    std::vector<Slot> slots(paths.size());
    std::mutex mutex;
    std::condition_variable changed;
    const size_t threads = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8);
    const size_t window = kFilesAheadPerThread * threads;
    size_t next = 0, taken = 0, bytesAhead = 0;
    bool stop = false;

    auto work = [&] {
        for (;;) {
            size_t i;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] {
                    return stop || next >= paths.size() ||
                           (next < taken + window && bytesAhead < kMaxBytesAhead);
                });
                if (stop || next >= paths.size()) return;
                i = next++;
            }
            Slot slot;
            try {
                slot.prepared = Prepare(ReadSpectrumFile(paths[i], target_.read));
                slot.bytes = slot.prepared->Bytes();
            } catch (const std::exception& e) {
                slot.error = e.what();
            }
            {
                std::lock_guard lock(mutex);
                bytesAhead += slot.bytes;
                slots[i] = std::move(slot);
                slots[i].ready = true;
            }
            changed.notify_all();
        }
    };
    Workers workers(threads, work, [&] {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
    });

    DeferredFlush flush(db_);
    std::vector<SpectrumFileOutcome> unflushed;
    auto lastFlush = std::chrono::steady_clock::now();
    auto report = [&] {
        flush.Flush();
        lastFlush = std::chrono::steady_clock::now();
        std::vector<SpectrumFileOutcome> done;
        done.swap(unflushed);
        for (const SpectrumFileOutcome& o : done) onFile(o);
    };
    for (size_t i = 0; i < paths.size(); ++i) {
        Slot slot;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return slots[i].ready; });
            slot = std::move(slots[i]);
            ++taken;
            bytesAhead -= slot.bytes;
        }
        changed.notify_all();
        SpectrumFileOutcome& o = unflushed.emplace_back();
        o.path = paths[i];
        try {
            if (!slot.prepared) throw Exception(slot.error);
            o.result = Store(std::move(*slot.prepared), paths[i]);
        } catch (const std::exception& e) {
            o.refused = true;
            o.reason = e.what();  // the readers' messages name the file; the others do not
            if (o.reason.find(paths[i]) == AnsiString::npos) o.reason = paths[i] + ": " + o.reason;
        }
        if (i + 1 == paths.size() || unflushed.size() >= kMaxUnflushedFiles ||
            std::chrono::steady_clock::now() - lastFlush >= kFlushInterval)
            report();
    }
}

SpectrumImportResult ImportSpectrumFile(const char* dbName, const AnsiString& path,
                                        const SpectrumImportTarget& target) {
    return SpectrumImporter(dbName, target).Import(path);
}

}  // namespace quantora
