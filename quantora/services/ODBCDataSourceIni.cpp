// Data-source attribute lists and the profile-function way of writing and removing data sources.
#include "quantora/services/ODBCDataSourceIni.h"

#include <odbcinst.h>
#include <sql.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "quantora/base/Format.h"

namespace quantora {

namespace {

constexpr const char* kOdbcIni = "odbc.ini";

struct InstallerError {
    DWORD code;
    AnsiString message;
};

// The installer keeps at most eight error records per call.
std::vector<InstallerError> TakeInstallerErrors() {
    std::vector<InstallerError> errors;
    for (WORD number = 1; number <= 8; ++number) {
        DWORD code = 0;
        char message[512] = {};
        const SQLRETURN r = SQLInstallerError(number, &code, message, sizeof message, nullptr);
        if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) break;
        errors.push_back({code, AnsiString(message, strnlen(message, sizeof message))});
    }
    return errors;
}

void PostInstallerErrors(const std::vector<InstallerError>& errors) {
    for (const InstallerError& e : errors) SQLPostInstallerError(e.code, e.message.c_str());
}

// The driver manager empties the error queue at the start of every installer call; asking for
// the configuration mode is the harmless call used for it.
void ClearInstallerErrors() {
    UWORD mode = ODBC_BOTH_DSN;
    SQLGetConfigMode(&mode);
}

// Switches the installer to user or system data sources and back. Switching clears the error
// queue, so the records of the calls made in between are carried over the switch back.
class ConfigModeScope {
  public:
    explicit ConfigModeScope(bool system) {
        if (!SQLGetConfigMode(&saved_)) saved_ = ODBC_BOTH_DSN;
        SQLSetConfigMode(system ? ODBC_SYSTEM_DSN : ODBC_USER_DSN);
    }
    ~ConfigModeScope() {
        const std::vector<InstallerError> errors = TakeInstallerErrors();
        SQLSetConfigMode(saved_);
        PostInstallerErrors(errors);
    }
    ConfigModeScope(const ConfigModeScope&) = delete;
    ConfigModeScope& operator=(const ConfigModeScope&) = delete;

  private:
    UWORD saved_ = ODBC_BOTH_DSN;
};

bool EqualsNoCase(std::string_view a, const char* b) {
    return a.size() == std::strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

struct Attribute {
    std::string_view key, value;
};

// Splits a zero-separated attribute text at its first empty element. False (with a queued error)
// for an element that is not a keyword=value pair fit for an ini file.
bool ParseAttributes(const AnsiString& text, std::vector<Attribute>& out) {
    const std::string_view all(text);
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find('\0', pos);
        if (end == std::string_view::npos) end = all.size();
        const std::string_view element = all.substr(pos, end - pos);
        if (element.empty()) break;
        pos = end + 1;

        const size_t eq = element.find('=');
        const std::string_view key = element.substr(0, std::min(eq, element.size()));
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : element.substr(eq + 1);
        const bool keyOk = !key.empty() && key.find_first_of("[]\r\n") == std::string_view::npos;
        const bool valueOk = value.find_first_of("\r\n") == std::string_view::npos;
        if (eq == std::string_view::npos || !keyOk || !valueOk) {
            SQLPostInstallerError(
                ODBC_ERROR_INVALID_KEYWORD_VALUE,
                Format("Invalid data source attribute '%.*s' (expected keyword=value)",
                       static_cast<int>(element.size()), element.data())
                    .c_str());
            return false;
        }
        out.push_back({key, value});
    }
    return true;
}

bool FindDataSourceName(const std::vector<Attribute>& attributes, AnsiString& dsn) {
    for (const Attribute& a : attributes) {
        if (EqualsNoCase(a.key, "DSN")) {
            dsn.assign(a.value);
            break;
        }
    }
    if (!dsn.empty()) return true;
    SQLPostInstallerError(ODBC_ERROR_INVALID_DSN, "Data source name (DSN=...) is missing");
    return false;
}

// A section with at least one entry in the given file.
bool SectionExists(const AnsiString& section, const char* file) {
    char keys[1024] = {};
    return SQLGetPrivateProfileString(section.c_str(), nullptr, "", keys, sizeof keys, file) > 0;
}

bool CheckDriverInstalled(const AnsiString& driver) {
    if (!driver.empty() && SectionExists(driver, "ODBCINST.INI")) return true;
    SQLPostInstallerError(ODBC_ERROR_INVALID_NAME,
                          Format("Driver '%s' is not installed", driver.c_str()).c_str());
    return false;
}

}  // namespace

AnsiString MakeODBCAttributeText(const std::vector<AnsiString>& lines) {
    AnsiString text;
    for (const AnsiString& line : lines) {
        if (line.empty()) continue;
        text += line;
        text += '@';
    }
    std::replace(text.begin(), text.end(), '@', '\0');
    text += '\0';
    return text;
}

bool LastInstallerErrorIsGeneral() {
    DWORD code = 0;
    char message[512] = {};
    const SQLRETURN r = SQLInstallerError(1, &code, message, sizeof message, nullptr);
    return (r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO) && code == ODBC_ERROR_GENERAL_ERR;
}

bool WriteODBCDataSourceToIni(bool system, const AnsiString& driver,
                              const AnsiString& attributeText) {
    ClearInstallerErrors();
    std::vector<Attribute> attributes;
    AnsiString dsn;
    if (!ParseAttributes(attributeText, attributes) || !FindDataSourceName(attributes, dsn) ||
        !CheckDriverInstalled(driver))
        return false;

    ConfigModeScope mode(system);
    // Replaces a data source of the same name; rejects names the installer does not accept.
    if (!SQLWriteDSNToIni(dsn.c_str(), driver.c_str())) return false;
    for (const Attribute& a : attributes) {
        // The name is the section and the driver was written with it.
        if (EqualsNoCase(a.key, "DSN") || EqualsNoCase(a.key, "DRIVER")) continue;
        const AnsiString key(a.key), value(a.value);
        if (!SQLWritePrivateProfileString(dsn.c_str(), key.c_str(), value.c_str(), kOdbcIni)) {
            const std::vector<InstallerError> errors = TakeInstallerErrors();
            SQLRemoveDSNFromIni(dsn.c_str());
            PostInstallerErrors(errors);
            return false;
        }
    }
    return true;
}

bool RemoveODBCDataSourceFromIni(bool system, const AnsiString& driver,
                                 const AnsiString& attributeText) {
    ClearInstallerErrors();
    std::vector<Attribute> attributes;
    AnsiString dsn;
    if (!ParseAttributes(attributeText, attributes) || !FindDataSourceName(attributes, dsn) ||
        !CheckDriverInstalled(driver))
        return false;

    ConfigModeScope mode(system);
    if (!SectionExists(dsn, kOdbcIni)) {
        SQLPostInstallerError(
            ODBC_ERROR_INVALID_DSN,
            Format("%s data source '%s' does not exist", system ? "System" : "User", dsn.c_str())
                .c_str());
        return false;
    }
    return SQLRemoveDSNFromIni(dsn.c_str());
}

}  // namespace quantora
