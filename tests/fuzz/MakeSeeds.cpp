// Writes the seed corpora of the fuzz targets: a short export file, compressed streams of a few
// measured spectra, stored vectors and matrices, attribute values and blob chunk chains. Run once
// when the input formats change:  fuzz_make_seeds <shared data dir> tests/fuzz/corpus
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/numeric/NumMatrix.h"
#include "quantora/numeric/NumVector.h"
#include "quantora/spectrum/SpectrumCompressor.h"

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

template <class T>
std::string Raw(T v) {
    std::string s(sizeof v, '\0');
    std::memcpy(s.data(), &v, sizeof v);
    return s;
}

void SpectrumSeeds(const fs::path& data, const fs::path& out) {
    const char* spectra[] = {"nai_detector_csv.txt", "Cs137LowResNoCalib_spe.txt",
                             "digibase_5min_30_1_spe.txt"};
    int n = 0;
    for (const char* name : spectra) {
        std::ifstream in(data / "spectra/counts" / name);
        std::vector<unsigned long> counts;
        for (unsigned long c; in >> c;) counts.push_back(c);
        for (bool fast : {false, true}) {
            SpectrumCompressor codec;
            unsigned short format = 0;
            const AnsiString stream = codec.GetCompressedStream(&counts, &format, fast);
            // The target's header: format (bit 15 set lifts its channel limit), channels, start.
            const std::string seed = Raw<uint16_t>(format) +
                                     Raw<int32_t>(static_cast<int32_t>(counts.size())) +
                                     Raw<uint32_t>(static_cast<uint32_t>(counts[0])) + stream;
            Write(out / "spectrum_decoder" / ("spectrum" + std::to_string(++n)), seed);
        }
    }
    // A flat spectrum, which the codec stores uncoded or nearly so.
    std::vector<unsigned long> flat(100, 0xfffffffful);
    SpectrumCompressor codec;
    unsigned short format = 0;
    const AnsiString stream = codec.GetCompressedStream(&flat, &format);
    Write(out / "spectrum_decoder" / "flat",
          Raw<uint16_t>(format) + Raw<int32_t>(100) + Raw<uint32_t>(0xffffffffu) + stream);
}

void NumericSeeds(const fs::path& out) {
    NumVector<double> v(3);
    v[0] = 1.5;
    v[1] = -0.0;
    v[2] = 1e300;
    AnsiString s;
    v.SaveToString(s);
    Write(out / "num_storage" / "vector3", Raw<int32_t>(3) + Raw<int32_t>(1) + Raw<int32_t>(3) + s);
    NumMatrix<double> m(2, 2);
    m.At(0, 0) = 1;
    m.At(1, 1) = 2.5;
    m.SaveToString(s);
    Write(out / "num_storage" / "matrix2x2",
          Raw<int32_t>(4) + Raw<int32_t>(2) + Raw<int32_t>(2) + s);
    Write(out / "num_storage" / "empty", Raw<int32_t>(5) + Raw<int32_t>(0) + Raw<int32_t>(0));
}

void ValueSeeds(const fs::path& out) {
    const std::pair<const char*, std::string> values[] = {
        {"int", std::string("\x00-9223372036854775808", 21)},
        {"float",
         "\x01"
         "-1.5e-300"},
        {"float_nan", "\x01nan"},
        {"string",
         "\x02"
         "a&quot;b&#9;c&#255;&amp"},
        {"hex",
         "\x03"
         "00FFab\r\n7f"},
    };
    for (const auto& [name, bytes] : values) Write(out / "xml_value_decode" / name, bytes);
}

// Rows as the blob target reads them: chunk size, owner id 2, data type, size limit, then per
// row the owner byte, three typed values (selector 5 = the expected one) and the data.
void BlobSeeds(const fs::path& out) {
    std::string chain = std::string("\x03\x00\x00\x01", 4);
    const char* pieces[] = {"abcd", "efgh", "ij"};
    for (const char* p : pieces) {
        chain += std::string("\x00\x05\x05\x05\x01", 5);
        chain += static_cast<char>(std::strlen(p));
        chain += p;
    }
    Write(out / "blob_chunks" / "chain", chain);
    // A gap in the serials, a text serial and another owner's row.
    std::string hostile = std::string("\x03\x00\x00\x00\x08", 5);
    hostile += std::string("\x00\x05\x05\x05\x01\x04", 6) + "abcd";
    hostile += std::string("\x01\x05\x05\x03\x01x\x01\x04", 8) + "efgh";
    hostile += std::string("\x02\x05\x05\x01\x07\x00\x00\x00\x00\x00\x00\x00\x01\x01", 14) + "z";
    Write(out / "blob_chunks" / "hostile", hostile);
}

void ExportSeed(const fs::path& out) {
    const std::string file =
        (fs::temp_directory_path() / ("quantora_seed_" + std::to_string(getpid()))).string();
    const char* alias = "seed_export";
    OpenDatabase(alias, "sqlite:" + file + ".db");
    CreateSchema(alias);
    const char* rows[] = {
        ("INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME, CREATIONDATE, CMT) VALUES (1, 'A \"B\" & C', "
         "'2024-01-02 03:04:05', 'line1' || char(10) || 'line2')"),
        "INSERT INTO SPECTRUM (SPECTRUM_ID, NAME, LIVETIME, CHANNELS) VALUES (5, 'x', 0.1, 4)",
        "UPDATE SPECTRUM SET COUNTDATA = x'00ff10' WHERE SPECTRUM_ID = 5",
    };
    for (const char* sql : rows) {
        try {
            TQuery q;
            q.SetDatabaseName(alias);
            q.SetSQL(sql);
            q.ExecSQL();
        } catch (const Exception& e) {
            std::cerr << "skipped: " << e.Message << "\n";
        }
    }
    QuantoraXmlExporter().ExportDatabase(alias, (file + ".xml").c_str());
    CloseDatabase(alias);
    // Only the table sections with rows: a short file lets the fuzzer mutate what matters.
    const std::string full = ReadAll(file + ".xml");
    std::string xml;
    for (size_t pos = 0; pos < full.size();) {
        const size_t table = full.find("<Table ", pos);
        if (table == std::string::npos) {
            xml += full.substr(pos);
            break;
        }
        xml += full.substr(pos, table - pos);
        const size_t end = full.find("</Table>", table) + std::strlen("</Table>\r\n");
        const std::string section = full.substr(table, end - table);
        if (section.find("<Record ") != std::string::npos) xml += section;
        pos = end;
    }
    Write(out / "xml_importer" / "export.xml", xml);
    Write(out / "xml_reader" / "export.xml", xml);
    Write(out / "xml_reader" / "small.xml",
          "<?xml version=\"1.0\"?>\r\n<!DOCTYPE x>\r\n<a b=\"1\" c='&quot;&#65;'>t&amp;<e/>"
          "<f>[x]</f></a>\r\n");
    for (const char* suffix : {".db", ".xml"}) std::remove((file + suffix).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: fuzz_make_seeds <shared data dir> <corpus dir>\n";
        return 2;
    }
    try {
        SpectrumSeeds(argv[1], argv[2]);
        NumericSeeds(argv[2]);
        ValueSeeds(argv[2]);
        BlobSeeds(argv[2]);
        ExportSeed(argv[2]);
    } catch (const Exception& e) {
        std::cerr << e.Message << "\n";
        return 1;
    }
    return 0;
}
