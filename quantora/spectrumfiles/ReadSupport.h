// What the spectrum file readers share: errors that name the file, the format and the byte
// offset or line; bounds-checked little-endian reads; text tokens and numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/spectrumfiles/SpectrumFile.h"

namespace quantora::spectrumfiles {

using Sv = std::string_view;

// More channels than any analyser gives (its counts would not fit a sane file either).
constexpr size_t kMaxChannels = size_t{1} << 20;
// Largest count a channel holds (32 bits).
constexpr double kMaxCount = 4294967295.0;

// The file being read: its name for messages, the format, and where warnings go.
class ReadContext {
  public:
    ReadContext(AnsiString source, AnsiString format, std::vector<AnsiString>* warnings)
        : source_(std::move(source)), format_(std::move(format)), warnings_(warnings) {}

    [[noreturn]] void Fail(const AnsiString& what) const;
    [[noreturn]] void FailAt(size_t offset, const AnsiString& what) const;  // byte offset
    [[noreturn]] void FailLine(size_t line, const AnsiString& what) const;  // 1-based line
    void Warn(const AnsiString& what) const;
    const AnsiString& FormatName() const { return format_; }

  private:
    AnsiString source_;
    AnsiString format_;
    std::vector<AnsiString>* warnings_;
};

// Little-endian fields of a binary file; a read past the end fails naming the field's offset.
class ByteReader {
  public:
    ByteReader(Sv bytes, const ReadContext& ctx) : bytes_(bytes), ctx_(ctx) {}
    size_t Size() const { return bytes_.size(); }
    bool Has(size_t offset, size_t n) const {
        return offset <= bytes_.size() && n <= bytes_.size() - offset;
    }
    // Fails unless [offset, offset + n) lies in the file.
    void Need(size_t offset, size_t n, const char* what) const;
    uint8_t U8(size_t offset) const { return static_cast<uint8_t>(Raw(offset, 1)[0]); }
    uint16_t U16(size_t offset) const { return static_cast<uint16_t>(Le(offset, 2)); }
    int16_t I16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
    uint32_t U32(size_t offset) const { return static_cast<uint32_t>(Le(offset, 4)); }
    uint64_t U64(size_t offset) const { return Le(offset, 8); }
    float F32(size_t offset) const;
    double F64(size_t offset) const;
    // n bytes of fixed-width text, blanks and NULs trimmed, other control bytes replaced by '?'.
    AnsiString Text(size_t offset, size_t n) const;
    Sv Raw(size_t offset, size_t n) const;
    const ReadContext& Context() const { return ctx_; }

  private:
    uint64_t Le(size_t offset, size_t n) const;
    Sv bytes_;
    const ReadContext& ctx_;
};

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
Sv Trim(Sv s);
// A piece of file text to quote in a message: at most 40 bytes, ending in "..." when cut, so that
// a token of megabytes gives a message of one short line.
AnsiString Excerpt(Sv text);
// Splits blank-separated tokens, calling f(token) for each until f returns false.
template <class F>
void ForEachToken(Sv s, F&& f) {
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsBlank(s[i])) ++i;
        size_t j = i;
        while (j < s.size() && !IsBlank(s[j])) ++j;
        if (j > i && !f(s.substr(i, j - i))) return;
        i = j;
    }
}
// How many blank-separated tokens `s` holds: the size to reserve before reading them.
inline size_t CountTokens(Sv s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++i) n += !IsBlank(s[i]) && (i == 0 || IsBlank(s[i - 1]));
    return n;
}
// A finite number (a leading '+' allowed); false for anything else.
bool ToDouble(Sv token, double& out);
// A channel count: a whole number from 0 to 2^32-1, written "12" or "12.000".
bool ToCount(Sv token, unsigned long& out);

// Counts of a text format, where some instruments write fractional (dead-time corrected) values:
// each is rounded to the nearest whole count, and one warning at the end tells how many were
// rounded and the largest change with the line that holds it.
class CountRounding {
  public:
    explicit CountRounding(const ReadContext& ctx) : ctx_(ctx) {}
    // The count `token` on `line` gives; false for a value that is negative, not finite, not a
    // number or beyond 2^32-1 after rounding.
    bool Read(Sv token, size_t line, unsigned long& out);
    // Warns once when a count was rounded.
    void Report() const;

  private:
    const ReadContext& ctx_;
    size_t rounded_ = 0, worstLine_ = 0;
    double worst_ = 0;
    AnsiString worstToken_;
};

// Lines of a text with their 1-based numbers; LF or CR LF ends, trailing blanks trimmed.
class LineReader {
  public:
    explicit LineReader(Sv text) : text_(text) {}
    bool Next(Sv& line);
    size_t Number() const { return number_; }
    size_t Offset() const { return pos_; }  // where the next line starts
    // Fails naming the last line when the text does not end with a line end (a cut file).
    void RequireFinalLineEnd(const ReadContext& ctx) const;

  private:
    Sv text_;
    size_t pos_ = 0, number_ = 0;
};

}  // namespace quantora::spectrumfiles

namespace quantora::spectrumfiles {

// The shortest text that reads back as the same double; `fixed` without an exponent (as XML
// durations need).
AnsiString ShortestNumber(double v, bool fixed = false);

// Validates energy calibration coefficients read from a file: garbage values below 1e-100 become
// 0, and a calibration without a positive finite gain is dropped; each repair is a warning.
void CheckEnergyCoeffs(std::vector<double>& coeffs, const ReadContext& ctx);
// Warns when a spectrum that does not state its length has one no analyser gives (not a power
// of two, nor 1000, 2000, 4000, ... channels counted from 0 or from its first channel): the file
// may have been cut at a line end.
void WarnUncommonLength(const SpectrumFileData& s, const ReadContext& ctx);
// Warns when both times are known and the live time exceeds the real time.
void WarnLiveOverReal(const SpectrumFileData& s, const ReadContext& ctx);
// Drops FWHM coefficients that are all zero or not all finite (files write zeros for "none").
void CheckFwhmCoeffs(std::vector<double>& coeffs);

}  // namespace quantora::spectrumfiles
