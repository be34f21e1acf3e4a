// Recognising a spectrum file's format from its first bytes, and handing it to that reader.
#include "quantora/spectrumfiles/SpectrumFileReader.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/spectrumfiles/Formats.h"

namespace quantora {

using namespace spectrumfiles;

namespace {

// How many lines the text tests look at.
constexpr int kProbeLines = 64;

int16_t I16At(Sv b, size_t at) {
    return static_cast<int16_t>(static_cast<uint8_t>(b[at]) |
                                (static_cast<uint8_t>(b[at + 1]) << 8));
}

// Text with a UTF-16 byte order mark as single bytes (other characters become '?'); a UTF-8
// byte order mark dropped. Other texts are returned as they are.
Sv PlainText(Sv bytes, AnsiString& storage) {
    if (bytes.size() >= 2 &&
        (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
        const bool little = bytes[0] == '\xFF';
        storage.reserve(bytes.size() / 2);
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const char lo = bytes[i + (little ? 0 : 1)], hi = bytes[i + (little ? 1 : 0)];
            storage += hi == 0 ? lo : '?';
        }
        return storage;
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return bytes;
}

// True when the first lines that hold anything are each one unsigned integer.
bool IsCountList(Sv text) {
    LineReader lines(text);
    int seen = 0;
    unsigned long c;
    for (Sv line; seen < kProbeLines && lines.Next(line);) {
        if (line.empty()) continue;
        if (!ToCount(line, c)) return false;
        ++seen;
    }
    return seen > 0;
}

// True when one of the first lines is a row of one to three numbers.
bool HasNumericRows(Sv text) {
    LineReader lines(text);
    int seen = 0;
    for (Sv line; seen < kProbeLines && lines.Next(line); ++seen) {
        size_t fields = 0;
        bool numeric = !line.empty();
        for (size_t p = 0; p < line.size() && numeric;) {
            size_t q = line.find_first_of(",;\t ", p);
            if (q == Sv::npos) q = line.size();
            double v;
            Sv f = Trim(line.substr(p, q - p));
            if (f.size() >= 2 && f.front() == '"' && f.back() == '"') f = f.substr(1, f.size() - 2);
            if (!f.empty()) {
                AnsiString t(f);
                for (char& ch : t)
                    if (ch == ',') ch = '.';
                numeric = ToDouble(t, v);
                ++fields;
            }
            p = q + 1;
        }
        if (numeric && fields >= 1 && fields <= 3) return true;
    }
    return false;
}

AnsiString DetectText(Sv text) {
    if (text.substr(0, std::min<size_t>(text.size(), 4096)).find('\0') != Sv::npos) return {};
    Sv head = Trim(text.substr(0, std::min<size_t>(text.size(), 256)));
    if (head.empty()) return {};
    if (head.front() == '$') return "SPE";
    if (head.front() == '<') return "N42";
    if (IsCountList(text)) return "ASC";
    if (HasNumericRows(text)) return "CSV";
    return {};
}

}  // namespace

bool HasEnergyCalibration(const SpectrumFileData& s) {
    if (s.energyCoeffs.size() < 2) return false;
    for (double c : s.energyCoeffs)
        if (!std::isfinite(c)) return false;
    return s.energyCoeffs[1] > 0;
}

AnsiString DetectSpectrumFormat(std::string_view bytes) {
    if (bytes.size() >= 2 && bytes.substr(0, 2) == Sv("\xFF\xFF", 2)) return "CHN";
    if (bytes.size() >= 2 && bytes.substr(0, 2) == Sv("\x00\x04", 2)) return "CNF";
    if (bytes.size() >= 4 && I16At(bytes, 0) == 1 && (I16At(bytes, 2) == 1 || I16At(bytes, 2) == 5))
        return "SPC";
    AnsiString storage;
    return DetectText(PlainText(bytes, storage));
}

SpectrumFile ReadSpectrumBytes(std::string_view bytes, const AnsiString& source,
                               const SpectrumReadOptions& options) {
    SpectrumFile out;
    if (bytes.empty()) throw Exception(source + ": empty file");
    if (bytes.size() > kMaxSpectrumFileBytes)
        throw Exception(Format("%s: %zu bytes, more than a spectrum file may have", source.c_str(),
                               bytes.size()));
    out.format = DetectSpectrumFormat(bytes);
    if (out.format.empty())
        throw Exception(source +
                        ": not a spectrum file of a known format (SPE, N42, CHN, SPC, "
                        "CNF, ASC, CSV)");
    const ReadContext ctx(source, out.format, &out.warnings);
    AnsiString storage;
    const Sv text = PlainText(bytes, storage);
    if (out.format == "CHN") ReadChn(bytes, ctx, out);
    if (out.format == "CNF") ReadCnf(bytes, ctx, out);
    if (out.format == "SPC") ReadSpc(bytes, ctx, out);
    if (out.format == "SPE") ReadSpe(text, ctx, out);
    if (out.format == "N42") ReadN42(text, ctx, out);
    if (out.format == "ASC") ReadCountList(text, ctx, options.ascLayout, out);
    if (out.format == "CSV") ReadCsv(text, ctx, out);
    // Every reader refuses what it cannot read; a file without spectra, or a spectrum without
    // channels, slipping through would still be nothing to store.
    if (out.spectra.empty()) ctx.Fail("no spectrum in the file");
    for (SpectrumFileData& s : out.spectra) {
        if (s.counts.empty()) ctx.Fail("a spectrum without channels");
        s.format = out.format;
    }
    return out;
}

SpectrumFile ReadSpectrumFile(const AnsiString& path, const SpectrumReadOptions& options) {
    // A folder opens as a stream on Linux, and tells a nonsense size.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw Exception("'" + path + "' is a folder, not a spectrum file");
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw Exception("cannot open '" + path + "': " + std::strerror(errno));
    const std::streamoff size = in.tellg();
    if (size < 0) throw Exception("cannot read '" + path + "'");
    if (static_cast<uint64_t>(size) > kMaxSpectrumFileBytes)
        throw Exception(Format("%s: %lld bytes, more than a spectrum file may have", path.c_str(),
                               static_cast<long long>(size)));
    AnsiString bytes(static_cast<size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size)) throw Exception("cannot read '" + path + "'");
    return ReadSpectrumBytes(bytes, path, options);
}

}  // namespace quantora
