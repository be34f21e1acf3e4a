// Opening and closing the alias of a Python database object.
#include "python/src/DbHandle.h"

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/nuclides/Radlib.h"

namespace quantora::python {
namespace {
std::atomic<unsigned long long> g_next_alias{1};
}

DbHandle::DbHandle(const AnsiString& uri, bool readOnly)
    : alias_(Format("python_db_%llu", g_next_alias++)),
      uri_(uri),
      library_(std::make_unique<RadiationLibrary>()) {
    OpenDatabase(alias_, uri_, readOnly);
}

DbHandle::~DbHandle() {
    Close();
}

const char* DbHandle::Alias() const {
    if (closed_) throw EDatabaseError("the database is closed");
    return alias_.c_str();
}

void DbHandle::Close() {
    if (!closed_.exchange(true)) CloseDatabase(alias_);
}

DbHandle::Library DbHandle::LockLibrary() {
    return {std::unique_lock(library_mutex_), *library_};
}

}  // namespace quantora::python
