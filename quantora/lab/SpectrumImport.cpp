// Spectrum files into the database: a measurement (found or made), then the file's spectra, in
// one transaction per file; batches read and compress on worker threads and flush commits
// together.
#include "quantora/lab/SpectrumImport.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "quantora/base/DateTime.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/base/MessageLine.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/DeferredFlush.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/lab/SpectrumRows.h"
#include "quantora/records/Meastables.h"

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
        throw BadFileError("no spectrum of detector '" + detector + "' (the file has: " + seen +
                           ")");
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

// Takes, inside the file's transaction, the lock under which "is it stored?" and "store it" are
// one step for every importer: a lock per checksum (on an engine whose transaction holds the
// database's write lock already, nothing more).
void LockChecksums(const AnsiString& db, const std::vector<SPECTRUMData>& rows) {
    constexpr int kLockSpace = 0x51494D50;  // the lock space of spectrum checksums
    std::vector<int> crcs;
    for (const SPECTRUMData& r : rows) crcs.push_back(r.CRC32);
    db::ConnectionFor(db)->LockKeysForTransaction(kLockSpace, crcs);
}

// True when a spectrum with the checksum, channel count and times of `r` is stored (in
// measurement `measurementId` when it is positive).
bool IsStored(const AnsiString& db, const SPECTRUMData& r, int measurementId) {
    TQuery q;
    q.SetDatabaseName(db);
    q.SetSQL(
        "SELECT COUNT(*) FROM SPECTRUM WHERE CRC32 = :CRC AND CHANNELS = :CHANNELS AND "
        "LIVETIME = :LIVE AND TRUETIME = :REAL AND (:MEAS <= 0 OR MEASUREMENT_ID = :MEAS)");
    q.ParamByName("CRC")->SetAsInteger(r.CRC32);
    q.ParamByName("CHANNELS")->SetAsInteger(r.CHANNELS);
    q.ParamByName("LIVE")->SetAsFloat(r.LIVETIME);
    q.ParamByName("REAL")->SetAsFloat(r.TRUETIME);
    q.ParamByName("MEAS")->SetAsInteger(measurementId);
    q.Open();
    return q.Fields()[0]->AsInteger() > 0;
}

// Failures that trying the same file again may get past: a lost connection (the layer opens a
// new one at the next statement) and lock conflicts.
bool Transient(const EDatabaseError& e) {
    return e.Retryable() && (e.Category() == DbErrorCategory::ConnectionLost ||
                             e.Category() == DbErrorCategory::Busy ||
                             e.Category() == DbErrorCategory::Serialization);
}

// Failures of one file's data: the database refused a value or a row (a constraint, one of
// PostgreSQL's data exceptions, SQLSTATE class 22, or the layer's own check of a value). Every
// other database failure (a read-only transaction, a cancelled statement) is the database's own
// and ends a batch.
bool FaultOfTheFile(const EDatabaseError& e) {
    return e.Category() == DbErrorCategory::Constraint ||
           (e.Category() == DbErrorCategory::Other &&
            (e.SqlState().empty() || e.SqlState().rfind("22", 0) == 0));
}

// Pauses before the tries after a transient failure: about 40 s in all, so a server restart is
// waited for, and then the failure stands.
constexpr std::chrono::milliseconds kRetryPauses[] = {
    std::chrono::milliseconds(100),  std::chrono::milliseconds(200),
    std::chrono::milliseconds(500),  std::chrono::milliseconds(1000),
    std::chrono::milliseconds(2000), std::chrono::milliseconds(4000),
    std::chrono::milliseconds(8000), std::chrono::milliseconds(8000),
    std::chrono::milliseconds(8000), std::chrono::milliseconds(8000)};

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
    : db_(dbName),
      target_(std::move(target)),
      measurementKeys_(db_, "MEASUREMENT", "MEASUREMENT"),
      rows_(dbName) {
    if (target_.measurementId > 0) {
        if (!RowExists(dbName, "MEASUREMENT", "MEASUREMENT_ID", target_.measurementId))
            throw NotFoundError(
                Format("no measurement with MEASUREMENT_ID = %d", target_.measurementId));
        return;
    }
    if (!RowExists(dbName, "PROJECT", "PROJECT_ID", target_.projectId))
        throw NotFoundError(Format("no project with PROJECT_ID = %d", target_.projectId));
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
    Prepared prepared = Prepare(std::move(file));
    return StoreRetrying(prepared, path);
}

SpectrumImporter::Prepared SpectrumImporter::Prepare(SpectrumFile file) const {
    KeepDetector(file, target_.detector);
    Prepared p;
    try {
        for (const SpectrumFileData& s : file.spectra)
            p.rows.push_back(SpectrumRecordFor(s, target_.measurementId, target_.fastCompression));
    } catch (const MisuseError& e) {
        throw BadFileError(e.Message);  // counts no SPECTRUM row holds
    }
    p.file = std::move(file);
    return p;
}

SpectrumImportResult SpectrumImporter::Store(Prepared& prepared, const AnsiString& path) {
    std::vector<SPECTRUMData>& rows = prepared.rows;
    SpectrumImportResult result;
    const int into = target_.measurementId;
    // Seen before this batch, or stored by it: no transaction needed.
    bool known = into <= 0;
    for (const SPECTRUMData& r : rows)
        known = known && stored_.count({r.CRC32, r.CHANNELS, r.LIVETIME, r.TRUETIME}) > 0;
    result.alreadyPresent = known;
    if (!known) {
        const char* db = db_.c_str();
        Transaction tr(db_);
        LockChecksums(db_, rows);
        result.alreadyPresent = std::all_of(rows.begin(), rows.end(), [&](const SPECTRUMData& r) {
            return IsStored(db_, r, into);
        });
        if (!result.alreadyPresent) {
            result.measurementId = into > 0 ? into
                                            : NewMeasurement(db, prepared.file, path,
                                                             target_.projectId, &measurementKeys_);
            for (size_t i = 0; i < rows.size(); ++i) {
                rows[i].SPECTRUM_ID = 0;  // a key of an earlier, rolled back try is not reused
                rows[i].MEASUREMENT_ID = result.measurementId;
                result.spectrumIds.push_back(rows_.Store(rows[i], prepared.file.spectra[i]));
            }
            tr.Commit();
        }
        if (into <= 0)
            for (const SPECTRUMData& r : rows)
                stored_.insert({r.CRC32, r.CHANNELS, r.LIVETIME, r.TRUETIME});
    }
    result.file = std::move(prepared.file);
    return result;
}

SpectrumImportResult SpectrumImporter::StoreRetrying(Prepared& prepared, const AnsiString& path) {
    for (size_t attempt = 0;; ++attempt) {
        try {
            return Store(prepared, path);
        } catch (const EDatabaseError& e) {
            // A commit cut off by a lost connection either happened in full or not at all: the
            // check in the next try finds the file then, or stores it.
            if (!Transient(e) || attempt >= std::size(kRetryPauses)) throw;
            std::this_thread::sleep_for(kRetryPauses[attempt]);
            if (e.Category() == DbErrorCategory::ConnectionLost) db::DropThreadConnection(db_);
        }
    }
}

namespace {

// A bare count list (IAEA .asc) often lies beside the same spectrum in a file that also holds its
// calibration, date and title; the two store as one spectrum, and the first one read wins. Each
// count list whose name, but for the extension, a later file of the batch shares moves to just
// after that file.
std::vector<AnsiString> DescribedFirst(const std::vector<AnsiString>& paths) {
    auto bare = [](const AnsiString& p) {
        AnsiString ext = std::filesystem::path(p).extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return ext == ".asc";
    };
    auto stem = [](const AnsiString& p) {
        std::filesystem::path f(p);
        return (f.parent_path() / f.stem()).string();
    };
    std::map<std::string, size_t> lastDescribed;
    for (size_t i = 0; i < paths.size(); ++i)
        if (!bare(paths[i])) lastDescribed[stem(paths[i])] = i;
    std::vector<std::vector<size_t>> after(paths.size());
    std::vector<AnsiString> out;
    out.reserve(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        const auto it = bare(paths[i]) ? lastDescribed.find(stem(paths[i])) : lastDescribed.end();
        if (it != lastDescribed.end() && it->second > i) {
            after[it->second].push_back(i);
            continue;
        }
        out.push_back(paths[i]);
        for (size_t j : after[i]) out.push_back(paths[j]);
    }
    return out;
}

}  // namespace

void SpectrumImporter::ImportFiles(const std::vector<AnsiString>& given,
                                   const std::function<void(const SpectrumFileOutcome&)>& onFile) {
    const std::vector<AnsiString> paths = DescribedFirst(given);
    struct Slot {
        bool ready = false;
        std::optional<Prepared> prepared;
        AnsiString error;            // why the file is refused
        std::exception_ptr failure;  // a failure not of the file, which ends the batch
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
            } catch (const BadFileError& e) {
                slot.error = e.Message;
            } catch (const NotFoundError& e) {
                slot.error = e.Message;
            } catch (...) {
                slot.failure = std::current_exception();
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
    size_t reported = 0;
    auto lastFlush = std::chrono::steady_clock::now();
    // Ends the batch for a failure that is not the file's own (the database's, mostly): what was
    // stored before is flushed and reported when the database still can, and the exception says
    // how much that was.
    auto endBatch = [&](const AnsiString& path, const std::exception& e) {
        try {
            flush.Flush();
        } catch (const std::exception&) {
            unflushed.clear();  // not on disk for sure: not reported
        }
        for (const SpectrumFileOutcome& o : unflushed) onFile(o);
        reported += unflushed.size();
        AnsiString why = e.what();
        why = why.substr(0, why.find(" [SQL: "));  // the statement is no news to the user
        const bool database = dynamic_cast<const EDatabaseError*>(&e) != nullptr;
        throw SpectrumBatchStopped(
            AnsiString(database ? "the database failed" : "the import failed") + " at " + path +
                ": " + MessageLine(why, 160),
            reported, database);
    };
    auto report = [&] {
        try {
            flush.Flush();
        } catch (const EDatabaseError& e) {
            endBatch(unflushed.empty() ? AnsiString() : unflushed.back().path, e);
        }
        lastFlush = std::chrono::steady_clock::now();
        std::vector<SpectrumFileOutcome> done;
        done.swap(unflushed);
        reported += done.size();
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
        auto refuse = [&](const char* why) {
            o.refused = true;
            o.reason = MessageLine(why);  // the readers' messages name the file; others do not
            if (o.reason.find(paths[i]) == AnsiString::npos) o.reason = paths[i] + ": " + o.reason;
        };
        // Only a bad file, or one whose data the database refuses, is refused; any other failure
        // would befall the files after it as well and ends the batch.
        try {
            if (slot.failure) std::rethrow_exception(slot.failure);
            if (slot.prepared)
                o.result = StoreRetrying(*slot.prepared, paths[i]);
            else
                refuse(slot.error.c_str());
        } catch (const EDatabaseError& e) {
            if (!FaultOfTheFile(e)) {
                unflushed.pop_back();
                endBatch(paths[i], e);
            }
            refuse(e.what());
        } catch (const std::exception& e) {
            unflushed.pop_back();
            endBatch(paths[i], e);
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
