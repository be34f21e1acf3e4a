// ODBCHandler on the ODBC driver manager and installer (version 2 style calls).
#include "quantora/services/ODBCHandler.h"

#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/services/ODBCDataSourceIni.h"

using quantora::Format;

namespace quantora {

int16_t FreeODBCHandle(ODBCHandleKind kind, void* handle) {
    switch (kind) {
        case ODBCHandleKind::Environment:
            return SQLFreeEnv(handle);
        case ODBCHandleKind::Connection:
            return SQLFreeConnect(handle);
        case ODBCHandleKind::Statement:
            return SQLFreeStmt(handle, SQL_DROP);
    }
    return SQL_INVALID_HANDLE;
}

}  // namespace quantora

namespace {

SQLCHAR* SqlText(const AnsiString& s) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
}

// Text of a driver output buffer: the returned length, clamped to what the buffer holds (a
// truncated value reports its full length).
AnsiString BufferText(const SQLCHAR* buffer, size_t bufferSize, long returnedLength) {
    const char* text = reinterpret_cast<const char*>(buffer);
    size_t n = returnedLength < 0 ? strnlen(text, bufferSize - 1)
                                  : std::min(static_cast<size_t>(returnedLength), bufferSize - 1);
    return AnsiString(text, n);
}

}  // namespace

ODBCHandler::ODBCHandler(void* windowHandle) {
    Reset();
    windowHandle_ = windowHandle;
    lastResult_ = SQLAllocEnv(environment_.Receive());
    CheckError();
}

ODBCHandler::~ODBCHandler() {
    FreeStatement();
    Disconnect();
    Reset();
    lastResult_ = environment_.Free();
    CheckError();
}

void ODBCHandler::Reset() {
    Disconnect();
    statement_.Free();
    connection_.Free();
    driverSet_ = serverSet_ = uidSet_ = pwdSet_ = databaseSet_ = dsnSet_ = false;
    lastResult_ = 0;
    windowHandle_ = nullptr;
    errorMessage_.clear();
    driver_.clear();
    server_.clear();
    uid_.clear();
    pwd_.clear();
    database_.clear();
    dsn_.clear();
    completedConnectString_.clear();
    fetchedRows_ = 0;
}

void ODBCHandler::SetConnectParam(const char* value, AnsiString& param, bool& isSet) {
    if (value != nullptr) {
        param = value;
        isSet = true;
    } else {
        param.clear();
        isSet = false;
    }
}

bool ODBCHandler::SetConnectParams(const char* driver, const char* server, const char* database,
                                   const char* uid, const char* pwd, const char* dsn) {
    SetConnectParam(driver, driver_, driverSet_);
    SetConnectParam(server, server_, serverSet_);
    SetConnectParam(database, database_, databaseSet_);
    SetConnectParam(uid, uid_, uidSet_);
    SetConnectParam(pwd, pwd_, pwdSet_);
    SetConnectParam(dsn, dsn_, dsnSet_);
    return true;
}

AnsiString ODBCHandler::GetConnectString() const {
    AnsiString s;
    if (driverSet_) s += Format("DRIVER=%s;", driver_.c_str());
    if (serverSet_) s += Format("SERVER=%s;", server_.c_str());
    if (uidSet_) s += Format("UID=%s;", uid_.c_str());
    if (pwdSet_) s += Format("PWD=%s;", pwd_.c_str());
    if (databaseSet_) s += Format("DATABASE=%s;", database_.c_str());
    if (dsnSet_) s += Format("DSN=%s;", dsn_.c_str());
    return s;
}

bool ODBCHandler::Connect() {
    if (connected_) return true;
    lastResult_ = SQLAllocConnect(environment_.Get(), connection_.Receive());
    if (!CheckError()) {
        errorMessage_ = "ERROR allocating connection handle: " + errorMessage_;
        connection_.Free();
        return false;
    }

    const AnsiString connectString = GetConnectString();
    // The length argument is 16 bits wide; a longer text goes zero-terminated instead.
    const SQLSMALLINT length = connectString.size() <= SHRT_MAX
                                   ? static_cast<SQLSMALLINT>(connectString.size())
                                   : static_cast<SQLSMALLINT>(SQL_NTS);
    SQLCHAR out[2100] = {};
    SQLSMALLINT outLength = 0;
    lastResult_ = SQLDriverConnect(connection_.Get(), static_cast<SQLHWND>(windowHandle_),
                                   SqlText(connectString), length, out, sizeof out, &outLength,
                                   SQL_DRIVER_NOPROMPT);
    completedConnectString_ = BufferText(out, sizeof out, outLength);
    if (CheckError()) {
        connected_ = true;
        return true;
    }
    errorMessage_ = "ERROR connecting: " + errorMessage_;
    // The handle of a failed attempt is of no further use; the next Connect allocates anew. The
    // driver's completed string stays: it tells what the driver made of the parameters.
    connection_.Free();
    return false;
}

bool ODBCHandler::Disconnect() {
    if (!connected_) return true;
    // The driver manager would drop the statement with the connection; freeing it first keeps
    // the owning wrapper from holding a handle that no longer exists.
    FreeStatement();
    if (!SQL_SUCCEEDED(SQLDisconnect(connection_.Get()))) {
        // Some drivers refuse to disconnect while a transaction begun through ExecDirectSQL is
        // open; it is rolled back, as closing a connection does, so the handle can be freed.
        SQLTransact(SQL_NULL_HENV, connection_.Get(), SQL_ROLLBACK);
        SQLDisconnect(connection_.Get());
    }
    lastResult_ = connection_.Free();
    completedConnectString_.clear();
    connected_ = false;
    return CheckError();
}

void ODBCHandler::SetConnected(bool connect) {
    if (connect == connected_) return;
    if (connect)
        Connect();
    else
        Disconnect();
}

AnsiString ODBCHandler::GetErrorType(int16_t resultCode) {
    switch (resultCode) {
        case SQL_ERROR:
            return "SQL ERROR";
        case SQL_INVALID_HANDLE:
            return "SQL INVALID HANDLE";
        case SQL_STILL_EXECUTING:
            return "SQL STILL EXECUTING";
        case SQL_NEED_DATA:
            return "SQL NEED DATA";
        case SQL_NO_DATA:
            return "SQL NO DATA";
        default:
            return "UNKNOWN";
    }
}

bool ODBCHandler::CheckError() {
    if (lastResult_ == SQL_SUCCESS || lastResult_ == SQL_SUCCESS_WITH_INFO) {
        errorMessage_.clear();
        return true;
    }
    const AnsiString type = GetErrorType(lastResult_);
    SQLCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLCHAR message[500] = {};
    SQLSMALLINT messageLength = 0;
    const SQLRETURN r = SQLError(environment_.Get(), connection_.Get(), statement_.Get(), state,
                                 &nativeError, message, sizeof message, &messageLength);
    if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) {
        errorMessage_ = Format("Unknown error occured (Type: %s)", type.c_str());
    } else {
        const AnsiString text = BufferText(message, sizeof message, messageLength);
        errorMessage_ = Format("%s, %s, (Type: %s, Native error code: %d)",
                               BufferText(state, sizeof state, -1).c_str(), text.c_str(),
                               type.c_str(), static_cast<int>(nativeError));
    }
    return false;
}

bool ODBCHandler::CheckInstallerError(int result) {
    errorMessage_.clear();
    lastResult_ = 0;
    if (result != 0) return true;
    for (WORD number = 1; number <= 8; ++number) {
        DWORD code = 0;
        char message[512] = {};
        const SQLRETURN r = SQLInstallerError(number, &code, message, sizeof message, nullptr);
        if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) break;
        if (!errorMessage_.empty()) errorMessage_ += '\n';
        errorMessage_ += Format("%s (Native error code: %d)",
                                AnsiString(message, strnlen(message, sizeof message)).c_str(),
                                static_cast<int>(code));
    }
    lastResult_ = SQL_ERROR;
    if (errorMessage_.empty()) errorMessage_ = "Unknown ODBC error occured";
    return false;
}

bool ODBCHandler::AllocStatementHandle(bool newHandle) {
    if (!connected_) {
        errorMessage_ = "ERROR allocating statement handle: database is not connected";
        return false;
    }
    if (!newHandle && statement_) {
        lastResult_ = SQLFreeStmt(statement_.Get(), SQL_CLOSE);
    } else {
        FreeStatement();
        lastResult_ = SQLAllocStmt(connection_.Get(), statement_.Receive());
    }
    return CheckError();
}

void ODBCHandler::FreeStatement() {
    if (statement_) lastResult_ = statement_.Free();
}

bool ODBCHandler::CreateODBCParams(std::vector<AnsiString>& list, const char* description) {
    if (!driverSet_) {
        errorMessage_ = "ERROR creating ODBC data source: driver parameter is not specified";
        return false;
    }
    if (windowHandle_ == nullptr) {
        errorMessage_ = "ERROR creating ODBC data source: window handle is not specified";
        return false;
    }
    if (dsnSet_) list.push_back(Format("DSN=%s", dsn_.c_str()));
    if (description != nullptr) list.push_back(Format("DESCRIPTION=%s", description));
    if (serverSet_) list.push_back(Format("SERVER=%s", server_.c_str()));
    if (databaseSet_) list.push_back(Format("DATABASE=%s", database_.c_str()));
    for (const char* fixed : {"AnsiNPW=Yes", "AutoTranslate=Yes", "Fallback=No", "QuotedId=Yes",
                              "Trusted_Connection=no"})
        list.emplace_back(fixed);
    return true;
}

// The drivers of a Linux system usually come without a setup library, and the installer then
// fails every SQLConfigDataSource with its general error. The installer's own profile functions
// write and remove data sources without a driver's help, so on that error (and only that one)
// the same attribute text is written to or removed from the user's or the system's odbc.ini
// instead; its result and messages go through CheckInstallerError like those of the call.
bool ODBCHandler::CreateODBCDataSource(bool system, const std::vector<AnsiString>& list,
                                       bool showWindow) {
    const AnsiString attributes = quantora::MakeODBCAttributeText(list);
    int ok = SQLConfigDataSource(showWindow ? static_cast<HWND>(windowHandle_) : nullptr,
                                 system ? ODBC_ADD_SYS_DSN : ODBC_ADD_DSN, driver_.c_str(),
                                 attributes.c_str());
    if (!ok && quantora::LastInstallerErrorIsGeneral())
        ok = quantora::WriteODBCDataSourceToIni(system, driver_, attributes);
    return CheckInstallerError(ok);
}

bool ODBCHandler::DeleteODBCDataSource(bool system, bool showWindow) {
    if (!driverSet_) {
        errorMessage_ = "ERROR deleting ODBC data source: driver parameter is not specified";
        return false;
    }
    const AnsiString attributes = quantora::MakeODBCAttributeText(
        dsnSet_ ? std::vector<AnsiString>{Format("DSN=%s", dsn_.c_str())}
                : std::vector<AnsiString>{});
    int ok = SQLConfigDataSource(showWindow ? static_cast<HWND>(windowHandle_) : nullptr,
                                 system ? ODBC_REMOVE_SYS_DSN : ODBC_REMOVE_DSN, driver_.c_str(),
                                 attributes.c_str());
    if (!ok && quantora::LastInstallerErrorIsGeneral())
        ok = quantora::RemoveODBCDataSourceFromIni(system, driver_, attributes);
    return CheckInstallerError(ok);
}

bool ODBCHandler::RetrieveDSNNames(std::vector<AnsiString>* names,
                                   std::vector<AnsiString>* descriptions,
                                   const AnsiString& filter) {
    if (names == nullptr) {
        errorMessage_ = "ERROR retrieving ODBC data source names: internal error";
        return false;
    }
    names->clear();
    if (descriptions != nullptr) descriptions->clear();
    // The first call starts from the top, also after a listing that ended early.
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (true) {
        SQLCHAR name[500] = {}, description[500] = {};
        SQLSMALLINT nameLength = 0, descriptionLength = 0;
        lastResult_ = SQLDataSources(environment_.Get(), direction, name, sizeof name, &nameLength,
                                     description, sizeof description, &descriptionLength);
        direction = SQL_FETCH_NEXT;
        if (lastResult_ == SQL_NO_DATA) return true;
        if (!CheckError()) return false;
        AnsiString nameText = BufferText(name, sizeof name, nameLength);
        AnsiString descriptionText = BufferText(description, sizeof description, descriptionLength);
        if (filter.empty() || descriptionText.find(filter) != AnsiString::npos) {
            names->push_back(std::move(nameText));
            if (descriptions != nullptr) descriptions->push_back(std::move(descriptionText));
        }
    }
}

bool ODBCHandler::ExecDirectSQL(const AnsiString& sql) {
    if (!AllocStatementHandle(true)) return false;
    lastResult_ =
        SQLExecDirect(statement_.Get(), SqlText(sql), static_cast<SQLINTEGER>(sql.size()));
    return CheckError();
}

bool ODBCHandler::ExecQuery(const AnsiString& sql, bool newHandle) {
    fetchedRows_ = 0;
    if (!AllocStatementHandle(newHandle)) return false;
    lastResult_ =
        SQLExecDirect(statement_.Get(), SqlText(sql), static_cast<SQLINTEGER>(sql.size()));
    if (!CheckError()) return false;

    SetQuery_NumCols(0);
    SQLSMALLINT columns = 0;
    lastResult_ = SQLNumResultCols(statement_.Get(), &columns);
    if (!CheckError()) return false;
    SetQuery_NumCols(std::max<int>(columns, 0));

    for (SQLSMALLINT c = 1; c <= columns; ++c) {
        SQLCHAR name[200] = {};
        SQLSMALLINT nameLength = 0, sqlType = 0, decimalDigits = 0, nullable = 0;
        SQLULEN columnSize = 0;
        lastResult_ = SQLDescribeCol(statement_.Get(), c, name, sizeof name, &nameLength, &sqlType,
                                     &columnSize, &decimalDigits, &nullable);
        if (!CheckError()) return false;
        // 2147483647 is how drivers say "no limit"; a larger size has no 32-bit form either.
        const int32_t size =
            columnSize >= static_cast<SQLULEN>(INT32_MAX) ? -1 : static_cast<int32_t>(columnSize);
        record_.FieldInfos[c - 1] = ODBCFieldInfo(BufferText(name, sizeof name, nameLength),
                                                  sqlType, size, decimalDigits, nullable != 0);
    }
    return true;
}

bool ODBCHandler::GetNextRecord() {
    lastResult_ = SQLFetch(statement_.Get());
    if (lastResult_ != SQL_SUCCESS) return CheckError();
    ++fetchedRows_;
    for (AnsiString& v : record_.Values) v.clear();
    std::fill(record_.NullFlags.begin(), record_.NullFlags.end(), true);

    const size_t columns = record_.Values.size();
    for (size_t c = 0; c < columns; ++c) {
        SQLCHAR buffer[128] = {};
        SQLLEN indicator = 0;
        lastResult_ = SQLGetData(statement_.Get(), static_cast<SQLUSMALLINT>(c + 1), SQL_C_CHAR,
                                 buffer, sizeof buffer, &indicator);
        if (!CheckError()) return false;
        if (indicator != SQL_NULL_DATA) {
            // The zero-terminated text; a longer value is cut to the 127 characters the buffer
            // holds.
            record_.Values[c] = BufferText(buffer, sizeof buffer, -1);
            record_.NullFlags[c] = false;
        }
    }
    return true;
}

void ODBCHandler::SetQuery_NumCols(int n) {
    if (n < 0)
        throw quantora::MisuseError(
            Format("Illegal field number %d in ODBCHandler::SetQuery_NumCols", n));
    record_.SetColNum(static_cast<size_t>(n));
}

void ODBCHandler::CheckFieldIndex(int index, const char* operation) const {
    const int count = GetQuery_NumCols();
    if (index < 0 || index >= count)
        throw quantora::MisuseError(
            Format("Illegal field index %d in ODBCHandler::%s (allowed max index: %d)", index,
                   operation, count - 1));
}

void ODBCHandler::SetField(int index, const AnsiString& value) {
    CheckFieldIndex(index, "SetField");
    record_.Values[index] = value;
}

const AnsiString& ODBCHandler::GetField(int index) const {
    CheckFieldIndex(index, "GetField");
    return record_.Values[index];
}

bool ODBCHandler::GetEmptyField(int index) const {
    CheckFieldIndex(index, "GetEmptyField");
    return record_.NullFlags[index];
}
