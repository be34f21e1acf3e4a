// Lookups and lists over the table of spectrum file formats.
#include "quantora/spectrumfiles/SpectrumFileFormats.h"

#include <cctype>
#include <filesystem>

#include "quantora/spectrumfiles/Formats.h"

namespace quantora {

namespace {

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::span<const SpectrumFileFormat> SpectrumFileFormats() {
    return spectrumfiles::kFormatTable;
}

const SpectrumFileFormat* SpectrumFileFormatNamed(std::string_view name) {
    for (const SpectrumFileFormat& f : SpectrumFileFormats())
        if (SameText(f.name, name)) return &f;
    return nullptr;
}

const SpectrumFileFormat* WrittenSpectrumFileFormatFor(const AnsiString& path) {
    const AnsiString ext = std::filesystem::path(path).extension().string();
    for (const SpectrumFileFormat& f : SpectrumFileFormats())
        if (f.write && SameText(f.extension, ext)) return &f;
    return nullptr;
}

AnsiString SpectrumFileFormatNames(const char* separator, bool writtenOnly) {
    AnsiString out;
    for (const SpectrumFileFormat& f : SpectrumFileFormats())
        if (f.write || !writtenOnly) out += (out.empty() ? "" : separator) + AnsiString(f.name);
    return out;
}

AnsiString WrittenSpectrumExtensions(const char* separator) {
    AnsiString out;
    for (const SpectrumFileFormat& f : SpectrumFileFormats())
        if (f.write) out += (out.empty() ? "" : separator) + AnsiString(f.extension);
    return out;
}

}  // namespace quantora
