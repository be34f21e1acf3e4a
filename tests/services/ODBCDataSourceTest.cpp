// Data sources through ODBCHandler: attribute lists, creating, listing and removing user and
// system data sources, connecting through them, and the installer's failure messages.
#include <gtest/gtest.h>

#include <algorithm>

#include "ODBCTestSupport.h"
#include "quantora/services/ODBCDataSourceIni.h"
#include "quantora/services/ODBCHandler.h"

using namespace quantora::test;
using Strings = std::vector<AnsiString>;
using ODBCDataSource = EmptyOdbcIni;

namespace {

// Creates an SQLite data source on a file of the test directory through CreateODBCParams.
bool CreateSQLiteSource(ODBCHandler& h, const char* dsn, bool system, const char* file) {
    const std::string path = (OdbcTestDir() / file).string();
    h.SetConnectParams("SQLite3", nullptr, path.c_str(), nullptr, nullptr, dsn);
    Strings attributes;
    return h.CreateODBCParams(attributes, "test source") &&
           h.CreateODBCDataSource(system, attributes, false);
}

template <size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

Strings Sorted(Strings s) {
    std::sort(s.begin(), s.end());
    return s;
}

}  // namespace

TEST(ODBCAttributeText, IsZeroSeparatedAndClosedByDoubleZero) {
    using quantora::MakeODBCAttributeText;
    EXPECT_EQ(MakeODBCAttributeText({"DSN=x", "", "SERVER=y"}), Bytes("DSN=x\0SERVER=y\0\0"));
    EXPECT_EQ(MakeODBCAttributeText({"DESCRIPTION=a@b"}), Bytes("DESCRIPTION=a\0b\0\0"));
}

TEST(ODBCDataSourceParams, CreateODBCParamsNeedsDriverAndWindow) {
    Strings list{"kept"};
    ODBCHandler noWindow;
    noWindow.SetConnectParams("SQLite3", nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(noWindow.CreateODBCParams(list, nullptr));
    EXPECT_EQ(noWindow.GetErrorMessage(),
              "ERROR creating ODBC data source: window handle is not specified");

    ODBCHandler h(WindowToken());
    EXPECT_FALSE(h.CreateODBCParams(list, nullptr));
    EXPECT_EQ(h.GetErrorMessage(),
              "ERROR creating ODBC data source: driver parameter is not specified");
    EXPECT_EQ(list, Strings{"kept"});

    h.SetConnectParams("drv", "srv", "db", "user", "secret", "name");
    ASSERT_TRUE(h.CreateODBCParams(list, "about"));
    EXPECT_EQ(list, (Strings{"kept", "DSN=name", "DESCRIPTION=about", "SERVER=srv", "DATABASE=db",
                             "AnsiNPW=Yes", "AutoTranslate=Yes", "Fallback=No", "QuotedId=Yes",
                             "Trusted_Connection=no"}));

    h.Reset();  // the window handle is gone with it
    h.SetConnectParams("drv", nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(h.CreateODBCParams(list, nullptr));
}

TEST_F(ODBCDataSource, UserSourceIsCreatedUsedReplacedAndRemoved) {
    ODBCHandler h(WindowToken());
    ASSERT_TRUE(CreateSQLiteSource(h, "lab", false, "old.db")) << h.GetErrorMessage();
    ASSERT_TRUE(CreateSQLiteSource(h, "lab", false, "lab.db")) << h.GetErrorMessage();
    const std::string userIni = ReadTextFile(UserIniFile());
    EXPECT_NE(userIni.find("lab.db"), std::string::npos) << userIni;
    EXPECT_EQ(userIni.find("old.db"), std::string::npos) << userIni;

    h.SetConnectParams(nullptr, nullptr, nullptr, nullptr, nullptr, "lab");
    ASSERT_TRUE(h.Connect()) << h.GetErrorMessage();
    ASSERT_TRUE(h.ExecDirectSQL("CREATE TABLE marker (v INTEGER)")) << h.GetErrorMessage();
    h.Disconnect();
    EXPECT_TRUE(std::filesystem::exists(OdbcTestDir() / "lab.db"));

    EXPECT_FALSE(h.DeleteODBCDataSource(false, false));
    EXPECT_EQ(h.GetErrorMessage(),
              "ERROR deleting ODBC data source: driver parameter is not specified");
    h.SetConnectParams("SQLite3", nullptr, nullptr, nullptr, nullptr, "lab");
    // The window handle goes to the installer untouched.
    ASSERT_TRUE(h.DeleteODBCDataSource(false, true)) << h.GetErrorMessage();
    Strings names;
    ASSERT_TRUE(h.RetrieveDSNNames(&names, nullptr, ""));
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(h.DeleteODBCDataSource(false, false));  // already gone
}

TEST_F(ODBCDataSource, SystemSourcesAndListingFilteredOnTheDriverWithCase) {
    ODBCHandler h(WindowToken());
    ASSERT_TRUE(CreateSQLiteSource(h, "one", false, "one.db"));
    ASSERT_TRUE(CreateSQLiteSource(h, "two", true, "two.db"));
    h.SetConnectParams("PostgreSQL Unicode", "127.0.0.1", "lab", nullptr, nullptr, "three");
    Strings attributes;
    ASSERT_TRUE(h.CreateODBCParams(attributes, nullptr));
    ASSERT_TRUE(h.CreateODBCDataSource(false, attributes, false)) << h.GetErrorMessage();

    const struct {
        const char* driver;
        Strings names, descriptions;
    } listings[] = {{"SQLite", {"one", "two"}, {"SQLite3", "SQLite3"}},
                    {"PostgreSQL", {"three"}, {"PostgreSQL Unicode"}},
                    {"sqlite", {}, {}},
                    {"", {"one", "three", "two"}, {"PostgreSQL Unicode", "SQLite3", "SQLite3"}}};
    for (const auto& l : listings) {
        Strings names{"stale"}, descriptions{"stale"};
        ASSERT_TRUE(h.RetrieveDSNNames(&names, &descriptions, l.driver));
        EXPECT_EQ(Sorted(names), l.names) << l.driver;
        EXPECT_EQ(Sorted(descriptions), l.descriptions) << l.driver;
    }
    Strings descriptions;
    EXPECT_FALSE(h.RetrieveDSNNames(nullptr, &descriptions, ""));
    EXPECT_EQ(h.GetErrorMessage(), "ERROR retrieving ODBC data source names: internal error");

    // "two" is a system data source: in the system file only, and removed only as such.
    EXPECT_NE(ReadTextFile(SystemIniFile()).find("[two]"), std::string::npos);
    EXPECT_EQ(ReadTextFile(UserIniFile()).find("[two]"), std::string::npos);
    h.SetConnectParams("SQLite3", nullptr, nullptr, nullptr, nullptr, "two");
    EXPECT_FALSE(h.DeleteODBCDataSource(false, false));
    EXPECT_EQ(h.GetErrorMessage(), "User data source 'two' does not exist (Native error code: 9)");
    ASSERT_TRUE(h.DeleteODBCDataSource(true, false)) << h.GetErrorMessage();
    EXPECT_EQ(ReadTextFile(SystemIniFile()).find("[two]"), std::string::npos);
}

TEST_F(ODBCDataSource, InstallerFailuresNameTheCauseAndWriteNothing) {
    ODBCHandler h(WindowToken());
    auto create = [&](const char* driver, Strings attributes) {
        h.SetConnectParams(driver, nullptr, nullptr, nullptr, nullptr, nullptr);
        return h.CreateODBCDataSource(false, attributes, false);
    };
    EXPECT_FALSE(create("NoSuchDriver", {"DSN=x", "DATABASE=x.db"}));
    EXPECT_EQ(h.GetErrorMessage(), "Driver 'NoSuchDriver' is not installed (Native error code: 7)");
    EXPECT_FALSE(create("SQLite3", {"DSN=a[b", "DATABASE=x.db"}));
    EXPECT_EQ(h.GetErrorMessage(), "Invalid DSN (Native error code: 9)");
    EXPECT_FALSE(create("SQLite3", {"DSN=x", "DATABASE"}));
    EXPECT_EQ(h.GetErrorMessage(),
              "Invalid data source attribute 'DATABASE' (expected keyword=value) (Native error "
              "code: 8)");
    EXPECT_FALSE(create("SQLite3", {"DSN=x", "NOTE=two\nlines"}));
    EXPECT_FALSE(create("SQLite3", {"DATABASE=x.db"}));
    EXPECT_EQ(h.GetErrorMessage(), "Data source name (DSN=...) is missing (Native error code: 9)");
    EXPECT_EQ(ReadTextFile(UserIniFile()), "");
    EXPECT_EQ(ReadTextFile(SystemIniFile()), "");

    h.SetConnectParams("NoSuchDriver", nullptr, nullptr, nullptr, nullptr, "x");
    EXPECT_FALSE(h.DeleteODBCDataSource(true, false));
    EXPECT_EQ(h.GetErrorMessage(), "Driver 'NoSuchDriver' is not installed (Native error code: 7)");
}
