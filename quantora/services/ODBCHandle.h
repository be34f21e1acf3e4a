// Owning wrapper of one ODBC handle (environment, connection or statement), freed with the call
// of its kind. Kept free of the ODBC headers so that users of ODBCHandler do not see them.
#pragma once

#include <cstdint>
#include <utility>

namespace quantora {

enum class ODBCHandleKind { Environment, Connection, Statement };

// SQLFreeEnv, SQLFreeConnect or SQLFreeStmt(SQL_DROP); returns the ODBC result code.
int16_t FreeODBCHandle(ODBCHandleKind kind, void* handle);

template <ODBCHandleKind Kind>
class ODBCHandle {
  public:
    ODBCHandle() = default;
    ODBCHandle(const ODBCHandle&) = delete;
    ODBCHandle& operator=(const ODBCHandle&) = delete;
    ~ODBCHandle() { Free(); }

    void* Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    // Where an allocation call stores the new handle; a held handle is freed first.
    void** Receive() {
        Free();
        return &handle_;
    }

    // Frees a held handle and forgets it; 0 (SQL_SUCCESS) when none is held.
    int16_t Free() {
        if (handle_ == nullptr) return 0;
        return FreeODBCHandle(Kind, std::exchange(handle_, nullptr));
    }

  private:
    void* handle_ = nullptr;
};

}  // namespace quantora
