// The XML export: the format's lines, the four value forms and the table loop.
#include "quantora/exchange/XmlExporter.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TDataSet.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/LabTables.h"
#include "quantora/frame/StringLogger.h"
#include "quantora/frame/UiHooks.h"

using quantora::XmlOutputFile;
using quantora::XmlValueForm;

// The format's file order. Each entry is checked against the registry of lab tables, so the list
// cannot name a table the lab schema lacks, nor one twice.
// clang-format off
#define QUANTORA_EXPORTED_TABLES(X) \
    X(EMPLOYEE) \
    X(SOURCE) \
    X(SOURCEISOMER) \
    X(DETECTOR) \
    X(ADC) \
    X(MEASRANGE) \
    X(MEASPOSITION) \
    X(MEASSETUP) \
    X(PROJECT) \
    X(IRRADIATIONLOCATION) \
    X(IRRADIATION) \
    X(LOT) \
    X(SAMPLEGEOM) \
    X(SAMPLE) \
    X(MEASUREMENT) \
    X(SPECTRUM) \
    X(NONLINANALYSIS) \
    X(ECAL) \
    X(FWHMCAL) \
    X(ECALPOINT) \
    X(FWHMCALPOINT)
// clang-format on

#define QUANTORA_EXPORTED_NAME(table) #table,
const char* const QuantoraXmlExporter::ExportedTables[] = {
    QUANTORA_EXPORTED_TABLES(QUANTORA_EXPORTED_NAME) nullptr};
#undef QUANTORA_EXPORTED_NAME

namespace {

#define QUANTORA_EXPORTED_CONSTANT(table) quantora::LabTable::table,
constexpr quantora::LabTable kExported[] = {QUANTORA_EXPORTED_TABLES(QUANTORA_EXPORTED_CONSTANT)};
#undef QUANTORA_EXPORTED_CONSTANT

constexpr bool NoneTwice() {
    for (std::size_t i = 0; i < std::size(kExported); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (kExported[i] == kExported[j]) return false;
    return true;
}
static_assert(NoneTwice(), "a table is exported twice");

}  // namespace

namespace {

// Rows between two calls that let the user interface handle its messages.
constexpr int kRowsPerUiTurn = 1024;
// Bytes of a hex value per line.
constexpr std::size_t kHexBytesPerLine = 127;
// Input bytes escaped per buffer reservation (an escape takes at most 6 bytes).
constexpr std::size_t kEscapeChunk = 4096;
constexpr std::size_t kMaxEscape = 6;

struct HexPairs {
    char pairs[512] = {};
    constexpr HexPairs() {
        const char* digits = "0123456789ABCDEF";
        for (int b = 0; b < 256; ++b) {
            pairs[2 * b] = digits[b >> 4];
            pairs[2 * b + 1] = digits[b & 15];
        }
    }
};
constexpr HexPairs kHex;

// Bytes written as they are in the string form: 32 to 126 except the double quote.
struct PlainBytes {
    bool plain[256] = {};
    constexpr PlainBytes() {
        for (int c = 32; c <= 126; ++c) plain[c] = c != '"';
    }
};
constexpr PlainBytes kPlain;

// Writes the bytes up to the first zero byte, escaped.
void WriteEscaped(XmlOutputFile& out, std::string_view s) {
    if (const void* zero = std::memchr(s.data(), '\0', s.size()))
        s = s.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - s.data()));
    while (!s.empty()) {
        const std::size_t n = std::min(s.size(), kEscapeChunk);
        char* const begin = out.Reserve(n * kMaxEscape);
        char* q = begin;
        for (std::size_t i = 0; i < n; ++i) {
            const auto c = static_cast<unsigned char>(s[i]);
            if (kPlain.plain[c]) {
                *q++ = static_cast<char>(c);
            } else if (c == '"') {
                std::memcpy(q, "&quot;", 6);
                q += 6;
            } else {
                *q++ = '&';
                *q++ = '#';
                q = std::to_chars(q, q + 3, static_cast<unsigned>(c)).ptr;
                *q++ = ';';
            }
        }
        out.Commit(static_cast<std::size_t>(q - begin));
        s.remove_prefix(n);
    }
}

// Writes every byte as two hex digits, with a line feed after every 127th byte.
void WriteHex(XmlOutputFile& out, std::string_view s) {
    constexpr std::size_t kLinesPerReserve = 64;
    constexpr std::size_t kLineBytes = 2 * kHexBytesPerLine + 2;
    std::size_t pos = 0;
    while (pos < s.size()) {
        char* const begin = out.Reserve(kLinesPerReserve * kLineBytes);
        char* q = begin;
        for (std::size_t line = 0; line < kLinesPerReserve && pos < s.size(); ++line) {
            const std::size_t n = std::min(kHexBytesPerLine, s.size() - pos);
            for (std::size_t i = 0; i < n; ++i) {
                const auto b = static_cast<unsigned char>(s[pos + i]);
                q[0] = kHex.pairs[2 * b];
                q[1] = kHex.pairs[2 * b + 1];
                q += 2;
            }
            pos += n;
            if (n == kHexBytesPerLine) {
                q[0] = '\r';
                q[1] = '\n';
                q += 2;
            }
        }
        out.Commit(static_cast<std::size_t>(q - begin));
    }
}

// Clears the exporter's file when a table section ends, also by an exception.
class MemberFileScope {
  public:
    MemberFileScope(XmlOutputFile*& member, XmlOutputFile* file) : member_(member) {
        member_ = file;
    }
    ~MemberFileScope() { member_ = nullptr; }
    MemberFileScope(const MemberFileScope&) = delete;
    MemberFileScope& operator=(const MemberFileScope&) = delete;

  private:
    XmlOutputFile*& member_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// XmlExporter

XmlOutputFile& XmlExporter::Out(XmlOutputFile* fallback) const {
    XmlOutputFile* f = File ? File : fallback;
    if (f == nullptr) throw quantora::MisuseError("XmlExporter: no output file is set");
    return *f;
}

void XmlExporter::ExportHeader(XmlOutputFile* file, const char* hostMachine, const char* dbName,
                               const char* dbVersion) {
    XmlOutputFile& out = file ? *file : Out();
    out.Text("<?xml version=\"1.0\"?>\n<QuantoraDatabases>\n");
    out.Text(
        quantora::Format("<FormatVersion Version=\"%s\" Name=\"Quantora Database Format\" "
                         "Comment=\"XML-based data format for Quantora System\"/>\n",
                         QuantoraXmlExporter::FormatVersion));
    out.Text(quantora::Format("<Database HostMachine=\"%s\" Name=\"%s\" Version=\"%s\">\n",
                              hostMachine ? hostMachine : "", dbName ? dbName : "",
                              dbVersion ? dbVersion : ""));
}

void XmlExporter::ExportFooter(XmlOutputFile* file) {
    (file ? *file : Out()).Text("</Database>\n</QuantoraDatabases>\n");
}

void XmlExporter::ExportTableHeader(const char* tableName, TDataSet* dataSet, XmlOutputFile* file) {
    XmlOutputFile& out = Out(file);
    out.Text(quantora::Format("<Table Name=\"%s\">\n  <TableDesc>\n", tableName ? tableName : ""));
    // The field descriptions go through File, so it must point at this output meanwhile.
    XmlOutputFile* const saved = File;
    File = &out;
    try {
        const TFields& fields = dataSet->Fields();
        for (int i = 0; i < fields.Count(); ++i) {
            out.Write("    ", 4);
            ExportFieldDesc(fields[i]);
        }
    } catch (...) {
        File = saved;
        throw;
    }
    File = saved;
    out.Text("  </TableDesc>\n  <TableData>\n");
}

void XmlExporter::ExportTableFooter(const char*, TDataSet*, XmlOutputFile* file) {
    Out(file).Text("  </TableData>\n</Table>\n");
}

void XmlExporter::ExportFieldDesc(TField* field) {
    Out().Text(quantora::Format("<FieldDesc Name=\"%s\" Type=\"%s\" MaxLen=\"%d\"/>\n",
                                field->FieldName().c_str(), GetFieldTypeName(field->DataType()),
                                field->DataSize()));
}

const char* XmlExporter::GetFieldTypeName(int fieldType) {
    return quantora::XmlFieldTypeName(fieldType);
}

void XmlExporter::AttributeStart(XmlOutputFile& out, const TField& field) {
    out.Write(field.FieldName());
    out.Write("=\"", 2);
}

bool XmlExporter::ExportNull(TField* field) {
    if (!field->IsNull()) return false;
    XmlOutputFile& out = Out();
    AttributeStart(out, *field);
    AttributeEnd(out);
    return true;
}

void XmlExporter::ExportIntegerField(TField* field) {
    if (ExportNull(field)) return;
    const int value = field->AsInteger();
    char buf[16];
    const char* end = std::to_chars(buf, buf + sizeof buf, value).ptr;
    XmlOutputFile& out = Out();
    AttributeStart(out, *field);
    out.Write(buf, static_cast<std::size_t>(end - buf));
    AttributeEnd(out);
}

void XmlExporter::ExportFloatField(TField* field) {
    if (ExportNull(field)) return;
    const double value = field->AsFloat();  // a date as its day number
    // The same text as printf's "%.15g".
    char buf[64];
    const char* end =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15).ptr;
    XmlOutputFile& out = Out();
    AttributeStart(out, *field);
    out.Write(buf, static_cast<std::size_t>(end - buf));
    AttributeEnd(out);
}

void XmlExporter::ExportStringField(TField* field) {
    if (ExportNull(field)) return;
    const AnsiString value = field->AsString();
    XmlOutputFile& out = Out();
    AttributeStart(out, *field);
    WriteEscaped(out, value);
    AttributeEnd(out);
}

void XmlExporter::ExportBlobField(TField* field) {
    if (ExportNull(field)) return;
    const AnsiString value = field->AsString();
    XmlOutputFile& out = Out();
    AttributeStart(out, *field);
    WriteHex(out, value);
    AttributeEnd(out);
}

int XmlExporter::ExportDataSet(const char* tableName, TDataSet* dataSet, XmlOutputFile* file) {
    quantora::ProcessPendingMessages();
    MemberFileScope scope(File, file);
    XmlOutputFile& out = Out();
    ExportTableHeader(tableName, dataSet, file);

    const TFields& fields = dataSet->Fields();
    forms_.clear();
    for (int i = 0; i < fields.Count(); ++i)
        forms_.push_back(quantora::XmlValueFormOf(fields[i]->DataType()));

    int rows = 0;
    while (!dataSet->Eof()) {
        out.Write("<Record ", 8);
        for (int i = 0; i < fields.Count(); ++i) {
            TField* field = fields[i];
            switch (forms_[static_cast<std::size_t>(i)]) {
                case XmlValueForm::Integer:
                    ExportIntegerField(field);
                    break;
                case XmlValueForm::Float:
                    ExportFloatField(field);
                    break;
                case XmlValueForm::String:
                    ExportStringField(field);
                    break;
                case XmlValueForm::Hex:
                    ExportBlobField(field);
                    break;
                case XmlValueForm::None:
                    break;
            }
        }
        out.Write("/>\r\n", 4);
        ++rows;
        // A long table keeps the user interface responsive too, not only its start.
        if (rows % kRowsPerUiTurn == 0) quantora::ProcessPendingMessages();
        dataSet->Next();
    }

    ExportTableFooter(tableName, dataSet, file);
    return rows;
}

// ---------------------------------------------------------------------------------------------
// QuantoraXmlExporter

void QuantoraXmlExporter::ExportDatabase(const char* alias, const char* fileName) {
    XmlOutputFile file;
    if (!file.Open(fileName)) throw Exception("Could not open output file.");

    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    const AnsiString aliasName = alias ? alias : "";
    ExportHeader(&file, host, aliasName.c_str(), DatabaseVersion);

    TQuery query;
    query.SetDatabaseName(aliasName);
    query.SetRequestLive(false);
    query.SetUniDirectional(true);
    for (const char* const* table = ExportedTables; *table != nullptr; ++table) {
        query.Close();
        query.SetSQL(quantora::Format("select * from %s", *table));
        query.Open();
        const int rows = ExportDataSet(*table, &query, &file);
        if (Logger != nullptr)
            Logger->AddMessage(quantora::Format("%d records of table %s exported.", rows, *table),
                               0);
    }
    query.Close();

    ExportFooter(&file);
    file.Close();
}
