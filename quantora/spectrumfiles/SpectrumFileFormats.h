// The spectrum file formats as one table: for each its name, the extension its files carry, how
// its content is recognised, its reader and (for the formats we write) its writer. Detection,
// reading, writing, usage texts and format names all derive from it; a new format is its reader
// (and writer) file, its row in Formats.h and its source in CMakeLists.txt.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "quantora/spectrumfiles/SpectrumFile.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"

namespace quantora {

namespace spectrumfiles {
class ReadContext;
struct FormatProbe;
}  // namespace spectrumfiles

struct SpectrumFileFormat {
    uint8_t id;             // its place in the table
    const char* name;       // what detection names: "SPE", "N42", ...
    const char* extension;  // of its files, lower case: ".spe"; the writer's choice goes by it
    // True when the content is of this format; the formats are tried in the table's order.
    bool (*detect)(const spectrumfiles::FormatProbe& probe);
    // Appends the file's spectra to `out`; bad content fails through `ctx`.
    void (*read)(const spectrumfiles::FormatProbe& probe, const spectrumfiles::ReadContext& ctx,
                 const SpectrumReadOptions& options, SpectrumFile& out);
    // The file text of `spectra`; nullptr for a format we do not write.
    AnsiString (*write)(const std::vector<SpectrumFileData>& spectra);
    bool oneSpectrum;  // the written file holds one spectrum only
};

// Every format, in the order detection tries them (and lists name them).
std::span<const SpectrumFileFormat> SpectrumFileFormats();
// The format of this name, in any case; nullptr for none.
const SpectrumFileFormat* SpectrumFileFormatNamed(std::string_view name);
// The written format whose extension `path` has, in any case; nullptr for none.
const SpectrumFileFormat* WrittenSpectrumFileFormatFor(const AnsiString& path);
// The names of every format ("SPE, N42, ..."), or of the written ones, joined by `separator`.
AnsiString SpectrumFileFormatNames(const char* separator, bool writtenOnly = false);
// The extensions of the written formats (".spe|.n42|.csv" with "|").
AnsiString WrittenSpectrumExtensions(const char* separator);

}  // namespace quantora
