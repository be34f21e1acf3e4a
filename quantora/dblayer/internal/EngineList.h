// The engines the layer can open. Each engine's folder describes its engine by one EngineEntry;
// EngineList.cpp lists the entries, one line per engine. Code outside the engine folders reaches
// an engine only through this list and the Connection contract (Backend.h).
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "quantora/dblayer/Backend.h"

namespace quantora::db {

struct EngineEntry {
    // How a URI of this engine looks, for messages ("sqlite:<path>").
    const char* uri_form;
    // True when `uri` names a database of this engine (by its scheme).
    bool (*names)(std::string_view uri);
    // The local file a URI of this engine names; empty for a database behind a server.
    std::string_view (*file)(std::string_view uri);
    // Connects to the database `uri` names; a read-only connection refuses every write. Throws
    // EDatabaseError for a malformed URI or a database that cannot be reached.
    std::shared_ptr<Connection> (*open)(std::string_view uri, bool readOnly);
};

// Every engine, in the order URIs are tried.
std::span<const EngineEntry* const> EngineList();

}  // namespace quantora::db
