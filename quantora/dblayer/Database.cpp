// The alias registry and the per-thread connections. Each thread opens its own connection to an
// alias on first use; closing an alias makes every thread drop its connection at its next use.
// This sits below TQuery: what runs queries (the schema helpers, ThreadQuery) lives elsewhere.
#include "quantora/dblayer/Database.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/internal/EngineList.h"

namespace quantora::db {
namespace {

struct AliasEntry {
    AnsiString uri;
    bool readOnly = false;
    uint64_t generation = 0;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<AnsiString, AliasEntry> aliases;  // by upper-case alias
    uint64_t next_generation = 1;
    // Counts the openings and closings of aliases, so that a thread can tell without the lock
    // that the connection it used last is still current.
    std::atomic<uint64_t> changes{0};
};

Registry& TheRegistry() {
    static Registry* r = new Registry;  // never destroyed: threads may outlive static teardown
    return *r;
}

struct ThreadConnection {
    uint64_t generation = 0;
    std::shared_ptr<Connection> connection;
    // Objects kept with this connection (ThreadQuery's queries), given up with it (and before it).
    std::vector<std::pair<const void*, std::shared_ptr<void>>> kept;
};
thread_local std::unordered_map<AnsiString, ThreadConnection> t_connections;

// The thread's last checked connection, as the alias was spelled, and the count of alias changes
// it was checked at. Reading many rows calls ConnectionFor per statement: this skips the lock.
struct LastUsed {
    AnsiString alias;
    uint64_t changes = 0;
    ThreadConnection* tc = nullptr;
};
thread_local LastUsed t_last;

AnsiString Key(const AnsiString& alias) {
    AnsiString k = alias;
    for (char& c : k) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return k;
}

std::shared_ptr<Connection> Connect(const AnsiString& uri, bool readOnly) {
    AnsiString forms;
    for (const EngineEntry* e : EngineList()) {
        if (e->names(uri)) return e->open(uri, readOnly);
        forms += Format("%s'%s'", forms.empty() ? "" : " or ", e->uri_form);
    }
    throw EDatabaseError(
        Format("Malformed database URI '%s': expected %s", uri.c_str(), forms.c_str()));
}

}  // namespace

namespace {

// The thread's connection to the alias, current (reconnected when the alias was opened again).
ThreadConnection& Current(const AnsiString& alias) {
    Registry& r = TheRegistry();
    const uint64_t changes = r.changes.load(std::memory_order_acquire);
    if (t_last.tc && t_last.changes == changes && t_last.alias == alias) return *t_last.tc;
    AnsiString key = Key(alias);
    ThreadConnection& tc = t_connections[key];
    AliasEntry entry;
    {
        std::lock_guard lock(r.mutex);
        auto it = r.aliases.find(key);
        if (it == r.aliases.end()) {
            t_connections.erase(key);
            throw EDatabaseError(Format("Database alias '%s' is not open", alias.c_str()));
        }
        if (tc.connection && tc.generation == it->second.generation) {
            t_last = {alias, changes, &tc};
            return tc;
        }
        entry = it->second;
    }
    tc.kept.clear();
    tc.connection.reset();
    tc.connection = Connect(entry.uri, entry.readOnly);
    tc.generation = entry.generation;
    t_last = {alias, changes, &tc};
    return tc;
}

}  // namespace

std::shared_ptr<Connection> ConnectionFor(const AnsiString& alias) {
    return Current(alias).connection;
}

void DropThreadConnection(const AnsiString& alias) {
    t_last = {};
    t_connections.erase(Key(alias));
}

std::shared_ptr<void>& KeptWithConnection(const AnsiString& alias, const void* key) {
    ThreadConnection& tc = Current(alias);
    for (auto& [k, kept] : tc.kept)
        if (k == key) return kept;
    return tc.kept.emplace_back(key, nullptr).second;
}

}  // namespace quantora::db

using namespace quantora::db;
using quantora::Format;

void OpenDatabase(const AnsiString& alias, const AnsiString& uri, bool readOnly) {
    if (alias.empty()) throw EDatabaseError("OpenDatabase: the alias is empty");
    AnsiString key = Key(alias);
    // Connect first: a database that cannot be reached never gets an alias.
    std::shared_ptr<Connection> conn = Connect(uri, readOnly);
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    AliasEntry& e = r.aliases[key];
    e.uri = uri;
    e.readOnly = readOnly;
    e.generation = r.next_generation++;
    r.changes.fetch_add(1, std::memory_order_release);
    t_connections[key] = ThreadConnection{e.generation, std::move(conn), {}};
}

void CloseDatabase(const AnsiString& alias) {
    AnsiString key = Key(alias);
    {
        std::lock_guard lock(TheRegistry().mutex);
        TheRegistry().aliases.erase(key);
        TheRegistry().changes.fetch_add(1, std::memory_order_release);
    }
    t_connections.erase(key);
}

bool IsDatabaseOpen(const AnsiString& alias) {
    std::lock_guard lock(TheRegistry().mutex);
    return TheRegistry().aliases.count(Key(alias)) != 0;
}

bool IsDatabaseUri(std::string_view arg) {
    // Any "scheme://" counts, so an unknown scheme is refused as a URI, not looked for as a file.
    for (const EngineEntry* e : EngineList())
        if (e->names(arg)) return true;
    return arg.find("://") != std::string_view::npos;
}

AnsiString DatabaseUri(std::string_view arg) {
    return IsDatabaseUri(arg) ? AnsiString(arg) : "sqlite:" + AnsiString(arg);
}

std::string DatabaseFileOf(std::string_view arg) {
    for (const EngineEntry* e : EngineList())
        if (e->names(arg)) return std::string(e->file(arg));
    return IsDatabaseUri(arg) ? std::string() : std::string(arg);
}
