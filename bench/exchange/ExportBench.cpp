// Whole-database XML export of a lab database of about 100,000 rows (spectra with 1 KiB count
// blobs included) against a baseline that reads the same tables with raw SQLite calls and
// writes the same file with fprintf; both outputs are checked to be identical first. Also the
// import of the exported file into a fresh database, in rows per second.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/common/RatioReporter.h"
#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/exchange/XmlImporter.h"

using quantora::Format;

namespace {

const std::string g_base = Format("/tmp/quantora_exportbench_%d", static_cast<int>(getpid()));
const std::string g_dbPath = g_base + ".db";
const std::string g_oursPath = g_base + "_ours.xml";
const std::string g_basePath = g_base + "_baseline.xml";
const char* const kAlias = "exportbench";
long long g_rows = 0;

// Rows per table; the tables not named stay empty.
struct TableRows {
    const char* table;
    int rows;
};
const TableRows kRows[] = {{"EMPLOYEE", 50},       {"PROJECT", 2000},   {"SAMPLE", 8000},
                           {"MEASUREMENT", 25000}, {"SPECTRUM", 25000}, {"ECAL", 10000},
                           {"ECALPOINT", 30000}};

void RemoveDb(const std::string& path) {
    for (const char* s : {"", "-wal", "-shm", "-journal"}) std::remove((path + s).c_str());
}

// Generic rows: every column filled by its type, dates with microseconds, floats with all
// digits, texts with a quote now and then, 1 KiB of counts per spectrum.
void Fill() {
    RemoveDb(g_dbPath);
    OpenDatabase(kAlias, "sqlite:" + g_dbPath);
    CreateSchema(kAlias);
    Transaction tx(kAlias);
    AnsiString counts(1024, '\0');
    for (const TableRows& t : kRows) {
        TQuery q;
        q.SetDatabaseName(kAlias);
        q.SetRequestLive(true);
        q.SetSQL(Format("SELECT * FROM %s", t.table));
        q.Open();
        for (int r = 1; r <= t.rows; ++r) {
            q.Insert();
            for (int i = 0; i < q.FieldCount(); ++i) {
                TField* f = q.Fields()[i];
                const int v = r * 31 + i;
                switch (f->DataType()) {
                    case ftInteger:
                    case ftSmallint:
                        f->SetAsInteger(i == 0 ? r : v % 30000);
                        break;
                    case ftFloat:
                        f->SetAsFloat(v / 7.0);
                        break;
                    case ftDateTime:
                        f->SetAsDateTime(45000.0 + r / 1000.0 + i / 86400e6);
                        break;
                    case ftString:
                        f->SetAsString(f->Size() <= 1 ? AnsiString("Y")
                                                      : Format(r % 10 ? "%s %d" : "%s \"%d\"",
                                                               f->FieldName().c_str(), r)
                                                            .substr(0, f->Size()));
                        break;
                    case ftMemo:
                        if (r % 3 == 0) f->SetAsString(Format("Comment on row %d of the table", r));
                        break;
                    case ftBlob:
                        if (f->FieldName() == "COUNTDATA") {
                            for (std::size_t k = 0; k < counts.size(); ++k)
                                counts[k] = static_cast<char>((k * 13 + r) & 0xFF);
                            f->SetAsString(counts);
                        }
                        break;
                    default:
                        break;
                }
            }
            q.Post();
            ++g_rows;
        }
    }
    tx.Commit();
}

// ---- the baseline: raw SQLite and stdio

struct RawColumn {
    std::string name, typeName;
    int maxLen = 0;
    char form = 'h';  // i integer, f float, d date, s string, h hex
};

RawColumn Describe(sqlite3_stmt* st, int i) {
    RawColumn c;
    c.name = sqlite3_column_name(st, i);
    const char* decl = sqlite3_column_decltype(st, i);
    const std::string d = decl ? decl : "";
    if (d == "INTEGER") {
        c = {c.name, "Integer", 4, 'i'};
    } else if (d == "SMALLINT") {
        c = {c.name, "Smallint", 2, 'i'};
    } else if (d == "DOUBLE") {
        c = {c.name, "Float", 8, 'f'};
    } else if (d == "TIMESTAMP") {
        c = {c.name, "DateTime", 8, 'd'};
    } else if (d.rfind("VARCHAR(", 0) == 0 || d.rfind("CHAR(", 0) == 0) {
        c = {c.name, "String", std::atoi(d.c_str() + d.find('(') + 1) + 1, 's'};
    } else if (d == "TEXT") {
        c = {c.name, "Memo", 0, 'h'};
    } else {
        c = {c.name, "Blob", 0, 'h'};
    }
    return c;
}

void BaselineExport(const char* path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(g_dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open the database");
    std::FILE* f = std::fopen(path, "wb");
    if (!f) throw std::runtime_error("cannot write the baseline file");
    static char buffer[1 << 20];
    std::setvbuf(f, buffer, _IOFBF, sizeof buffer);
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::fprintf(f,
                 "<?xml version=\"1.0\"?>\r\n<QuantoraDatabases>\r\n<FormatVersion "
                 "Version=\"4.1\" Name=\"Quantora Database Format\" Comment=\"XML-based data "
                 "format for Quantora System\"/>\r\n<Database HostMachine=\"%s\" Name=\"%s\" "
                 "Version=\"4.0\">\r\n",
                 host, kAlias);
    static const char hex[] = "0123456789ABCDEF";
    for (const char* const* t = QuantoraXmlExporter::ExportedTables; *t; ++t) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, Format("select * from %s", *t).c_str(), -1, &st, nullptr);
        const int n = sqlite3_column_count(st);
        std::vector<RawColumn> cols;
        for (int i = 0; i < n; ++i) cols.push_back(Describe(st, i));
        std::fprintf(f, "<Table Name=\"%s\">\r\n  <TableDesc>\r\n", *t);
        for (const RawColumn& c : cols)
            std::fprintf(f, "    <FieldDesc Name=\"%s\" Type=\"%s\" MaxLen=\"%d\"/>\r\n",
                         c.name.c_str(), c.typeName.c_str(), c.maxLen);
        std::fputs("  </TableDesc>\r\n  <TableData>\r\n", f);
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::fputs("<Record ", f);
            for (int i = 0; i < n; ++i) {
                const RawColumn& c = cols[static_cast<std::size_t>(i)];
                if (sqlite3_column_type(st, i) == SQLITE_NULL) {
                    std::fprintf(f, "%s=\"\" ", c.name.c_str());
                    continue;
                }
                switch (c.form) {
                    case 'i':
                        std::fprintf(f, "%s=\"%d\" ", c.name.c_str(), sqlite3_column_int(st, i));
                        break;
                    case 'f':
                        std::fprintf(f, "%s=\"%.15g\" ", c.name.c_str(),
                                     sqlite3_column_double(st, i));
                        break;
                    case 'd': {
                        TDateTime d = 0;
                        const char* text =
                            reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                        quantora::ParseIsoDateTime(text, d);
                        std::fprintf(f, "%s=\"%.15g\" ", c.name.c_str(), d);
                        break;
                    }
                    case 's': {
                        std::fprintf(f, "%s=\"", c.name.c_str());
                        const auto* p = sqlite3_column_text(st, i);
                        for (; *p; ++p) {
                            if (*p == '"')
                                std::fputs("&quot;", f);
                            else if (*p < 32 || *p > 126)
                                std::fprintf(f, "&#%d;", *p);
                            else
                                putc_unlocked(*p, f);
                        }
                        std::fputs("\" ", f);
                        break;
                    }
                    default: {
                        std::fprintf(f, "%s=\"", c.name.c_str());
                        const auto* p =
                            static_cast<const unsigned char*>(sqlite3_column_blob(st, i));
                        const int len = sqlite3_column_bytes(st, i);
                        for (int k = 0; k < len; ++k) {
                            putc_unlocked(hex[p[k] >> 4], f);
                            putc_unlocked(hex[p[k] & 15], f);
                            if ((k + 1) % 127 == 0) std::fputs("\r\n", f);
                        }
                        std::fputs("\" ", f);
                        break;
                    }
                }
            }
            std::fputs("/>\r\n", f);
        }
        sqlite3_finalize(st);
        std::fputs("  </TableData>\r\n</Table>\r\n", f);
    }
    std::fputs("</Database>\r\n</QuantoraDatabases>\r\n", f);
    std::fclose(f);
    sqlite3_close(db);
}

std::string ReadAll(const std::string& path) {
    std::string s;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

void SetBytes(benchmark::State& state, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    std::fseek(f, 0, SEEK_END);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * std::ftell(f));
    std::fclose(f);
}

void BM_Export(benchmark::State& state) {
    for (auto _ : state) QuantoraXmlExporter().ExportDatabase(kAlias, g_oursPath.c_str());
    SetBytes(state, g_oursPath);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * g_rows);
}

void BM_ExportBaseline(benchmark::State& state) {
    for (auto _ : state) BaselineExport(g_basePath.c_str());
    SetBytes(state, g_basePath);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * g_rows);
}

void BM_Import(benchmark::State& state) {
    const std::string target = g_base + "_import.db";
    for (auto _ : state) {
        state.PauseTiming();
        RemoveDb(target);
        OpenDatabase("importbench", "sqlite:" + target);
        CreateSchema("importbench");
        state.ResumeTiming();
        quantora::ImportXmlDatabase("importbench", g_oursPath);
        state.PauseTiming();
        CloseDatabase("importbench");
        state.ResumeTiming();
    }
    RemoveDb(target);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * g_rows);
}

}  // namespace

int main(int argc, char** argv) {
    Fill();
    QuantoraXmlExporter().ExportDatabase(kAlias, g_oursPath.c_str());
    BaselineExport(g_basePath.c_str());
    if (ReadAll(g_oursPath) != ReadAll(g_basePath)) {
        std::fprintf(stderr, "the baseline does not write the same file as the export\n");
        return 1;
    }
    BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->UseRealTime();
    BENCHMARK(BM_ExportBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();
    BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->UseRealTime();
    const int rc = quantora::bench::RunWithRatios(
        argc, argv, {{"export / (raw SQLite + fprintf)", "BM_Export", "BM_ExportBaseline", 1.0}});
    CloseDatabase(kAlias);
    RemoveDb(g_dbPath);
    std::remove(g_oursPath.c_str());
    std::remove(g_basePath.c_str());
    return rc;
}
