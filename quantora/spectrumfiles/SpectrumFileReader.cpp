// Recognising a spectrum file's format from its first bytes, and handing it to that reader.
#include "quantora/spectrumfiles/SpectrumFileReader.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/spectrumfiles/Formats.h"

namespace quantora {

using namespace spectrumfiles;

namespace {

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

// The format of the content; nullptr when none fits.
const SpectrumFileFormat* Detect(const FormatProbe& probe) {
    for (const SpectrumFileFormat& f : SpectrumFileFormats())
        if (f.detect(probe)) return &f;
    return nullptr;
}

FormatProbe Probe(Sv bytes, AnsiString& storage) {
    FormatProbe p{bytes, PlainText(bytes, storage), {}};
    if (p.text.substr(0, std::min<size_t>(p.text.size(), 4096)).find('\0') == Sv::npos)
        p.head = Trim(p.text.substr(0, std::min<size_t>(p.text.size(), 256)));
    return p;
}

}  // namespace

bool HasEnergyCalibration(const SpectrumFileData& s) {
    if (s.energyCoeffs.size() < 2) return false;
    for (double c : s.energyCoeffs)
        if (!std::isfinite(c)) return false;
    return s.energyCoeffs[1] > 0;
}

AnsiString DetectSpectrumFormat(std::string_view bytes) {
    AnsiString storage;
    const SpectrumFileFormat* f = Detect(Probe(bytes, storage));
    return f ? f->name : "";
}

SpectrumFile ReadSpectrumBytes(std::string_view bytes, const AnsiString& source,
                               const SpectrumReadOptions& options) {
    SpectrumFile out;
    if (bytes.empty()) throw BadFileError(source + ": empty file");
    if (bytes.size() > kMaxSpectrumFileBytes)
        throw BadFileError(Format("%s: %zu bytes, more than a spectrum file may have",
                                  source.c_str(), bytes.size()));
    AnsiString storage;
    const FormatProbe probe = Probe(bytes, storage);
    const SpectrumFileFormat* format = Detect(probe);
    if (!format)
        throw BadFileError(source + ": not a spectrum file of a known format (" +
                           SpectrumFileFormatNames(", ") + ")");
    out.format = format->name;
    const ReadContext ctx(source, out.format, &out.warnings);
    format->read(probe, ctx, options, out);
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
        throw BadFileError("'" + path + "' is a folder, not a spectrum file");
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        const int error = errno;
        const AnsiString message = "cannot open '" + path + "': " + std::strerror(error);
        if (error == ENOENT || error == ENOTDIR)
            throw NotFoundError(message, NotFoundError::What::File);
        throw BadFileError(message);  // there, but not to be read
    }
    const std::streamoff size = in.tellg();
    if (size < 0) throw BadFileError("cannot read '" + path + "'");
    if (static_cast<uint64_t>(size) > kMaxSpectrumFileBytes)
        throw BadFileError(Format("%s: %lld bytes, more than a spectrum file may have",
                                  path.c_str(), static_cast<long long>(size)));
    AnsiString bytes(static_cast<size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size)) throw BadFileError("cannot read '" + path + "'");
    return ReadSpectrumBytes(bytes, path, options);
}

}  // namespace quantora
