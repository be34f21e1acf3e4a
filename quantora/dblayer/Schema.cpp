// The schema helpers: create the lab schema, look at its tables and rows. They run TQuery and
// Transaction, above the alias registry (Database.cpp).
#include <algorithm>
#include <cctype>
#include <string_view>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"

using namespace quantora::db;
using quantora::Format;

std::vector<AnsiString> UserTableNames(const AnsiString& alias) {
    std::vector<AnsiString> names = ConnectionFor(alias)->TableNames();
    std::sort(names.begin(), names.end());
    return names;
}

bool TableExists(const AnsiString& alias, const AnsiString& table) {
    auto same = [&](const AnsiString& name) {
        return std::equal(name.begin(), name.end(), table.begin(), table.end(), [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) ==
                   std::toupper(static_cast<unsigned char>(b));
        });
    };
    const std::vector<AnsiString> names = ConnectionFor(alias)->TableNames();
    return std::any_of(names.begin(), names.end(), same);
}

bool RowExists(const AnsiString& alias, const char* table, const char* keyColumn, int key) {
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(Format("SELECT COUNT(*) FROM %s WHERE %s = :K", table, keyColumn));
    q.ParamByName("K")->SetAsInteger(key);
    q.Open();
    return q.Fields()[0]->AsInteger() > 0;
}

void CreateSchema(const AnsiString& alias) {
    std::shared_ptr<Connection> conn = ConnectionFor(alias);
    Transaction tr(alias);
    std::string_view text(SchemaText());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(";\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view stmt = text.substr(start, end - start);
        start = end + 2;
        // Drop whole-line comments and blank lines; what is left is one statement.
        AnsiString sql;
        size_t pos = 0;
        while (pos < stmt.size()) {
            size_t nl = stmt.find('\n', pos);
            if (nl == std::string_view::npos) nl = stmt.size();
            std::string_view line = stmt.substr(pos, nl - pos);
            pos = nl + 1;
            size_t first = line.find_first_not_of(" \t\r");
            if (first == std::string_view::npos || line.substr(first, 2) == "--") continue;
            sql.append(line);
            sql += '\n';
        }
        if (!sql.empty()) conn->ExecDirect(conn->TranslateDdl(sql));
    }
    conn->ExecDirect(
        Format("INSERT INTO SCHEMAVERSION (VERSION) SELECT %d WHERE NOT EXISTS "
               "(SELECT 1 FROM SCHEMAVERSION WHERE VERSION = %d)",
               kSchemaVersion, kSchemaVersion));
    tr.Commit();
}
