// The table of spectrum file formats and the entry points of each format's file it calls: its
// reader (which appends the spectra it finds to `out` and reports problems through `ctx`), the
// content test where it needs more than a first byte, and its writer (SpectrumFileWriter.h).
#pragma once

#include <cstdint>

#include "quantora/spectrumfiles/ReadSupport.h"
#include "quantora/spectrumfiles/SpectrumFile.h"
#include "quantora/spectrumfiles/SpectrumFileFormats.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"
#include "quantora/spectrumfiles/SpectrumFileWriter.h"

namespace quantora::spectrumfiles {

// A file's content as detection and the readers see it: the bytes, the text (a UTF-16 text as
// single bytes, a UTF-8 byte order mark dropped) and its first non-blank characters, which are
// empty unless the content is text (no NUL in its first 4 KiB).
struct FormatProbe {
    Sv bytes;
    Sv text;
    Sv head;
};

void ReadSpe(Sv text, const ReadContext& ctx, SpectrumFile& out);
void ReadN42(Sv text, const ReadContext& ctx, SpectrumFile& out);
void ReadChn(Sv bytes, const ReadContext& ctx, SpectrumFile& out);
void ReadSpc(Sv bytes, const ReadContext& ctx, SpectrumFile& out);
void ReadCnf(Sv bytes, const ReadContext& ctx, SpectrumFile& out);
void ReadCountList(Sv text, const ReadContext& ctx, AscLayout layout, SpectrumFile& out);
void ReadCsv(Sv text, const ReadContext& ctx, SpectrumFile& out);
// How many lines the content tests of text formats look at.
inline constexpr int kProbeLines = 64;
// True when the first lines that hold anything are each one unsigned integer.
bool IsCountList(Sv text);
// True when one of the first lines is a row of one to three numbers.
bool HasCsvRows(Sv text);

inline bool StartsWith(Sv bytes, Sv magic) {
    return bytes.substr(0, magic.size()) == magic;
}
inline int16_t I16At(Sv b, size_t at) {
    return static_cast<int16_t>(static_cast<uint8_t>(b[at]) |
                                (static_cast<uint8_t>(b[at + 1]) << 8));
}

using Spectra = std::vector<SpectrumFileData>;
using Options = SpectrumReadOptions;

// In the order the formats are tried: the first bytes of CHN, SPC and CNF files never begin a
// text, so their place among the text formats does not matter.
inline constexpr SpectrumFileFormat kFormatTable[] = {
    {0, "SPE", ".spe", [](const FormatProbe& p) { return p.head.starts_with('$'); },
     [](const FormatProbe& p, const ReadContext& c, const Options&, SpectrumFile& out) {
         ReadSpe(p.text, c, out);
     },
     [](const Spectra& s) { return FormatSpe(s.front()); }, true},
    {1, "N42", ".n42", [](const FormatProbe& p) { return p.head.starts_with('<'); },
     [](const FormatProbe& p, const ReadContext& c, const Options&, SpectrumFile& out) {
         ReadN42(p.text, c, out);
     },
     [](const Spectra& s) { return FormatN42(s); }, false},
    {2, "CHN", ".chn", [](const FormatProbe& p) { return StartsWith(p.bytes, "\xFF\xFF"); },
     [](const FormatProbe& p, const ReadContext& c, const Options&, SpectrumFile& out) {
         ReadChn(p.bytes, c, out);
     },
     nullptr, true},
    {3, "SPC", ".spc",
     [](const FormatProbe& p) {
         return p.bytes.size() >= 4 && I16At(p.bytes, 0) == 1 &&
                (I16At(p.bytes, 2) == 1 || I16At(p.bytes, 2) == 5);
     },
     [](const FormatProbe& p, const ReadContext& c, const Options&, SpectrumFile& out) {
         ReadSpc(p.bytes, c, out);
     },
     nullptr, true},
    {4, "CNF", ".cnf", [](const FormatProbe& p) { return StartsWith(p.bytes, Sv("\0\4", 2)); },
     [](const FormatProbe& p, const ReadContext& c, const Options&, SpectrumFile& out) {
         ReadCnf(p.bytes, c, out);
     },
     nullptr, true},
    {5, "ASC", ".asc", [](const FormatProbe& p) { return !p.head.empty() && IsCountList(p.text); },
     [](const FormatProbe& p, const ReadContext& c, const Options& o, SpectrumFile& out) {
         ReadCountList(p.text, c, o.ascLayout, out);
     },
     nullptr, true},
    {6, "CSV", ".csv", [](const FormatProbe& p) { return !p.head.empty() && HasCsvRows(p.text); },
     [](const FormatProbe& p, const ReadContext& c, const Options&, SpectrumFile& out) {
         ReadCsv(p.text, c, out);
     },
     [](const Spectra& s) { return FormatCsv(s.front()); }, true},
};

// A row's id is its place.
consteval bool IdsAreRowNumbers() {
    for (size_t i = 0; i < std::size(kFormatTable); ++i)
        if (kFormatTable[i].id != i) return false;
    return true;
}
static_assert(IdsAreRowNumbers());

}  // namespace quantora::spectrumfiles
