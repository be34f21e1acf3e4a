// qdb init, info, tables, export, import, csv and settings: the commands that make, look at, move
// and query the data of a lab database as a whole.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/FileReplacement.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/exchange/XmlImporter.h"
#include "quantora/frame/DbUtils.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/lab/SchemaVersion.h"
#include "quantora/lab/SingleSelect.h"
#include "quantora/lab/TableRowCounts.h"
#include "quantora/services/SettingsLookup.h"
#include "quantora/services/Usersettings.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"
#include "tools/qdb/Progress.h"

namespace qdbtool {
namespace {

namespace fs = std::filesystem;
using quantora::Format;

constexpr const char* kAlias = "qdb";

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

// The size of a file in KiB, or -1 when it cannot be told.
double FileKiB(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? -1 : size / 1024.0;
}

int ExportedTableCount() {
    int n = 0;
    while (QuantoraXmlExporter::ExportedTables[n]) ++n;
    return n;
}

}  // namespace

int CmdInit(const Args& args) {
    if (args.size() != 1) throw quantora::MisuseError("usage: qdb init <db>");
    OpenArgDatabase(kAlias, args[0]);
    CreateSchema(kAlias);
    std::printf("Schema version %d ready in %s\n", quantora::db::kSchemaVersion, args[0].c_str());
    return 0;
}

int CmdTables(const Args& args) {
    if (args.size() != 1) throw quantora::MisuseError("usage: qdb tables <db>");
    OpenLabDatabase(kAlias, args[0], true);
    for (const auto& [table, rows] : quantora::LabTableRowCounts(kAlias))
        std::printf("%-24s %8lld\n", table.c_str(), rows);
    return 0;
}

int CmdInfo(const Args& args) {
    if (args.size() != 1) throw UsageError();
    OpenLabDatabase(kAlias, args[0], true);
    const auto conn = quantora::db::ConnectionFor(kAlias);
    std::printf(
        "Database:       %s\n"
        "Engine:         %s\n"
        "Schema version: %d\n",
        args[0].c_str(), conn->EngineName(), quantora::StoredSchemaVersion(kAlias));
    if (const double kib = FileKiB(conn->DatabaseFile()); kib >= 0)
        std::printf("File size:      %.1f KiB\n", kib);
    long long total = 0;
    std::printf("\n%-24s %10s\n", "Table", "Rows");
    for (const auto& [table, rows] : quantora::LabTableRowCounts(kAlias)) {
        std::printf("%-24s %10lld\n", table.c_str(), rows);
        total += rows;
    }
    std::printf("%-24s %10lld\n", "(all tables)", total);
    return 0;
}

int CmdExport(const Args& args) {
    if (args.size() != 2) throw UsageError();
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
    std::printf("Exported %d tables to %s (%.1f KiB)\n", tables, args[1].c_str(),
                std::max(0.0, FileKiB(args[1])));
    return 0;
}

int CmdImport(const Args& args) {
    Args rest = args;
    const bool replace = TakeFlag(rest, "--replace");
    for (const std::string& a : rest)
        if (a.rfind("--", 0) == 0)
            throw quantora::MisuseError(Format("unknown option '%s'", a.c_str()));
    if (rest.size() != 2) throw UsageError();
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
    if (args.size() != 3) throw UsageError();
    OpenLabDatabase(kAlias, args[0], true);
    quantora::ReadOnlySelect select(kAlias, args[1]);
    TQuery& q = select.Query();
    const std::string& out = args[2];
    // A previous file at that path stays until the new one is complete.
    quantora::FileReplacement file(out);
    SaveDatasetAsCSV(file.TempPath().c_str(), &q);
    if (FileKiB(file.TempPath()) <= 0) throw Exception(Format("could not write '%s'", out.c_str()));
    file.Commit();
    int rows = 0;
    for (q.First(); !q.Eof(); q.Next()) ++rows;
    std::printf("%d rows, %d columns written to %s\n", rows, q.FieldCount(), out.c_str());
    return 0;
}

int CmdSettings(const Args& in) {
    Args args = in;
    const std::string indexText = TakeOption(args, "--index");
    const bool get = !args.empty() && args[0] == "get";
    if (get ? args.size() < 3 || args.size() > 4 || !indexText.empty()
            : args.size() != 5 || args[0] != "set")
        throw UsageError();
    OpenLabDatabase(kAlias, args[1]);
    const int employee = quantora::FindEmployee(kAlias, args[2]);
    quantora::MaxKeyGen keys(kAlias, "USERSETTINGS");
    DbUserSettings settings;
    settings.SetBasicData(kAlias, &keys, employee);

    if (get) {
        settings.RetrieveSettings();
        int wanted = -1;
        if (args.size() == 4) wanted = quantora::FindSetting(kAlias, args[3]).id;
        int shown = 0;
        for (const RegSetting& s : settings.Settings) {
            if (wanted > 0 && s.SettingId != wanted) continue;
            std::printf("%d\t%s\t%d\t%s\t%s\n", s.SettingId, s.Name.c_str(), s.Index,
                        quantora::SettingTypeName(s.ValueType),
                        quantora::SettingValueText(s.Value).c_str());
            ++shown;
        }
        if (wanted > 0 && shown == 0)
            throw Exception(
                Format("employee %d has no value for setting '%s'", employee, args[3].c_str()));
        return 0;
    }

    const quantora::SettingDefinition def = quantora::FindSetting(kAlias, args[3]);
    using quantora::SettingValueOfText;
    const Variant index =
        indexText.empty() ? Variant(0)
                          : SettingValueOfText(QuantoraSettingType::Integer, indexText, "index");
    if (index.int_value() < 0) throw Exception("the index must not be negative");
    const Variant value = SettingValueOfText(def.type, args[4], "value");
    Transaction tr(kAlias);
    settings.RetrieveSettings();
    settings.InsertUserValue(def.id, def.type, value, static_cast<int>(index.int_value()));
    settings.SaveSettings();
    for (const RegSetting& s : settings.Settings)
        if (s.RowKey < 1) throw Exception(Format("could not save setting '%s'", def.name.c_str()));
    tr.Commit();
    std::printf("%s (%s) of employee %d set to %s\n", def.name.c_str(),
                quantora::SettingTypeName(def.type), employee,
                quantora::SettingValueText(value).c_str());
    return 0;
}

}  // namespace qdbtool
