// ODBCHandler: connection parameters, the current row, connecting and running SQL on the SQLite
// ODBC driver and, when QUANTORA_TEST_PG names a server, on the PostgreSQL ODBC driver.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "ODBCTestSupport.h"
#include "quantora/base/Exception.h"
#include "quantora/services/ODBCHandler.h"

using namespace quantora::test;

namespace {

template <class F>
std::string ThrownMessage(F f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message;
    }
    return "(nothing thrown)";
}

std::string SQLiteFile(const char* name) {
    return (OdbcTestDir() / name).string();
}

}  // namespace

TEST(ODBCHandler, ConnectStringHoldsTheSetParametersInOrder) {
    ODBCHandler h(WindowToken());
    EXPECT_TRUE(h.SetConnectParams("d", "s", "b", nullptr, nullptr, nullptr));
    EXPECT_EQ(h.GetConnectString(), "DRIVER=d;SERVER=s;DATABASE=b;");
    h.SetConnectParams("drv", "srv", "db", "user", "pw", "dsn");
    EXPECT_EQ(h.GetConnectString(), "DRIVER=drv;SERVER=srv;UID=user;PWD=pw;DATABASE=db;DSN=dsn;");
    h.SetConnectParams(nullptr, nullptr, nullptr, nullptr, "", "x");
    EXPECT_EQ(h.GetConnectString(), "PWD=;DSN=x;");  // an empty value is still set

    h.Reset();
    EXPECT_EQ(h.GetConnectString(), "");
    EXPECT_EQ(h.GetWindowHandle(), nullptr);
}

TEST(ODBCHandler, FieldIndexesAndColumnCountsAreChecked) {
    ODBCHandler h;
    EXPECT_EQ(ThrownMessage([&] { h.GetField(0); }),
              "Illegal field index 0 in ODBCHandler::GetField (allowed max index: -1)");
    h.SetQuery_NumCols(3);
    h.SetField(2, "v");
    EXPECT_EQ(h.GetField(2), "v");
    const std::pair<std::function<void()>, const char*> refused[] = {
        {[&] { h.SetQuery_NumCols(-1); },
         "Illegal field number -1 in ODBCHandler::SetQuery_NumCols"},
        {[&] { h.GetField(3); },
         "Illegal field index 3 in ODBCHandler::GetField (allowed max index: 2)"},
        {[&] { h.SetField(-1, "x"); },
         "Illegal field index -1 in ODBCHandler::SetField (allowed max index: 2)"},
        {[&] { h.GetEmptyField(7); },
         "Illegal field index 7 in ODBCHandler::GetEmptyField (allowed max index: 2)"}};
    for (const auto& [call, message] : refused) EXPECT_EQ(ThrownMessage(call), message);
    EXPECT_EQ(h.GetQuery_NumCols(), 3);
}

TEST(ODBCHandler, RunsSQLOnSQLiteByDriverString) {
    ODBCHandler h;
    const char* notConnected = "ERROR allocating statement handle: database is not connected";
    EXPECT_FALSE(h.ExecQuery("SELECT 1", true));
    EXPECT_EQ(h.GetErrorMessage(), notConnected);
    EXPECT_FALSE(h.ExecDirectSQL("SELECT 1"));
    EXPECT_FALSE(h.GetNextRecord());  // no statement: a failure, not a crash

    h.SetConnectParams("SQLite3", nullptr, SQLiteFile("run.db").c_str(), nullptr, nullptr, nullptr);
    ASSERT_TRUE(h.Connect()) << h.GetErrorMessage();
    // The first query after connecting, with no statement yet to reuse, gets one of its own.
    ASSERT_TRUE(h.ExecQuery("SELECT 7", false)) << h.GetErrorMessage();
    ASSERT_TRUE(h.GetNextRecord()) << h.GetErrorMessage();
    EXPECT_EQ(h.GetField(0), "7");
    const std::string completed = h.GetCompletedConnectString();
    EXPECT_NE(completed.find(SQLiteFile("run.db")), std::string::npos) << completed;
    EXPECT_TRUE(h.Connect());
    EXPECT_EQ(h.GetCompletedConnectString(), completed);
    CheckRoundTrip(h, "t", false);

    // A transaction left open does not keep the connection (nor the database file) from closing.
    ASSERT_TRUE(h.ExecDirectSQL("DROP TABLE IF EXISTS k"));
    ASSERT_TRUE(h.ExecDirectSQL("CREATE TABLE k (v INTEGER)"));
    ASSERT_TRUE(h.ExecDirectSQL("BEGIN"));
    ASSERT_TRUE(h.ExecDirectSQL("INSERT INTO k VALUES (1)"));
    h.SetConnected(false);
    EXPECT_FALSE(h.GetConnected());
    EXPECT_EQ(h.GetCompletedConnectString(), "");
    EXPECT_FALSE(h.ExecQuery("SELECT 1", false));
    EXPECT_EQ(h.GetErrorMessage(), notConnected);

    h.SetConnected(true);
    ASSERT_TRUE(h.GetConnected()) << h.GetErrorMessage();
    EXPECT_TRUE(h.ExecDirectSQL("INSERT INTO k VALUES (2)")) << h.GetErrorMessage();
}

TEST(ODBCHandler, ConnectFailuresKeepTheDriverManagersMessage) {
    ODBCHandler h;
    h.SetConnectParams(nullptr, nullptr, nullptr, nullptr, nullptr, "NoSuchSource");
    EXPECT_FALSE(h.Connect());
    EXPECT_EQ(h.GetErrorMessage().rfind("ERROR connecting: IM002, [unixODBC]", 0), 0u)
        << h.GetErrorMessage();
    EXPECT_NE(h.GetErrorMessage().find("(Type: SQL ERROR, Native error code: 0)"),
              std::string::npos);
    h.SetConnectParams("NoSuchDriver", nullptr, "x.db", nullptr, nullptr, nullptr);
    EXPECT_FALSE(h.Connect());
    EXPECT_NE(h.GetErrorMessage().find("NoSuchDriver"), std::string::npos) << h.GetErrorMessage();
    EXPECT_FALSE(h.GetConnected());
    EXPECT_EQ(h.GetCompletedConnectString(), "");  // the driver manager wrote nothing
    // The SQLite driver completes the string even when it cannot open the file.
    h.SetConnectParams("SQLite3", nullptr, "/nonexistent-dir/x.db", nullptr, nullptr, nullptr);
    EXPECT_FALSE(h.Connect());
    EXPECT_EQ(h.GetCompletedConnectString().rfind("DSN=;Database=/nonexistent-dir/x.db;", 0), 0u)
        << h.GetCompletedConnectString();

    // Nothing listens on port 1; the port goes with the server text.
    h.SetConnectParams("PostgreSQL Unicode", "127.0.0.1;Port=1", "none", "postgres", nullptr,
                       nullptr);
    EXPECT_FALSE(h.Connect());
    EXPECT_EQ(h.GetErrorMessage().rfind("ERROR connecting: 08001, ", 0), 0u) << h.GetErrorMessage();

    h.SetConnectParams("SQLite3", nullptr, SQLiteFile("after.db").c_str(), nullptr, nullptr,
                       nullptr);
    EXPECT_TRUE(h.Connect()) << h.GetErrorMessage();
}

TEST(ODBCHandler, RunsSQLOnPostgreSQLByDriverString) {
    const auto pg = PgServerFromEnvironment();
    if (!pg) GTEST_SKIP() << "QUANTORA_TEST_PG is not set";
    ODBCHandler h;
    const std::string server = pg->host + ";Port=" + pg->port;
    h.SetConnectParams("PostgreSQL Unicode", server.c_str(), pg->database.c_str(), pg->user.c_str(),
                       pg->password.c_str(), nullptr);
    ASSERT_TRUE(h.Connect()) << h.GetErrorMessage();
    CheckRoundTrip(h, "odbc_run_" + std::to_string(getpid()), true);
    h.Disconnect();

    // The driver returns more than the 2100 bytes kept of the completed connection string.
    if (!pg->password.empty()) return;  // a long password would be refused
    const std::string longPassword(2500, 'p');
    h.SetConnectParams("PostgreSQL Unicode", server.c_str(), pg->database.c_str(), pg->user.c_str(),
                       longPassword.c_str(), nullptr);
    ASSERT_TRUE(h.Connect()) << h.GetErrorMessage();
    EXPECT_EQ(h.GetCompletedConnectString().size(), 2099u);
}
