// Errors, bounds-checked binary fields and text tokens of the spectrum file readers.
#include "quantora/spectrumfiles/ReadSupport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"

namespace quantora::spectrumfiles {

void ReadContext::Fail(const AnsiString& what) const {
    throw BadFileError(source_ + ": " + format_ + ": " + what, format_);
}

void ReadContext::FailAt(size_t offset, const AnsiString& what) const {
    Fail(Format("byte offset %zu: ", offset) + what);
}

void ReadContext::FailLine(size_t line, const AnsiString& what) const {
    throw BadFileError(source_ + ": " + format_ + ": " + Format("line %zu: ", line) + what, format_,
                       line);
}

void ReadContext::Warn(const AnsiString& what) const {
    if (warnings_) warnings_->push_back(what);
}

void ByteReader::Need(size_t offset, size_t n, const char* what) const {
    if (!Has(offset, n))
        ctx_.FailAt(offset, Format("%s needs %zu bytes, the file ends at byte %zu", what, n,
                                   bytes_.size()));
}

Sv ByteReader::Raw(size_t offset, size_t n) const {
    Need(offset, n, "a field");
    return bytes_.substr(offset, n);
}

uint64_t ByteReader::Le(size_t offset, size_t n) const {
    Sv b = Raw(offset, n);
    uint64_t v = 0;
    for (size_t i = n; i-- > 0;) v = (v << 8) | static_cast<uint8_t>(b[i]);
    return v;
}

float ByteReader::F32(size_t offset) const {
    const uint32_t bits = U32(offset);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

double ByteReader::F64(size_t offset) const {
    const uint64_t bits = U64(offset);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

AnsiString ByteReader::Text(size_t offset, size_t n) const {
    Sv raw = Raw(offset, n);
    size_t end = raw.find('\0');
    AnsiString s(raw.substr(0, end));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
    return AnsiString(Trim(s));
}

Sv Trim(Sv s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

AnsiString Excerpt(Sv text) {
    constexpr size_t kLength = 40;
    return text.size() <= kLength ? AnsiString(text) : AnsiString(text.substr(0, kLength)) + "...";
}

bool ToDouble(Sv token, double& out) {
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    auto r = std::from_chars(token.data(), token.data() + token.size(), out);
    return r.ec == std::errc() && r.ptr == token.data() + token.size() && std::isfinite(out);
}

bool ToCount(Sv token, unsigned long& out) {
    // The common case, plain digits, without going through a double.
    if (!token.empty() && token.size() <= 10) {
        uint64_t v = 0;
        size_t i = 0;
        while (i < token.size() && token[i] >= '0' && token[i] <= '9')
            v = v * 10 + static_cast<uint64_t>(token[i++] - '0');
        if (i == token.size()) {
            if (v > 0xffffffffull) return false;
            out = static_cast<unsigned long>(v);
            return true;
        }
    }
    double v;
    if (!ToDouble(token, v) || v < 0 || v > kMaxCount || v != std::floor(v)) return false;
    out = static_cast<unsigned long>(v);
    return true;
}

bool CountRounding::Read(Sv token, size_t line, unsigned long& out) {
    if (ToCount(token, out)) return true;
    double v;
    if (!ToDouble(token, v) || v < 0 || std::round(v) > kMaxCount) return false;
    out = static_cast<unsigned long>(std::round(v));
    const double change = std::fabs(v - std::round(v));
    ++rounded_;
    if (change > worst_) {
        worst_ = change;
        worstLine_ = line;
        worstToken_ = Excerpt(token);
    }
    return true;
}

void CountRounding::Report() const {
    if (rounded_)
        ctx_.Warn(
            Format("%zu fractional counts rounded to the nearest count; the largest change "
                   "is %.6g ('%s' at line %zu)",
                   rounded_, worst_, worstToken_.c_str(), worstLine_));
}

void LineReader::RequireFinalLineEnd(const ReadContext& ctx) const {
    if (!text_.empty() && text_.back() != '\n')
        ctx.FailLine(static_cast<size_t>(std::count(text_.begin(), text_.end(), '\n')) + 1,
                     "the file ends inside a line (cut short?)");
}

bool LineReader::Next(Sv& line) {
    if (pos_ >= text_.size()) return false;
    size_t nl = text_.find('\n', pos_);
    if (nl == Sv::npos) nl = text_.size();
    line = Trim(text_.substr(pos_, nl - pos_));
    pos_ = nl + 1;
    ++number_;
    return true;
}

}  // namespace quantora::spectrumfiles

namespace quantora::spectrumfiles {

AnsiString ShortestNumber(double v, bool fixed) {
    char buf[400];  // the longest fixed form of a double
    auto r = fixed ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed)
                   : std::to_chars(buf, buf + sizeof buf, v);
    return AnsiString(buf, r.ptr);
}

void CheckEnergyCoeffs(std::vector<double>& coeffs, const ReadContext& ctx) {
    for (double& c : coeffs)
        if (std::isfinite(c) && c != 0 && std::fabs(c) < 1e-100) {
            ctx.Warn(Format("energy calibration coefficient %g read as 0", c));
            c = 0;
        }
    bool usable = coeffs.size() >= 2 && coeffs[1] > 0;
    for (double c : coeffs) usable = usable && std::isfinite(c);
    if (!coeffs.empty() && !usable) {
        AnsiString list;
        for (double c : coeffs) list += (list.empty() ? "" : " ") + ShortestNumber(c);
        ctx.Warn("placeholder energy calibration (" + list + ") left out");
        coeffs.clear();
    }
}

namespace {
bool PowerOfTwo(size_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}
bool CommonChannelCount(size_t n) {
    return PowerOfTwo(n) || (n % 1000 == 0 && PowerOfTwo(n / 1000));
}
}  // namespace

void WarnUncommonLength(const SpectrumFileData& s, const ReadContext& ctx) {
    const size_t n = s.counts.size();
    if (!CommonChannelCount(n) && !CommonChannelCount(static_cast<size_t>(s.firstChannel) + n))
        ctx.Warn(Format("%zu channels, a number no analyser gives: is the file cut short?", n));
}

void WarnLiveOverReal(const SpectrumFileData& s, const ReadContext& ctx) {
    if (s.liveTime > s.realTime && s.realTime >= 0)
        ctx.Warn(Format("live time %g s exceeds real time %g s", s.liveTime, s.realTime));
}

void CheckFwhmCoeffs(std::vector<double>& coeffs) {
    bool any = false, finite = true;
    for (double c : coeffs) {
        any = any || c != 0;
        finite = finite && std::isfinite(c);
    }
    if (!any || !finite) coeffs.clear();
}

}  // namespace quantora::spectrumfiles
