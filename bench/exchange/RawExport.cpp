// The raw SQLite and stdio baseline of the export.
#include "bench/exchange/RawExport.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/exchange/XmlExporter.h"

using quantora::Format;

namespace quantora::bench {

namespace {

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

}  // namespace

void RawExport(const std::string& dbPath, const std::string& alias, const std::string& outPath) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(dbPath.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> dbCloser(raw, &sqlite3_close);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot open the database");
    sqlite3* db = raw;
    // Declared before the file, so that it outlives the file's closing.
    std::vector<char> buffer(std::size_t{1} << 20);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(outPath.c_str(), "wb"),
                                                         &std::fclose);
    if (!file) throw std::runtime_error("cannot write the baseline file");
    std::FILE* f = file.get();
    std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::fprintf(f,
                 "<?xml version=\"1.0\"?>\r\n<QuantoraDatabases>\r\n<FormatVersion "
                 "Version=\"4.1\" Name=\"Quantora Database Format\" Comment=\"XML-based data "
                 "format for Quantora System\"/>\r\n<Database HostMachine=\"%s\" Name=\"%s\" "
                 "Version=\"4.0\">\r\n",
                 host, alias.c_str());
    static const char hex[] = "0123456789ABCDEF";
    for (const char* const* t = QuantoraXmlExporter::ExportedTables; *t; ++t) {
        sqlite3_stmt* prepared = nullptr;
        if (sqlite3_prepare_v2(db, Format("select * from %s", *t).c_str(), -1, &prepared,
                               nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(prepared,
                                                                        &sqlite3_finalize);
        sqlite3_stmt* st = prepared;
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
        std::fputs("  </TableData>\r\n</Table>\r\n", f);
    }
    std::fputs("</Database>\r\n</QuantoraDatabases>\r\n", f);
    if (std::fclose(file.release()) != 0)
        throw std::runtime_error("cannot write the baseline file");
}

}  // namespace quantora::bench
