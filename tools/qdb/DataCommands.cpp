// qdb info, export, import, csv and settings: the commands that look at, move and query the data
// of a lab database as a whole.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/FileReplacement.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/exchange/XmlImporter.h"
#include "quantora/frame/DbUtils.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/SqlNames.h"
#include "quantora/services/Usersettings.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"
#include "tools/qdb/Progress.h"

namespace qdbtool {
namespace {

namespace fs = std::filesystem;
using quantora::Format;

constexpr const char* kAlias = "qdb";

// The schema version recorded in the database, or -1 when it has none (not a lab database).
int StoredSchemaVersion(const char* alias) {
    try {
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQL("SELECT MAX(VERSION) FROM SCHEMAVERSION");
        q.Open();
        return q.Eof() || q.Fields()[0]->IsNull() ? -1 : q.Fields()[0]->AsInteger();
    } catch (const EDatabaseError& e) {
        // No such table; a lost connection or a locked file is an error of its own.
        if (e.Category() == DbErrorCategory::Syntax) return -1;
        throw;
    }
}

int ParseInt(const std::string& text, const char* what) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || v < INT32_MIN || v > INT32_MAX)
        throw Exception(Format("%s '%s' is not an integer", what, text.c_str()));
    return static_cast<int>(v);
}

double ParseFloat(const std::string& text, const char* what) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || errno)
        throw Exception(Format("%s '%s' is not a number", what, text.c_str()));
    return v;
}

// Row count of every table of the schema.
std::vector<std::pair<AnsiString, int>> CountRows(const char* alias) {
    std::vector<std::pair<AnsiString, int>> out;
    TQuery q;
    q.SetDatabaseName(alias);
    for (const AnsiString& table : quantora::SchemaTableNames()) {
        q.SetSQL(Format("SELECT COUNT(*) FROM %s", table.c_str()));
        q.Open();
        out.emplace_back(table, q.Fields()[0]->AsInteger());
        q.Close();
    }
    return out;
}

// Removes a database file this command created when the command fails.
class NewFileGuard {
  public:
    explicit NewFileGuard(std::string path) : path_(std::move(path)) {}
    ~NewFileGuard() {
        if (path_.empty()) return;
        CloseDatabase(kAlias);
        std::error_code ec;
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(path_ + suffix, ec);
    }
    NewFileGuard(const NewFileGuard&) = delete;
    NewFileGuard& operator=(const NewFileGuard&) = delete;
    void Keep() { path_.clear(); }

  private:
    std::string path_;
};

int ExportedTableCount() {
    int n = 0;
    while (QuantoraXmlExporter::ExportedTables[n]) ++n;
    return n;
}

// One SELECT statement: a trailing semicolon is allowed, another statement after it is not.
// Literals and quoted names are followed as the engine reads them (a doubled quote stays
// inside; on PostgreSQL, `postgres`, a backslash escapes the next byte in an E'...' string; on
// SQLite names may also be quoted with `...` and [...]); comments and dollar quoting are
// refused, so nothing can hide a second statement from this check.
AnsiString CheckSingleSelect(const std::string& sql, bool postgres) {
    size_t begin = 0, end = sql.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(sql[begin]))) ++begin;
    while (end > begin &&
           (std::isspace(static_cast<unsigned char>(sql[end - 1])) || sql[end - 1] == ';'))
        --end;
    AnsiString body = sql.substr(begin, end - begin);
    char quote = 0;
    bool escapes = false;  // inside an E'...' literal
    for (size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        const char next = i + 1 < body.size() ? body[i + 1] : '\0';
        if (quote) {
            if (escapes && c == '\\') {
                ++i;
            } else if (c == quote) {
                if (next == quote && quote != ']')
                    ++i;  // a doubled quote stays inside
                else
                    quote = 0;
            }
        } else if (c == '\'' || c == '"' || (!postgres && (c == '`' || c == '['))) {
            quote = c == '[' ? ']' : c;
            const bool prefixed =
                i > 0 && (body[i - 1] == 'E' || body[i - 1] == 'e') &&
                (i < 2 ||
                 !(std::isalnum(static_cast<unsigned char>(body[i - 2])) || body[i - 2] == '_'));
            escapes = postgres && c == '\'' && prefixed;
        } else if (c == ';') {
            throw Exception("only a single SELECT statement is accepted (found ';' inside)");
        } else if ((c == '-' && next == '-') || (c == '/' && next == '*')) {
            throw Exception("comments are not accepted in the query");
        } else if (c == '$') {
            throw Exception("'$' is not accepted outside quotes in the query");
        }
    }
    if (quote) throw Exception("the query has an unterminated quote");
    size_t word = 0;
    while (word < body.size() && std::isalpha(static_cast<unsigned char>(body[word]))) ++word;
    AnsiString first = body.substr(0, word);
    for (char& c : first) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (first != "SELECT")
        throw Exception(Format("only a SELECT statement is accepted, not '%s'",
                               first.empty() ? body.substr(0, 20).c_str() : first.c_str()));
    return body;
}

// Makes the connection of `alias` refuse every write from now on, on either engine, so that
// a SELECT that calls a function with side effects changes nothing either.
void MakeReadOnly(const char* alias, bool postgres) {
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(postgres ? "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"
                      : "PRAGMA query_only = ON");
    q.ExecSQL();
}

// An employee given by key or by exact name; its key.
int FindEmployee(const char* alias, const std::string& arg) {
    TQuery q;
    q.SetDatabaseName(alias);
    char* end = nullptr;
    const long id = std::strtol(arg.c_str(), &end, 10);
    if (!arg.empty() && !*end) {
        q.SetSQL("SELECT EMPLOYEE_ID FROM EMPLOYEE WHERE EMPLOYEE_ID = :id");
        q.ParamByName("id")->SetAsInteger(static_cast<int>(id));
    } else {
        q.SetSQL("SELECT EMPLOYEE_ID FROM EMPLOYEE WHERE NAME = :name ORDER BY EMPLOYEE_ID");
        q.ParamByName("name")->SetAsString(arg);
    }
    q.Open();
    if (q.Eof()) throw Exception(Format("no employee '%s'", arg.c_str()));
    return q.Fields()[0]->AsInteger();
}

struct SettingDef {
    int id = -1;
    AnsiString name;
    QuantoraSettingType type = QuantoraSettingType::Text;
};

// A setting definition given by key or by exact name.
SettingDef FindSetting(const char* alias, const std::string& arg) {
    TQuery q;
    q.SetDatabaseName(alias);
    char* end = nullptr;
    const long id = std::strtol(arg.c_str(), &end, 10);
    if (!arg.empty() && !*end) {
        q.SetSQL("SELECT SETTING_ID, NAME, VALUETYPE FROM SETTING WHERE SETTING_ID = :id");
        q.ParamByName("id")->SetAsInteger(static_cast<int>(id));
    } else {
        q.SetSQL("SELECT SETTING_ID, NAME, VALUETYPE FROM SETTING WHERE NAME = :name");
        q.ParamByName("name")->SetAsString(arg);
    }
    q.Open();
    if (q.Eof()) throw Exception(Format("no setting '%s'", arg.c_str()));
    SettingDef d;
    d.id = q.Fields()[0]->AsInteger();
    d.name = q.Fields()[1]->AsString();
    const AnsiString type = q.Fields()[2]->AsString();
    switch (type.empty() ? '\0' : type[0]) {
        case 'I':
            d.type = QuantoraSettingType::Integer;
            break;
        case 'F':
            d.type = QuantoraSettingType::Float;
            break;
        case 'T':
            d.type = QuantoraSettingType::Text;
            break;
        default:
            throw Exception(Format("setting '%s' has an unknown value type", d.name.c_str()));
    }
    return d;
}

const char* TypeName(QuantoraSettingType t) {
    return t == QuantoraSettingType::Integer ? "integer"
           : t == QuantoraSettingType::Float ? "float"
                                             : "text";
}

}  // namespace

int CmdInfo(const Args& args) {
    if (args.size() != 1) throw quantora::MisuseError("usage: qdb info <db>");
    OpenLabDatabase(kAlias, args[0], true);
    const bool pg =
        quantora::db::ConnectionFor(kAlias)->engine() == quantora::db::Engine::PostgreSQL;
    std::printf("Database:       %s\n", args[0].c_str());
    std::printf("Engine:         %s\n", pg ? "PostgreSQL" : "SQLite");
    std::printf("Schema version: %d\n", StoredSchemaVersion(kAlias));
    if (!pg) {
        std::error_code ec;
        const auto size =
            fs::file_size(args[0].rfind("sqlite:", 0) == 0 ? args[0].substr(7) : args[0], ec);
        if (!ec) std::printf("File size:      %.1f KiB\n", size / 1024.0);
    }
    long long total = 0;
    const auto counts = CountRows(kAlias);
    std::printf("\n%-24s %10s\n", "Table", "Rows");
    for (const auto& [table, rows] : counts) {
        std::printf("%-24s %10d\n", table.c_str(), rows);
        total += rows;
    }
    std::printf("%-24s %10lld\n", "(all tables)", total);
    return 0;
}

int CmdExport(const Args& args) {
    if (args.size() != 2) throw quantora::MisuseError("usage: qdb export <db> <file.xml>");
    OpenLabDatabase(kAlias, args[0], true);
    const int tables = ExportedTableCount();
    ProgressBar bar(tables);
    ProgressLogger logger(&bar);
    QuantoraXmlExporter exporter(&logger);
    // The previous export at that path stays until the new one is complete and on disk.
    quantora::FileReplacement out(args[1]);
    try {
        exporter.ExportDatabase(kAlias, out.TempPath().c_str());
        out.Commit();
    } catch (const Exception& e) {
        bar.Finish();
        throw Exception(
            Format("export to '%s' failed (%s): %s", args[1].c_str(),
                   fs::exists(args[1]) ? "the previous file is kept" : "no file written",
                   e.Message.c_str()));
    }
    bar.Finish();
    std::error_code ec;
    const auto size = fs::file_size(args[1], ec);
    std::printf("Exported %d tables to %s (%.1f KiB)\n", tables, args[1].c_str(),
                ec ? 0.0 : size / 1024.0);
    return 0;
}

int CmdImport(const Args& args) {
    Args rest;
    bool replace = false;
    for (const std::string& a : args) {
        if (a == "--replace")
            replace = true;
        else if (a.rfind("--", 0) == 0)
            throw quantora::MisuseError(Format("unknown option '%s'", a.c_str()));
        else
            rest.push_back(a);
    }
    if (rest.size() != 2)
        throw quantora::MisuseError("usage: qdb import <file.xml> <db> [--replace]");
    const std::string& xml = rest[0];
    const std::string& db = rest[1];
    std::error_code ec;
    if (!fs::is_regular_file(xml, ec)) throw Exception(Format("no file '%s'", xml.c_str()));

    // A new database file gets the schema; an existing one must be a lab database.
    std::optional<NewFileGuard> guard;
    if (!IsDatabaseUri(db) && !fs::exists(db, ec)) {
        guard.emplace(db);
        OpenArgDatabase(kAlias, db);
        CreateSchema(kAlias);
    } else {
        OpenLabDatabase(kAlias, db);
    }
    ProgressBar bar(ExportedTableCount());
    ProgressLogger logger(&bar);
    quantora::XmlImportOptions options;
    options.replaceExistingRows = replace;
    const quantora::XmlImportResult r = quantora::ImportXmlDatabase(kAlias, xml, &logger, options);
    bar.Finish();
    if (guard) guard->Keep();
    std::printf("Imported %lld rows in %d tables into %s\n", r.rows, r.tables, db.c_str());
    return 0;
}

int CmdCsv(const Args& args) {
    if (args.size() != 3)
        throw quantora::MisuseError("usage: qdb csv <db> \"<select ...>\" <file.csv>");
    OpenLabDatabase(kAlias, args[0], true);
    const bool postgres =
        quantora::db::ConnectionFor(kAlias)->engine() == quantora::db::Engine::PostgreSQL;
    const AnsiString sql = CheckSingleSelect(args[1], postgres);
    // The query runs read-only, in a transaction that is never committed. PostgreSQL takes the
    // read-only mode for the transactions that follow; SQLite's transaction begins with a write
    // lock and is made read-only once it holds it.
    if (postgres) MakeReadOnly(kAlias, true);
    Transaction tr(kAlias);
    if (!postgres) MakeReadOnly(kAlias, false);
    TQuery q;
    q.SetDatabaseName(kAlias);
    q.SetSQL(sql);
    try {
        q.Open();
    } catch (const Exception& e) {
        throw Exception("the query failed: " + e.Message);
    }
    const std::string& out = args[2];
    // A previous file at that path stays until the new one is complete.
    quantora::FileReplacement file(out);
    SaveDatasetAsCSV(file.TempPath().c_str(), &q);
    std::error_code ec;
    if (fs::file_size(file.TempPath(), ec) == 0 || ec)
        throw Exception(Format("could not write '%s'", out.c_str()));
    file.Commit();
    int rows = 0;
    for (q.First(); !q.Eof(); q.Next()) ++rows;
    std::printf("%d rows, %d columns written to %s\n", rows, q.FieldCount(), out.c_str());
    return 0;
}

int CmdSettings(const Args& args) {
    if (args.size() < 3 || (args[0] != "get" && args[0] != "set"))
        throw Exception(
            "usage: qdb settings get <db> <employee> [<setting>] | "
            "qdb settings set <db> <employee> <setting> <value> [--index <n>]");
    OpenLabDatabase(kAlias, args[1]);
    const int employee = FindEmployee(kAlias, args[2]);
    quantora::MaxKeyGen keys(kAlias, "USERSETTINGS");
    DbUserSettings settings;
    settings.SetBasicData(kAlias, &keys, employee);

    if (args[0] == "get") {
        if (args.size() > 4)
            throw quantora::MisuseError("usage: qdb settings get <db> <employee> [<setting>]");
        settings.RetrieveSettings();
        int wanted = -1;
        if (args.size() == 4) wanted = FindSetting(kAlias, args[3]).id;
        int shown = 0;
        for (const RegSetting& s : settings.Settings) {
            if (wanted > 0 && s.SettingId != wanted) continue;
            std::printf("%d\t%s\t%d\t%s\t%s\n", s.SettingId, s.Name.c_str(), s.Index,
                        TypeName(s.ValueType), quantora::SettingValueText(s.Value).c_str());
            ++shown;
        }
        if (wanted > 0 && shown == 0)
            throw Exception(
                Format("employee %d has no value for setting '%s'", employee, args[3].c_str()));
        return 0;
    }

    if (args.size() != 5 && !(args.size() == 7 && args[5] == "--index"))
        throw quantora::MisuseError(
            "usage: qdb settings set <db> <employee> <setting> <value> [--index <n>]");
    const SettingDef def = FindSetting(kAlias, args[3]);
    const int index = args.size() == 7 ? ParseInt(args[6], "index") : 0;
    if (index < 0) throw Exception("the index must not be negative");
    Variant value;
    switch (def.type) {
        case QuantoraSettingType::Integer:
            value = Variant(ParseInt(args[4], "value"));
            break;
        case QuantoraSettingType::Float:
            value = Variant(ParseFloat(args[4], "value"));
            break;
        case QuantoraSettingType::Text:
            value = Variant(AnsiString(args[4]));
            break;
    }
    Transaction tr(kAlias);
    settings.RetrieveSettings();
    settings.InsertUserValue(def.id, def.type, value, index);
    settings.SaveSettings();
    for (const RegSetting& s : settings.Settings)
        if (s.RowKey < 1) throw Exception(Format("could not save setting '%s'", def.name.c_str()));
    tr.Commit();
    std::printf("%s (%s) of employee %d set to %s\n", def.name.c_str(), TypeName(def.type),
                employee, quantora::SettingValueText(value).c_str());
    return 0;
}

}  // namespace qdbtool
