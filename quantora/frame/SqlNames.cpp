// Checks and quoting for text that is put into SQL statements.
#include "quantora/frame/SqlNames.h"

#include <cctype>
#include <cstring>
#include <unordered_set>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/frame/LabTables.h"

namespace quantora {
namespace {

// Bytes of a refused name shown in a message.
constexpr std::size_t kShownNameBytes = 80;

AnsiString Upper(std::string_view s) {
    AnsiString u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

}  // namespace

AnsiString ShownName(std::string_view name) {
    AnsiString out;
    const std::size_t n = std::min(name.size(), kShownNameBytes);
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 32 || c == 127 || c == '\'')
            out += Format("\\x%02X", c);
        else
            out += static_cast<char>(c);
    }
    if (name.size() > n) out += Format("... (%zu bytes)", name.size());
    return out;
}

namespace {

// Upper-case names of the schema's tables.
const std::unordered_set<AnsiString>& SchemaTableSet() {
    static const std::unordered_set<AnsiString> tables = [] {
        std::unordered_set<AnsiString> out;
        for (const AnsiString& t : SchemaTableNames()) out.insert(Upper(t));
        return out;
    }();
    return tables;
}

}  // namespace

bool IsSqlName(std::string_view name) {
    if (name.empty() || name.size() > kMaxSqlNameLength) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
    }
    return true;
}

const char* CheckedSqlName(const char* name, const char* context, const char* what) {
    if (name && IsSqlName(name)) return name;
    throw quantora::MisuseError(
        name ? Format("%s: '%s' is not a valid %s", context, ShownName(name).c_str(), what)
             : Format("%s: no %s is given", context, what));
}

const AnsiString& CheckedSqlName(const AnsiString& name, const char* context, const char* what) {
    if (IsSqlName(name)) return name;
    throw quantora::MisuseError(
        Format("%s: '%s' is not a valid %s", context, ShownName(name).c_str(), what));
}

const std::vector<AnsiString>& SchemaTableNames() {
#define QUANTORA_TABLE_NAME(table, record) #table,
    static const std::vector<AnsiString> tables = {QUANTORA_LAB_TABLES(QUANTORA_TABLE_NAME)};
#undef QUANTORA_TABLE_NAME
    return tables;
}

bool IsSchemaTable(std::string_view name) {
    return IsSqlName(name) && SchemaTableSet().count(Upper(name)) > 0;
}

AnsiString SqlStringLiteral(std::string_view value, const char* what) {
    if (value.find('\0') != std::string_view::npos)
        throw Exception(Format("%s contains a zero byte", what));
    AnsiString out;
    out.reserve(value.size() + 2);
    out += '\'';
    for (char c : value) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

bool FormatTakes(const char* fmt, std::string_view conversions) {
    if (!fmt) return false;
    std::size_t next = 0;
    for (const char* p = std::strchr(fmt, '%'); p; p = std::strchr(p, '%')) {
        if (p[1] == '%') {
            p += 2;
            continue;
        }
        if (next >= conversions.size() || p[1] != conversions[next]) return false;
        ++next;
        p += 2;
    }
    return next == conversions.size();
}

}  // namespace quantora
