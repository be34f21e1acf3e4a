// qdb spectrum import / export: measured spectrum files into a measurement and back to SPE.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/records/Meastables.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"
#include "tools/qdb/SpectrumFiles.h"

namespace qdbtool {

using quantora::Format;

namespace {

const char* const kAlias = "qdb_spectrum";

// Calibration points sampled from a file's polynomial over the spectrum: a straight line fitted
// to them is what the calibration storage keeps.
constexpr int kCalibrationPoints = 8;
constexpr double kPointEnergyUnc = 0.01;  // keV, a nominal weight for the sampled points

void StoreFileCalibration(const quantora::SpectrumFileData& s, int spectrumId) {
    ECalibration cal;
    cal.SpectrumId = spectrumId;
    cal.Name = "from " + s.format + " file";
    cal.CreationDate = cal.LastModifiedDate = quantora::LocalNow();
    const double n = static_cast<double>(s.counts.size());
    for (int i = 0; i < kCalibrationPoints; ++i) {
        const double ch = n * (0.05 + 0.9 * i / (kCalibrationPoints - 1));
        double e = 0, p = 1;
        for (double c : s.energyCoeffs) {
            e += c * p;
            p *= ch;
        }
        cal.LinearPart.Set(i, ch, e, 0.0, kPointEnergyUnc, -1, "file calibration", true);
    }
    cal.LinearPart.CalcCoeff();
    quantora::MaxKeyGen ecalKeys(kAlias, "ECAL"), pointKeys(kAlias, "ECALPOINT");
    StoreECal(&cal, &ecalKeys, &pointKeys, kAlias, nullptr, nullptr);
}

int Import(Args args) {
    const std::string meas = TakeOption(args, "--measurement");
    const std::string detector = TakeOption(args, "--detector");
    if (args.size() != 2 || meas.empty())
        throw Exception(
            "usage: qdb spectrum import <db> <file> --measurement <id> [--detector <name>]");
    const int measId = ParseKey(meas, "measurement id");
    // The file first: a bad file changes nothing.
    quantora::SpectrumFileData s = quantora::ReadSpectrumFile(args[1], detector);
    OpenLabDatabase(kAlias, args[0]);
    {
        TQuery q;
        q.SetDatabaseName(kAlias);
        q.SetSQL("SELECT COUNT(*) FROM MEASUREMENT WHERE MEASUREMENT_ID = :id");
        q.ParamByName("id")->SetAsInteger(measId);
        q.Open();
        if (q.Fields()[0]->AsInteger() == 0)
            throw Exception(Format("no measurement with MEASUREMENT_ID = %d", measId));
    }
    SPECTRUMData rec;
    rec.SPECTRUMTYPE_ID = 1;
    rec.MEASUREMENT_ID = measId;
    rec.NAME = s.name.substr(0, 100);
    rec.LIVETIME = s.liveTime;
    rec.TRUETIME = s.realTime;
    if (s.startTime > 0) {
        rec.SPECOLLSTARTEDAT = s.startTime;
        if (s.realTime > 0) rec.SPECOLLENDEDAT = s.startTime + s.realTime / 86400.0;
    }
    double sum = 0;
    for (unsigned long c : s.counts) sum += static_cast<double>(c);
    const auto [mn, mx] = std::minmax_element(s.counts.begin(), s.counts.end());
    rec.MINCOUNT = static_cast<double>(*mn);
    rec.MAXCOUNT = static_cast<double>(*mx);
    rec.SUMCOUNT = sum;
    rec.SPEFILETYPE = s.format;
    rec.CREATIONDATE = quantora::LocalNow();
    rec.CMT = s.detector.empty() ? AnsiString() : "detector " + s.detector;
    rec.CompressCounts(&s.counts, false);

    Transaction tr(kAlias);
    quantora::MaxKeyGen keys(kAlias, "SPECTRUM");
    rec.Insert(&keys, kAlias, nullptr);
    const bool calibrated = quantora::HasEnergyCalibration(s);
    if (calibrated) StoreFileCalibration(s, rec.SPECTRUM_ID);
    tr.Commit();

    std::printf("imported spectrum %d into measurement %d\n", rec.SPECTRUM_ID, measId);
    std::printf("  format: %s%s%s\n", s.format.c_str(), s.detector.empty() ? "" : ", detector ",
                s.detector.c_str());
    std::printf("  channels: %zu, total counts: %.0f\n", s.counts.size(), sum);
    std::printf("  live time: %.3f s, real time: %.3f s\n", s.liveTime, s.realTime);
    if (calibrated) {
        std::printf("  energy calibration:");
        for (double c : s.energyCoeffs) std::printf(" %.8g", c);
        std::printf("\n");
    } else {
        std::printf("  energy calibration: none in the file\n");
    }
    return 0;
}

int Export(Args args) {
    if (args.size() != 3)
        throw Exception("usage: qdb spectrum export <db> <spectrum id> <file.spe>");
    const int id = ParseKey(args[1], "spectrum id");
    OpenLabDatabase(kAlias, args[0]);
    TQuery q;
    q.SetDatabaseName(kAlias);
    q.SetSQL(
        "SELECT S.*, M.MEASSETUP_ID AS QDB_SETUP, M.STARTDATE AS QDB_START FROM SPECTRUM S "
        "LEFT JOIN MEASUREMENT M ON M.MEASUREMENT_ID = S.MEASUREMENT_ID "
        "WHERE S.SPECTRUM_ID = :id");
    q.ParamByName("id")->SetAsInteger(id);
    q.Open();
    SPECTRUMData rec;
    if (!rec.GetData(&q)) throw Exception(Format("no spectrum with SPECTRUM_ID = %d", id));
    const int setup =
        q.FieldByName("QDB_SETUP")->IsNull() ? -1 : q.FieldByName("QDB_SETUP")->AsInteger();
    const TDateTime start =
        q.FieldByName("QDB_START")->IsNull() ? 0.0 : q.FieldByName("QDB_START")->AsDateTime();
    q.Close();

    quantora::SpectrumFileData s;
    rec.UncompressCounts(&s.counts);
    s.name = rec.NAME;
    s.liveTime = rec.LIVETIME;
    s.realTime = rec.TRUETIME;
    s.startTime = rec.SPECOLLSTARTEDAT > 0 ? rec.SPECOLLSTARTEDAT : 0.0;
    ECalibration cal;
    cal.SpectrumId = id;
    RetrieveECalForSpectrum(&cal, kAlias, setup, start);
    if (cal.ECalId > 0 && cal.LinearPart.IsValid()) {
        double a, b;
        cal.LinearPart.GetParams(&a, &b, nullptr, nullptr, nullptr);
        s.energyCoeffs = {a, b};
    }
    const AnsiString text = quantora::FormatSpe(s);
    {
        std::ofstream out(args[2], std::ios::binary | std::ios::trunc);
        if (!out) throw Exception("cannot write '" + args[2] + "'");
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) throw Exception("cannot write '" + args[2] + "'");
    }
    std::printf("exported spectrum %d (%zu channels) to %s\n", id, s.counts.size(),
                args[2].c_str());
    return 0;
}

}  // namespace

int CmdSpectrum(const Args& args) {
    if (!args.empty() && args[0] == "import") return Import(Args(args.begin() + 1, args.end()));
    if (!args.empty() && args[0] == "export") return Export(Args(args.begin() + 1, args.end()));
    throw Exception("usage: qdb spectrum import|export ... (see qdb spectrum --help)");
}

}  // namespace qdbtool
