// Helpers of the exchange tests.
#include "tests/exchange/ExchangeTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <sstream>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/SqlText.h"
#include "quantora/exchange/XmlExporter.h"
#include "tests/support/TestDatabase.h"

namespace quantora::test {
namespace {

// Bytes 0 to 255 in a row-dependent order, zero bytes included.
AnsiString BlobBytes(std::size_t n, int row) {
    AnsiString b(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 37 + static_cast<std::size_t>(row) * 11) % 256);
    return b;
}

}  // namespace

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to,
                     const std::string& after) {
    const std::size_t start = after.empty() ? 0 : text.find(after);
    const std::size_t at = start == std::string::npos ? start : text.find(from, start);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::vector<std::string> SplitCrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(0, line.size() - 1));
    return lines;
}

void FillExportedTables(const AnsiString& alias, int rows, std::size_t bigBlobBytes) {
    const double kFloats[] = {1.0 / 3.0, 0.0, 0.1, -1.5e-300, 6.02214076e23, -2.0 / 7.0};
    for (const char* const* table = QuantoraXmlExporter::ExportedTables; *table; ++table) {
        TQuery q;
        Open(q, alias, Format("SELECT * FROM %s", *table), true);
        const std::vector<AnsiString>& keys = db::ConnectionFor(alias)->PrimaryKey(*table);
        for (int r = 0; r < rows; ++r) {
            q.Insert();
            const bool nulls = r == 1;
            for (int i = 0; i < q.FieldCount(); ++i) {
                TField* f = q.Fields()[i];
                // Key columns hold the row number; in the second row every other column is null.
                bool key = false;
                for (const AnsiString& k : keys) key = key || db::SameName(k, f->FieldName());
                if (nulls && !key) continue;
                const int type = f->DataType();
                const AnsiString name = f->FieldName();
                if (type == ftInteger)
                    f->SetAsInteger(key || r != 3 ? r + 1 + 100 * i : INT_MIN + i);
                else if (type == ftSmallint)
                    f->SetAsInteger(r * 7 - 3);
                else if (type == ftFloat)
                    f->SetAsFloat(kFloats[(r + i) % 6] * (i + 1));
                else if (type == ftDateTime)
                    f->SetAsDateTime(
                        EncodeDateTime({2023, 7, 14 + r % 10, 13, 45, 12, 123456 + 111 * i + r}));
                else if (type == ftString && f->Size() <= 1)
                    f->SetAsString(r % 2 ? "N" : "Y");
                else if (type == ftString)
                    f->SetAsString(
                        Format("Row %d \"quoted\"\tcaf\xC3\xA9 & <tag> 'x' %s", r, name.c_str())
                            .substr(0, static_cast<std::size_t>(f->Size())));
                else if (type == ftMemo)
                    f->SetAsString(
                        Format("Line one of %s\r\nline two \"%d\" \xC3\xA9\n", name.c_str(), r));
                else if (type == ftBlob)
                    f->SetAsString(
                        BlobBytes(r == 0 && bigBlobBytes ? bigBlobBytes : 1 + 127 * r + i, r));
                else
                    ADD_FAILURE() << "unexpected column type in " << *table;
            }
            q.Post();
        }
    }
}

}  // namespace quantora::test
