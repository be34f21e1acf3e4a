// ODBCHandler: connects through the ODBC driver manager with a connection string of up to six
// parameters, runs SQL directly and fetches rows as text; creates, removes and lists data sources
// through the ODBC installer. Run-time failures give false and leave the text in
// GetErrorMessage(); only column counts and field indexes out of range throw an Exception.
#pragma once

#include <cstdint>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/services/ODBCHandle.h"
#include "quantora/services/ODBCRecord.h"

class ODBCHandler {
  public:
    // windowHandle: the caller's opaque parent-window handle, may be null. It is handed to the
    // driver manager and installer only, never used by the handler itself.
    explicit ODBCHandler(void* windowHandle = nullptr);
    ~ODBCHandler();
    ODBCHandler(const ODBCHandler&) = delete;
    ODBCHandler& operator=(const ODBCHandler&) = delete;

    void Reset();

    // A non-null value is copied and the flag set; null empties the parameter and clears the flag.
    static void SetConnectParam(const char* value, AnsiString& param, bool& isSet);
    bool SetConnectParams(const char* driver, const char* server, const char* database,
                          const char* uid, const char* pwd, const char* dsn);
    // The connection string Connect hands to the driver: "DRIVER=%s;SERVER=%s;UID=%s;PWD=%s;
    // DATABASE=%s;DSN=%s;", each pair only when its parameter is set.
    AnsiString GetConnectString() const;

    bool Connect();
    bool Disconnect();
    void SetConnected(bool connect);
    bool GetConnected() const { return connected_; }

    static AnsiString GetErrorType(int16_t resultCode);
    bool CheckError();
    bool CheckInstallerError(int result);

    bool AllocStatementHandle(bool newHandle);
    void FreeStatement();

    // Data sources. CreateODBCParams needs DRIVER and a window handle; the data-source operations
    // need only the parameters, not a connection.
    bool CreateODBCParams(std::vector<AnsiString>& list, const char* description);
    bool CreateODBCDataSource(bool system, const std::vector<AnsiString>& list, bool showWindow);
    bool DeleteODBCDataSource(bool system, bool showWindow);
    bool RetrieveDSNNames(std::vector<AnsiString>* names, std::vector<AnsiString>* descriptions,
                          const AnsiString& filter);

    bool ExecDirectSQL(const AnsiString& sql);
    bool ExecQuery(const AnsiString& sql, bool newHandle);
    bool GetNextRecord();

    void SetQuery_NumCols(int n);
    int GetQuery_NumCols() const { return static_cast<int>(record_.Values.size()); }
    void SetField(int index, const AnsiString& value);
    const AnsiString& GetField(int index) const;
    bool GetEmptyField(int index) const;

    const ODBCRecord& GetRecord() const { return record_; }
    int16_t GetLastResult() const { return lastResult_; }
    const AnsiString& GetErrorMessage() const { return errorMessage_; }
    const AnsiString& GetCompletedConnectString() const { return completedConnectString_; }
    int GetFetchedRows() const { return fetchedRows_; }
    void* GetWindowHandle() const { return windowHandle_; }

  private:
    void CheckFieldIndex(int index, const char* operation) const;

    bool connected_ = false;
    int16_t lastResult_ = 0;
    AnsiString errorMessage_;
    // Declared so that the statement goes before the connection and the connection before the
    // environment when the handler is destroyed.
    quantora::ODBCHandle<quantora::ODBCHandleKind::Environment> environment_;
    quantora::ODBCHandle<quantora::ODBCHandleKind::Connection> connection_;
    quantora::ODBCHandle<quantora::ODBCHandleKind::Statement> statement_;
    void* windowHandle_ = nullptr;
    ODBCRecord record_;
    AnsiString completedConnectString_;

    AnsiString driver_, server_, uid_, pwd_, database_, dsn_;
    bool driverSet_ = false, serverSet_ = false, uidSet_ = false, pwdSet_ = false,
         databaseSet_ = false, dsnSet_ = false;

    int fetchedRows_ = 0;
};
