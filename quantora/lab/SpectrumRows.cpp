// SPECTRUM and ECAL rows of a read spectrum; the exact polynomial kept with a stored calibration.
#include "quantora/lab/SpectrumRows.h"

#include <algorithm>
#include <array>
#include <sstream>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/spectrumfiles/ReadSupport.h"

namespace quantora {

namespace {

// Points sampled from a file's polynomial. Through the nonlinear part that holds its curvature the
// calibration fits them exactly; a straight line is what they give without it.
constexpr int kCalibrationPoints = 4;
constexpr double kPointEnergyUnc = 0.01;  // keV, a nominal weight for the sampled points
// Exact samples of the curvature (channels) and the nominal uncertainty that weights them: small,
// so that the curve adds nothing noticeable to an energy's uncertainty.
constexpr size_t kCurvatureSamples = 16;
constexpr double kCurvatureUnc = 1e-6;
const char* const kCoeffsPrefix = "energy coefficients:";
const char* const kDetectorPrefix = "detector ";

// Tables of the CRC-32 polynomial for sixteen bytes at a time (four 32-bit counts per step).
constexpr std::array<std::array<uint32_t, 256>, 16> kCrcTables = [] {
    std::array<std::array<uint32_t, 256>, 16> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (size_t k = 1; k < 16; ++k)
        for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}();

// The CRC step of one 32-bit word that `shift` more words follow in the same step.
inline uint32_t CrcWord(uint32_t w, int shift) {
    const auto& t = kCrcTables;
    const int k = 4 * shift;
    return t[k + 3][w & 0xFF] ^ t[k + 2][(w >> 8) & 0xFF] ^ t[k + 1][(w >> 16) & 0xFF] ^
           t[k][w >> 24];
}

// Continues `crc` (not inverted) over counts as 32-bit little-endian words.
uint32_t Crc32Words(uint32_t crc, const unsigned long* counts, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4)
        crc = CrcWord(crc ^ static_cast<uint32_t>(counts[i]), 3) ^
              CrcWord(static_cast<uint32_t>(counts[i + 1]), 2) ^
              CrcWord(static_cast<uint32_t>(counts[i + 2]), 1) ^
              CrcWord(static_cast<uint32_t>(counts[i + 3]), 0);
    for (; i < n; ++i) crc = CrcWord(crc ^ static_cast<uint32_t>(counts[i]), 0);
    return crc;
}

double Polynomial(const std::vector<double>& coeffs, double ch) {
    double e = 0, p = 1;
    for (double c : coeffs) {
        e += c * p;
        p *= ch;
    }
    return e;
}

// The terms of degree 2 and more as the nonlinear part of `cal`, stored as a nonlinearity analysis
// of its own: N(x) = -(c2 x^2 + c3 x^3 ...) / c1, so that c0 + c1 (x - N(x)) is the file's
// polynomial. The curve is fitted to exact samples over the channels, so it is the polynomial to
// rounding. Nothing for a straight line.
void StoreCurvature(const SpectrumFileData& s, ECalibration& cal, const char* dbName,
                    IntKeyGen* nonlinKeys) {
    const std::vector<double>& c = s.energyCoeffs;
    size_t degree = c.size() - 1;
    while (degree > 1 && c[degree] == 0) --degree;
    if (degree < 2) return;
    const double n = static_cast<double>(s.firstChannel + s.counts.size());
    std::vector<double> ch(kCurvatureSamples), dev(kCurvatureSamples),
        unc(kCurvatureSamples, kCurvatureUnc);
    for (size_t i = 0; i < kCurvatureSamples; ++i) {
        ch[i] = n * static_cast<double>(i) / (kCurvatureSamples - 1);
        dev[i] = -(Polynomial(c, ch[i]) - c[0] - c[1] * ch[i]) / c[1];
    }
    cal.NonlinPart().Fit(ch.data(), dev.data(), unc.data(), static_cast<int>(ch.size()),
                         static_cast<int>(degree));
    NONLINANALYSISData a;
    a.CopyFromNonlinECalibr(&cal.NonlinPart());
    a.NAME = "curvature of the " + s.format + " file calibration";
    a.MEASNUM = 1;
    a.TENTATIVE = "N";
    a.CREATIONDATE = cal.CreationDate;
    a.CMT = CoefficientsComment(c);
    a.Insert(nonlinKeys, dbName, ThreadInsertQuery(dbName, "NONLINANALYSIS").get());
    cal.NonlinAnalysisId = a.NONLINANALYSIS_ID;
    cal.UseNonlinPart = true;
}

void StoreCalibration(const SpectrumFileData& s, int spectrumId, const char* dbName,
                      IntKeyGen* ecalKeys, IntKeyGen* pointKeys, IntKeyGen* nonlinKeys) {
    ECalibration cal;
    cal.SpectrumId = spectrumId;
    cal.Name = "from " + s.format + " file";
    cal.CreationDate = cal.LastModifiedDate = LocalNow();
    cal.Comment = CoefficientsComment(s.energyCoeffs);
    StoreCurvature(s, cal, dbName, nonlinKeys);
    const double n = static_cast<double>(s.firstChannel + s.counts.size());
    for (int i = 0; i < kCalibrationPoints; ++i) {
        const double ch = n * (0.05 + 0.9 * i / (kCalibrationPoints - 1));
        cal.LinearPart.Set(i, ch, Polynomial(s.energyCoeffs, ch), 0.0, kPointEnergyUnc, -1,
                           "file calibration", true);
    }
    cal.LinearPart.CalcCoeff();
    StoreECal(&cal, ecalKeys, pointKeys, dbName, ThreadInsertQuery(dbName, "ECAL").get(),
              ThreadInsertQuery(dbName, "ECALPOINT").get());
}

}  // namespace

uint32_t SpectrumCountsCrc32(const std::vector<unsigned long>& counts) {
    return Crc32Words(0xFFFFFFFFu, counts.data(), counts.size()) ^ 0xFFFFFFFFu;
}

std::vector<unsigned long> CountsFromChannelZero(const SpectrumFileData& s) {
    std::vector<unsigned long> out(static_cast<size_t>(std::max(0, s.firstChannel)), 0UL);
    out.insert(out.end(), s.counts.begin(), s.counts.end());
    return out;
}

SPECTRUMData SpectrumRecordFor(const SpectrumFileData& s, int measurementId, bool fast) {
    if (s.counts.empty())
        throw quantora::MisuseError("a spectrum without channels cannot be stored");
    std::vector<unsigned long> counts = CountsFromChannelZero(s);
    SPECTRUMData rec;
    rec.SPECTRUMTYPE_ID = 1;
    rec.MEASUREMENT_ID = measurementId;
    rec.NAME = (s.title.empty() ? s.detector : s.title).substr(0, 100);
    rec.LIVETIME = s.liveTime;
    rec.TRUETIME = s.realTime;
    if (s.startTime > 0) {
        rec.SPECOLLSTARTEDAT = s.startTime;
        if (s.realTime > 0) rec.SPECOLLENDEDAT = s.startTime + s.realTime / 86400.0;
    }
    // One pass over the file's counts; the channels below its first one are zeros.
    uint64_t sum = 0;
    unsigned long mn = s.firstChannel > 0 ? 0 : ~0UL, mx = 0;
    for (unsigned long c : s.counts) {
        sum += c;
        mn = std::min(mn, c);
        mx = std::max(mx, c);
    }
    rec.MINCOUNT = static_cast<double>(mn);
    rec.MAXCOUNT = static_cast<double>(mx);
    rec.SUMCOUNT = static_cast<double>(sum);
    rec.CRC32 = static_cast<int>(SpectrumCountsCrc32(counts));
    rec.SPEFILETYPE = s.format.substr(0, 40);
    rec.CREATIONDATE = LocalNow();
    // The detector on the first line, then the file's remarks, a line each.
    rec.CMT = s.detector.empty() ? AnsiString() : kDetectorPrefix + s.detector;
    for (const AnsiString& r : s.remarks) {
        if (!rec.CMT.empty()) rec.CMT += '\n';
        rec.CMT += r;
    }
    rec.CompressCounts(&counts, fast);
    return rec;
}

SpectrumRowWriter::SpectrumRowWriter(const char* dbName)
    : db_(dbName),
      spectrumKeys_(db_, "SPECTRUM", "SPECTRUM"),
      ecalKeys_(db_, "ECAL", "ECAL"),
      pointKeys_(db_, "ECALPOINT", "ECALPOINT"),
      nonlinKeys_(db_, "NONLINANALYSIS", "NONLINANALYSIS") {}

int SpectrumRowWriter::Store(SPECTRUMData& rec, const SpectrumFileData& s) {
    const char* db = db_.c_str();
    rec.Insert(&spectrumKeys_, db, ThreadInsertQuery(db, "SPECTRUM").get());
    if (HasEnergyCalibration(s))
        StoreCalibration(s, rec.SPECTRUM_ID, db, &ecalKeys_, &pointKeys_, &nonlinKeys_);
    return rec.SPECTRUM_ID;
}

std::vector<double> CalibrationCoefficients(const ECalibration& cal) {
    std::vector<double> coeffs;
    if (cal.ECalId > 0 && cal.Comment.rfind(kCoeffsPrefix, 0) == 0) {
        std::istringstream in(cal.Comment.substr(std::char_traits<char>::length(kCoeffsPrefix)));
        for (double c; in >> c;) coeffs.push_back(c);
        if (coeffs.size() >= 2) return coeffs;
        coeffs.clear();
    }
    if (cal.ECalId > 0 && cal.LinearPart.IsValid()) {
        double a, b;
        cal.LinearPart.GetParams(&a, &b, nullptr, nullptr, nullptr);
        coeffs = {a, b};
    }
    return coeffs;
}

AnsiString StoredDetector(const SPECTRUMData& rec) {
    if (rec.CMT.rfind(kDetectorPrefix, 0) != 0) return {};
    const size_t from = std::char_traits<char>::length(kDetectorPrefix);
    return rec.CMT.substr(from, rec.CMT.find('\n') - from);
}

std::vector<AnsiString> StoredRemarks(const SPECTRUMData& rec) {
    std::vector<AnsiString> lines;
    size_t at = rec.CMT.rfind(kDetectorPrefix, 0) == 0 ? rec.CMT.find('\n') : 0;
    if (at != 0 && at != AnsiString::npos) ++at;
    while (at < rec.CMT.size()) {
        const size_t end = std::min(rec.CMT.find('\n', at), rec.CMT.size());
        lines.push_back(rec.CMT.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

AnsiString CoefficientsComment(const std::vector<double>& coeffs) {
    AnsiString text = kCoeffsPrefix;
    for (double c : coeffs) text += " " + spectrumfiles::ShortestNumber(c);
    return text;
}

}  // namespace quantora
