// qdb init, qdb tables and qdb demo: create the schema, count rows, and fill a small demo lab.
#include <cstdio>
#include <filesystem>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/QueryGuards.h"
#include "tools/qdb/Commands.h"

namespace qdbtool {
namespace {

constexpr const char* kAlias = "qdb";

void PrintRowCounts(const char* alias) {
    TQuery q;
    q.SetDatabaseName(alias);
    for (const AnsiString& table : SchemaTables()) {
        q.SetSQL(quantora::Format("SELECT COUNT(*) FROM %s", table.c_str()));
        q.Open();
        std::printf("%-24s %8d\n", table.c_str(), q.Fields()[0]->AsInteger());
        q.Close();
    }
}

// Inserts one row through a live query: the columns given by name, the rest left null.
class RowWriter {
  public:
    RowWriter(const char* alias, const char* table) : guard_(nullptr, alias, table) {
        guard_->Open();
    }
    RowWriter& Begin() {
        guard_->Insert();
        return *this;
    }
    RowWriter& Set(const char* column, const Variant& value) {
        guard_->FieldByName(column)->SetAsVariant(value);
        return *this;
    }
    void Post() { guard_->Post(); }

  private:
    AutoQuery guard_;
};

}  // namespace

int CmdInit(const Args& args) {
    if (args.size() != 1) throw Exception("usage: qdb init <db>");
    OpenArgDatabase(kAlias, args[0]);
    CreateSchema(kAlias);
    std::printf("Schema version %d ready in %s\n", quantora::db::kSchemaVersion, args[0].c_str());
    return 0;
}

int CmdTables(const Args& args) {
    if (args.size() != 1) throw Exception("usage: qdb tables <db>");
    OpenArgDatabase(kAlias, args[0]);
    PrintRowCounts(kAlias);
    return 0;
}

int CmdDemo(const Args& args) {
    if (args.size() > 1) throw Exception("usage: qdb demo [<db>]");
    std::string db = args.empty() ? "demo.db" : args[0];
    bool is_file = db.find("://") == std::string::npos && db.rfind("postgresql:", 0) != 0;
    if (is_file) {
        // A fresh demo every time: the old file and its journal go.
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(db + suffix);
    }
    OpenArgDatabase(kAlias, db);
    CreateSchema(kAlias);

    const TDateTime now = quantora::EncodeDateTime({2026, 12, 1, 9, 30, 0, 0});
    Transaction tr(kAlias);
    {
        RowWriter emp(kAlias, "EMPLOYEE");
        emp.Begin()
            .Set("EMPLOYEE_ID", 1)
            .Set("NAME", "Lab Manager")
            .Set("CREATIONDATE", Variant::FromDate(now))
            .Post();
        emp.Begin()
            .Set("EMPLOYEE_ID", 2)
            .Set("NAME", "Technician")
            .Set("CREATIONDATE", Variant::FromDate(now))
            .Post();
    }
    {
        RowWriter proj(kAlias, "PROJECT");
        proj.Begin()
            .Set("PROJECT_ID", 1)
            .Set("NAME", "Environmental monitoring")
            .Set("EMPLOYEE_ID", 1)
            .Post();
        proj.Begin()
            .Set("PROJECT_ID", 2)
            .Set("SUPERPROJECT_ID", 1)
            .Set("NAME", "Soil 2026")
            .Set("EMPLOYEE_ID", 1)
            .Post();
        proj.Begin()
            .Set("PROJECT_ID", 3)
            .Set("SUPERPROJECT_ID", 2)
            .Set("NAME", "Site A")
            .Set("EMPLOYEE_ID", 2)
            .Post();
    }
    {
        RowWriter det(kAlias, "DETECTOR");
        det.Begin()
            .Set("DETECTOR_ID", 1)
            .Set("NAME", "HPGe coaxial 40%")
            .Set("VOLUME", 180.0)
            .Post();
    }
    {
        RowWriter src(kAlias, "SOURCE");
        src.Begin()
            .Set("SOURCE_ID", 1)
            .Set("NAME", "Eu-152 point source")
            .Set("OWNER", "Lab")
            .Post();
    }
    {
        RowWriter meas(kAlias, "MEASUREMENT");
        RowWriter spectra(kAlias, "SPECTRUM");
        for (int i = 1; i <= 3; ++i) {
            meas.Begin()
                .Set("MEASUREMENT_ID", i)
                .Set("PROJECT_ID", 3)
                .Set("NAME", quantora::Format("Soil sample %d", i))
                .Set("MEASOBJTYPE_ID", 1)
                .Set("STARTDATE", Variant::FromDate(now + i))
                .Set("ENDDATE", Variant::FromDate(now + i + 0.5))
                .Post();
            spectra.Begin()
                .Set("SPECTRUM_ID", i)
                .Set("MEASUREMENT_ID", i)
                .Set("NAME", quantora::Format("Spectrum %d", i))
                .Set("LIVETIME", 43000.0)
                .Set("TRUETIME", 43200.0)
                .Set("CHANNELS", 0)
                .Post();
        }
    }
    tr.Commit();

    std::printf("Demo lab database: %s\n\n", db.c_str());
    PrintRowCounts(kAlias);
    return 0;
}

}  // namespace qdbtool
