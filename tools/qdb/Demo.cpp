// qdb demo: the demo lab built in a fresh database (or an empty one named by URI), its summary
// and pictures.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/lab/TableRowCounts.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/DemoLab.h"
#include "tools/qdb/LabSupport.h"

namespace qdbtool {
namespace {

namespace fs = std::filesystem;
constexpr const char* kAlias = "qdb";

// An empty file, or a database whose project 1 is the demo's root project: qdb demo never
// deletes a lab's own database, nor a file that is not a database at all.
bool MayReplace(const std::string& path) {
    std::error_code ec;
    if (fs::file_size(path, ec) == 0 && !ec) return true;
    constexpr const char* kProbe = "qdb_demo_probe";
    try {
        OpenDatabase(kProbe, DatabaseUri(path));
        const bool demo = quantora::ProjectName(kProbe, 1) == demo::kRootProject;
        CloseDatabase(kProbe);
        return demo;
    } catch (const Exception&) {
        if (IsDatabaseOpen(kProbe)) CloseDatabase(kProbe);
        return false;
    }
}

}  // namespace

int CmdDemo(const Args& args) {
    if (args.size() > 1) throw quantora::MisuseError("usage: qdb demo [<db>]");
    const auto start = std::chrono::steady_clock::now();
    const std::string db = args.empty() ? "demo.db" : args[0];
    const bool uri = IsDatabaseUri(db);
    std::string xml = "demo.xml";
    if (!uri) {
        // A fresh demo every time: an earlier demo and its journal go.
        std::error_code ec;
        if (fs::exists(db, ec) && !fs::is_regular_file(db, ec))
            throw Exception(quantora::Format("'%s' is not a file", db.c_str()));
        if (fs::exists(db, ec) && !MayReplace(db))
            throw Exception(quantora::Format(
                "'%s' exists and is not a demo database; qdb demo replaces only its own",
                db.c_str()));
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(db + suffix, ec);
        xml = fs::path(db).replace_extension(".xml").string();
    }
    OpenArgDatabase(kAlias, db);
    CreateSchema(kAlias);
    if (uri && quantora::LabTableRowCount(kAlias, "PROJECT") > 0)
        throw Exception("the database already holds projects: the demo needs an empty one");

    ProgressBar bar(demo::kBuildSteps);
    demo::DemoLab lab(bar);
    {
        Transaction tr(kAlias);
        lab.Build();
        tr.Commit();
    }
    bar.Finish();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    lab.PrintSummary(db, xml, seconds);
    WriteDemoPictures(kAlias, db);
    return 0;
}

}  // namespace qdbtool
