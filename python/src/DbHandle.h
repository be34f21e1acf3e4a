// The database behind one Python database object: an alias of its own, so each object (and
// each thread using it, through the layer's per-thread connections) is independent of others.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "quantora/base/Types.h"

class RadiationLibrary;

namespace quantora::python {

class DbHandle {
  public:
    // Connects (without holding the GIL: a server may take a while) and registers the alias.
    DbHandle(const AnsiString& uri, bool readOnly);
    ~DbHandle();
    DbHandle(const DbHandle&) = delete;
    DbHandle& operator=(const DbHandle&) = delete;

    // The alias for the calling thread's queries; throws DatabaseError once closed.
    const char* Alias() const;
    void Close();
    bool Closed() const { return closed_; }
    const AnsiString& Uri() const { return uri_; }

    // The radiation library of the last match, reloaded when other ids are asked for. One thread
    // at a time: the library writes into itself even for lookups.
    struct Library {
        std::unique_lock<std::mutex> lock;
        RadiationLibrary& library;
    };
    Library LockLibrary();

  private:
    AnsiString alias_, uri_;
    std::atomic<bool> closed_{false};
    std::mutex library_mutex_;
    std::unique_ptr<RadiationLibrary> library_;
};

using DbPtr = std::shared_ptr<DbHandle>;

}  // namespace quantora::python
