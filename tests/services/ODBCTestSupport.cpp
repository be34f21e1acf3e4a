// Isolates the ODBC ini files of each test process before the first ODBC call.
#include "ODBCTestSupport.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <stdlib.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "quantora/services/ODBCHandler.h"

namespace quantora::test {

namespace {

std::filesystem::path& Dir() {
    static std::filesystem::path dir;
    return dir;
}

class IsolatedOdbcIni : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "qdb-odbc.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        Dir() = pattern;
        std::filesystem::copy_file("/etc/odbcinst.ini", Dir() / "odbcinst.ini");
        std::ofstream(SystemIniFile()).flush();
        std::ofstream(UserIniFile()).flush();
        setenv("ODBCSYSINI", Dir().c_str(), 1);
        setenv("ODBCINI", UserIniFile().c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!Dir().empty()) std::filesystem::remove_all(Dir(), ignored);
    }
};

[[maybe_unused]] ::testing::Environment* const kIsolatedOdbcIni =
    ::testing::AddGlobalTestEnvironment(new IsolatedOdbcIni);

}  // namespace

const std::filesystem::path& OdbcTestDir() {
    return Dir();
}
std::filesystem::path SystemIniFile() {
    return Dir() / "odbc.ini";
}
std::filesystem::path UserIniFile() {
    return Dir() / "user.ini";
}

void EmptyOdbcIni::SetUp() {
    std::ofstream(SystemIniFile(), std::ios::trunc).flush();
    std::ofstream(UserIniFile(), std::ios::trunc).flush();
}

std::string ReadTextFile(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::optional<PgServer> PgServerFromEnvironment() {
    const char* uri = getenv("QUANTORA_TEST_PG");
    if (uri == nullptr || *uri == '\0') return std::nullopt;
    static const std::regex form(
        R"(postgres(?:ql)?://(?:([^:@/]*)(?::([^@/]*))?@)?([^:/?]*)(?::([0-9]+))?/([^?]*).*)");
    std::cmatch m;
    if (!std::regex_match(uri, m, form)) throw std::runtime_error("QUANTORA_TEST_PG: bad URI");
    auto part = [&m](int i, const char* absent) { return m[i].length() ? m[i].str() : absent; };
    return PgServer{m[3], part(4, "5432"), part(1, "postgres"), m[2], m[5]};
}

void CheckRoundTrip(ODBCHandler& h, const std::string& table, bool notNullKnown) {
    const std::string longText = std::string(127, 'a') + std::string(173, 'b');
    ASSERT_TRUE(h.ExecDirectSQL("DROP TABLE IF EXISTS " + table)) << h.GetErrorMessage();
    ASSERT_TRUE(h.ExecDirectSQL("CREATE TABLE " + table +
                                " (id INTEGER NOT NULL, name VARCHAR(20), note VARCHAR(400))"));
    for (const std::string& values :
         std::vector<std::string>{"1, NULL, ''", "2, 'abc', '" + longText + "'", "3, 'x', NULL"})
        ASSERT_TRUE(h.ExecDirectSQL("INSERT INTO " + table + " VALUES (" + values + ")"))
            << h.GetErrorMessage();
    EXPECT_TRUE(h.ExecDirectSQL("DELETE FROM " + table + " WHERE id = 99")) << h.GetErrorMessage();

    ASSERT_TRUE(h.ExecQuery("SELECT id, name, note FROM " + table + " ORDER BY id", true))
        << h.GetErrorMessage();
    ASSERT_EQ(h.GetQuery_NumCols(), 3);
    const auto& info = h.GetRecord().FieldInfos;
    EXPECT_EQ(info[0].Name + "|" + info[1].Name, "id|name");
    EXPECT_EQ(info[0].SQLType, SQL_INTEGER);
    EXPECT_EQ(info[1].SQLType, SQL_VARCHAR);
    EXPECT_EQ(info[1].ColumnSize, 20);
    EXPECT_EQ(info[2].ColumnSize, 400);
    EXPECT_TRUE(info[1].Nullable);
    EXPECT_TRUE(!notNullKnown || !info[0].Nullable);

    ASSERT_TRUE(h.GetNextRecord()) << h.GetErrorMessage();
    EXPECT_EQ(h.GetField(0), "1");
    EXPECT_TRUE(h.GetEmptyField(1));
    EXPECT_EQ(h.GetField(1), "");
    EXPECT_FALSE(h.GetEmptyField(2));  // empty, not null
    EXPECT_EQ(h.GetField(2), "");
    ASSERT_TRUE(h.GetNextRecord()) << h.GetErrorMessage();
    EXPECT_EQ(h.GetField(1), "abc");
    EXPECT_EQ(h.GetField(2), longText.substr(0, 127));
    ASSERT_TRUE(h.GetNextRecord()) << h.GetErrorMessage();
    EXPECT_EQ(h.GetField(1), "x");  // values of the previous row do not linger
    EXPECT_TRUE(h.GetEmptyField(2));
    EXPECT_EQ(h.GetField(2), "");
    EXPECT_FALSE(h.GetNextRecord());
    EXPECT_NE(h.GetErrorMessage().find("SQL NO DATA"), std::string::npos) << h.GetErrorMessage();
    EXPECT_EQ(h.GetFetchedRows(), 3);

    // The statement handle is reused for the next query.
    ASSERT_TRUE(h.ExecQuery("SELECT COUNT(*) FROM " + table, false)) << h.GetErrorMessage();
    ASSERT_TRUE(h.GetNextRecord()) << h.GetErrorMessage();
    EXPECT_EQ(h.GetField(0), "3");
    EXPECT_EQ(h.GetFetchedRows(), 1);

    EXPECT_FALSE(h.ExecQuery("SELEC nothing", false));
    EXPECT_NE(h.GetErrorMessage().find("(Type: SQL ERROR, Native error code: "), std::string::npos)
        << h.GetErrorMessage();
    EXPECT_TRUE(h.ExecDirectSQL("DROP TABLE " + table)) << h.GetErrorMessage();
}

void* WindowToken() {
    static int token;
    return &token;
}

}  // namespace quantora::test
