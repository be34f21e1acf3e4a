// Reading speed of the XML reader on a generated database export of about 50 MB, against expat
// parsing the same file; both count elements and attributes. Prints time(ours) / time(expat).
#include <benchmark/benchmark.h>
#include <expat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include "quantora/base/Format.h"
#include "quantora/exchange/XmlReader.h"

using quantora::Format;

namespace {

std::string g_path;
std::uintmax_t g_bytes = 0;

struct Counts {
    long long elements = 0;
    long long attributes = 0;
};

// ---- the export file: header, a table of measurements (many small values, escaped texts,
// nulls) and a table of spectra (4096-channel counts as hex blobs), CR LF line ends.

class ExportWriter {
  public:
    explicit ExportWriter(const std::string& path) : f_(std::fopen(path.c_str(), "wb")) {
        if (!f_) throw std::runtime_error("cannot write " + path);
    }
    ~ExportWriter() { std::fclose(f_); }
    void Line(const std::string& s) {
        std::fwrite(s.data(), 1, s.size(), f_);
        std::fputs("\r\n", f_);
    }
    void Raw(const std::string& s) { std::fwrite(s.data(), 1, s.size(), f_); }
    long Size() { return std::ftell(f_); }

  private:
    std::FILE* f_;
};

std::string Escaped(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '"')
            out += "&quot;";
        else if (c < 32 || c > 126)
            out += Format("&#%d;", c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string HexWithLineFeeds(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2 + bytes.size() / 127 * 2 + 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
        if ((i + 1) % 127 == 0) out += "\r\n";
    }
    return out;
}

void TableHeader(ExportWriter& w, const char* table,
                 const std::vector<std::pair<const char*, const char*>>& fields) {
    w.Line(Format("<Table Name=\"%s\">", table));
    w.Line("  <TableDesc>");
    for (const auto& [name, type] : fields)
        w.Line(Format("    <FieldDesc Name=\"%s\" Type=\"%s\" MaxLen=\"%d\"/>", name, type,
                      std::string(type) == "String" ? 81 : 8));
    w.Line("  </TableDesc>");
    w.Line("  <TableData>");
}

void TableFooter(ExportWriter& w) {
    w.Line("  </TableData>");
    w.Line("</Table>");
}

void WriteExportFile(const std::string& path, long targetBytes) {
    ExportWriter w(path);
    std::mt19937 rng(42);
    w.Line("<?xml version=\"1.0\"?>");
    w.Line("<QuantoraDatabases>");
    w.Line(
        "<FormatVersion Version=\"4.1\" Name=\"Quantora Database Format\" "
        "Comment=\"XML-based data format for Quantora System\"/>");
    w.Line("<Database HostMachine=\"labhost\" Name=\"lab\" Version=\"4.0\">");

    TableHeader(w, "MEASUREMENT",
                {{"MEASUREMENT_ID", "Integer"},
                 {"PROJECT_ID", "Integer"},
                 {"SAMPLE_ID", "Integer"},
                 {"MEASSETUP_ID", "Integer"},
                 {"MEASOBJTYPE_ID", "Integer"},
                 {"NAME", "String"},
                 {"STARTTIME", "DateTime"},
                 {"LIVETIME", "Float"},
                 {"REALTIME", "Float"},
                 {"DISTANCE", "Float"},
                 {"OPERATOR", "String"},
                 {"CMT", "String"},
                 {"TENTATIVE", "String"}});
    const char* operators[] = {"J. M\xFCller", "A. Novak", "K. \"Kay\" Berg", "L. Ort"};
    int id = 0;
    while (w.Size() < targetBytes / 2) {
        ++id;
        const double start = 43000.0 + id * 0.0137;
        const double live = 600.0 + static_cast<double>(rng() % 86400);
        const std::string cmt =
            rng() % 3 == 0 ? std::string()
                           : Format(
                                 "Sample %d, \"batch\" %u; dry mass %.3f g "
                                 "at 21\xB0"
                                 "C",
                                 id, static_cast<unsigned>(rng() % 97), (rng() % 100000) / 1000.0);
        w.Line(
            Format("<Record MEASUREMENT_ID=\"%d\" PROJECT_ID=\"%d\" SAMPLE_ID=\"%s\" "
                   "MEASSETUP_ID=\"%d\" MEASOBJTYPE_ID=\"%d\" NAME=\"%s\" STARTTIME=\"%.15g\" "
                   "LIVETIME=\"%.15g\" REALTIME=\"%.15g\" DISTANCE=\"%.15g\" OPERATOR=\"%s\" "
                   "CMT=\"%s\" TENTATIVE=\"%s\" />",
                   id, 1 + id % 40, id % 5 ? Format("%d", id / 2).c_str() : "", 1 + id % 6,
                   1 + id % 4, Escaped(Format("M%06d-Ge%d", id, id % 3)).c_str(), start, live,
                   live * 1.0123456789, 0.25 * (id % 9), Escaped(operators[id % 4]).c_str(),
                   Escaped(cmt).c_str(), id % 7 ? "N" : "Y"));
    }
    TableFooter(w);

    TableHeader(w, "SPECTRUM",
                {{"SPECTRUM_ID", "Integer"},
                 {"MEASUREMENT_ID", "Integer"},
                 {"CHANNELS", "Integer"},
                 {"COUNTS", "Blob"},
                 {"CMT", "String"}});
    std::string counts(4096 * 4, '\0');
    int spectrum = 0;
    while (w.Size() < targetBytes) {
        ++spectrum;
        for (int ch = 0; ch < 4096; ++ch) {
            // A falling continuum with a few peaks, as four-byte little-endian counts.
            double mean = 2000.0 * std::exp(-ch / 900.0) + 5;
            for (int peak : {662, 1173, 1332, 2614})
                mean += 4000.0 * std::exp(-0.5 * (ch - peak) * (ch - peak) / 4.0);
            const auto c = static_cast<unsigned>(mean + (rng() % 64));
            for (int b = 0; b < 4; ++b) counts[ch * 4 + b] = static_cast<char>(c >> (8 * b));
        }
        w.Raw(Format("<Record SPECTRUM_ID=\"%d\" MEASUREMENT_ID=\"%d\" CHANNELS=\"4096\" COUNTS=\"",
                     spectrum, 1 + spectrum % id));
        w.Raw(HexWithLineFeeds(counts));
        w.Line(Format("\" CMT=\"\" />"));
    }
    TableFooter(w);
    w.Line("</Database>");
    w.Line("</QuantoraDatabases>");
}

// ---- the two readers

Counts ReadWithOurs(const char* path) {
    using namespace XmlExportImport;
    XmlFile file;
    XmlAtom atom;
    Counts c;
    if (!file.Open(path)) throw std::runtime_error(file.ErrorMessage);
    while (file.GetNextAtom(atom)) {
        if (atom.Kind != AtomTag) continue;
        if (atom.Tag.Kind == TagOpening || atom.Tag.Kind == TagEmptyElement) {
            ++c.elements;
            c.attributes += static_cast<long long>(atom.Tag.Attributes.size());
        }
    }
    // End of file always ends the reading; the document is whole when the root was closed.
    if (!file.RootOpened || !file.OpenTags.empty()) throw std::runtime_error(file.ErrorMessage);
    return c;
}

Counts ReadWithExpat(const char* path) {
    Counts c;
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
        XML_ParserCreate(nullptr), &XML_ParserFree);
    XML_SetUserData(parser.get(), &c);
    XML_SetStartElementHandler(parser.get(),
                               [](void* data, const XML_Char*, const XML_Char** attributes) {
                                   auto* counts = static_cast<Counts*>(data);
                                   ++counts->elements;
                                   for (const XML_Char** a = attributes; *a != nullptr; a += 2)
                                       ++counts->attributes;
                               });
    std::unique_ptr<std::FILE, decltype(&std::fclose)> f(std::fopen(path, "rb"), &std::fclose);
    if (!f) throw std::runtime_error("cannot read file");
    for (;;) {
        void* buffer = XML_GetBuffer(parser.get(), 64 * 1024);
        const std::size_t n = std::fread(buffer, 1, 64 * 1024, f.get());
        if (XML_ParseBuffer(parser.get(), static_cast<int>(n), n == 0) == XML_STATUS_ERROR)
            throw std::runtime_error(XML_ErrorString(XML_GetErrorCode(parser.get())));
        if (n == 0) break;
    }
    return c;
}

void BM_QuantoraXmlReader(benchmark::State& state) {
    Counts c;
    for (auto _ : state) benchmark::DoNotOptimize(c = ReadWithOurs(g_path.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_bytes));
    state.counters["elements"] = static_cast<double>(c.elements);
}

void BM_Expat(benchmark::State& state) {
    Counts c;
    for (auto _ : state) benchmark::DoNotOptimize(c = ReadWithExpat(g_path.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_bytes));
    state.counters["elements"] = static_cast<double>(c.elements);
}

BENCHMARK(BM_QuantoraXmlReader)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Expat)->Unit(benchmark::kMillisecond)->UseRealTime();

// Console output plus the mean real time per iteration of each benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration)
                times[r.run_name.function_name] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    g_path = (std::filesystem::temp_directory_path() /
              Format("quantora_bench_export_%d.xml", static_cast<int>(getpid())))
                 .string();
    WriteExportFile(g_path, 50L * 1024 * 1024);
    g_bytes = std::filesystem::file_size(g_path);

    int rc = 0;
    try {
        const Counts ours = ReadWithOurs(g_path.c_str());
        const Counts expat = ReadWithExpat(g_path.c_str());
        std::printf("file %s: %.1f MB, %lld elements, %lld attributes\n", g_path.c_str(),
                    g_bytes / 1048576.0, ours.elements, ours.attributes);
        if (ours.elements != expat.elements || ours.attributes != expat.attributes) {
            std::printf("count mismatch: expat %lld elements, %lld attributes\n", expat.elements,
                        expat.attributes);
            rc = 1;
        } else {
            RatioReporter reporter;
            benchmark::RunSpecifiedBenchmarks(&reporter);
            const auto ourTime = reporter.times.find("BM_QuantoraXmlReader");
            const auto expatTime = reporter.times.find("BM_Expat");
            if (ourTime != reporter.times.end() && expatTime != reporter.times.end())
                std::printf("ratio time(ours) / time(expat): %.2f\n",
                            ourTime->second / expatTime->second);
        }
    } catch (const std::exception& e) {
        std::printf("failed: %s\n", e.what());
        rc = 1;
    }
    std::filesystem::remove(g_path);
    benchmark::Shutdown();
    return rc;
}
