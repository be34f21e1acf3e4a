// qdb check / delete (deletion reports and cascaded deletion), ecal / fwhm (the calibrations
// that apply to a spectrum), match (radiation lines for measured energies) and nuclides load.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/lab/DeletableTables.h"
#include "quantora/lab/RadiationLibraries.h"
#include "quantora/lab/SpectrumCalibrations.h"
#include "quantora/nuclides/GammaLineTable.h"
#include "quantora/nuclides/NuclideKeyGen.h"
#include "quantora/nuclides/NuclideLibrary.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"

namespace qdbtool {

using quantora::Format;

namespace {

const char* const kAlias = "qdb_lab";

// ---- deletion -------------------------------------------------------------------------------

// A row named on the command line and what deleting it would do.
struct RowCheck {
    const quantora::DeletableTable& table;
    int key;
    quantora::DeletionCheck r;
};

// Parses "<db> <TABLE> <key>", opens the database and prints the report of that row.
RowCheck CheckRow(const Args& args, bool readOnly) {
    if (args.size() != 3) throw UsageError();
    RowCheck c{quantora::FindDeletableTable(args[1]), ParseKey(args[2], "key"), {}};
    OpenLabDatabase(kAlias, args[0], readOnly);
    c.r = quantora::CheckRowDeletion(c.table, kAlias, c.key);
    std::printf("%s ID=%d\nblocking: %zu\n", c.table.name, c.key, c.r.blocking.size());
    for (const AnsiString& s : c.r.blocking) std::printf("  %s\n", s.c_str());
    std::printf("references set to null on deletion: %zu\n", c.r.nulled.size());
    for (const AnsiString& s : c.r.nulled) std::printf("  %s\n", s.c_str());
    return c;
}

// Shows on the terminal what deleting the row does and asks for a yes.
bool Confirm(const RowCheck& c) {
    std::printf("  %s ID=%d will be deleted with its dependent rows\n", c.table.name, c.key);
    for (const AnsiString& s : c.r.nulled) std::printf("  reference cleared: %s\n", s.c_str());
    std::printf("Delete? [y/N] ");
    std::fflush(stdout);
    std::string answer;
    return std::getline(std::cin, answer) && (answer == "y" || answer == "Y" || answer == "yes");
}

// ---- calibrations ---------------------------------------------------------------------------

double Sd(double var) {
    return var > 0 ? std::sqrt(var) : 0.0;
}

void PrintECal(const ECalibration& cal) {
    if (cal.ECalId <= 0) {
        std::printf("no stored energy calibration: the default applies\n");
    } else {
        std::printf("energy calibration %d '%s'%s\n", cal.ECalId, cal.Name.c_str(),
                    cal.Tentative ? " (tentative)" : "");
    }
    const LinearECalibr& lin = cal.LinearPart;
    if (!lin.IsValid())
        throw Exception("the stored calibration is not valid: " + lin.InvalidReason());
    double a, b, av, bv, cov;
    lin.GetParams(&a, &b, &av, &bv, &cov);
    const bool curved = cal.NonlinValid && cal.UseNonlinPart;
    std::printf(curved ? "E(ch) = a + b * (ch - N(ch))\n" : "E(ch) = a + b * ch\n");
    std::printf(
        "  a = %.6g +- %.3g keV\n"
        "  b = %.8g +- %.3g keV/channel\n"
        "  cov(a,b) = %.4g\n"
        "  points: %d, chi2 = %.4g, dof = %d\n",
        a, Sd(av), b, Sd(bv), cov, lin.GetPointCount(), lin.GetChiSquare(),
        lin.GetDegreesOfFreedom());
    for (const ECalibrPoint& p : lin.Points)
        std::printf("    ch %.3f +- %.3f -> %.4f +- %.4f keV%s%s\n", p.ChPos, p.ChPosUnc, p.Energy,
                    p.EnergyUnc, p.Description.empty() ? "" : "  ", p.Description.c_str());
    if (curved)
        std::printf("nonlinear correction N: analysis %d '%s'\n", cal.NonlinAnalysisId,
                    cal.NonlinName.c_str());
    else
        std::printf("nonlinear correction: none\n");
}

// ---- radiation matching ---------------------------------------------------------------------

struct EnergyArg {
    double energy, unc;
};

constexpr double kDefaultEnergyUnc = 0.5;  // keV, for an energy given without uncertainty

EnergyArg ParseEnergy(const std::string& text) {
    EnergyArg e{0, kDefaultEnergyUnc};
    const size_t colon = text.find(':');
    const std::string value = text.substr(0, colon);
    bool ok = ParseNumber(value, e.energy) && e.energy > 0;
    if (ok && colon != std::string::npos)
        ok = ParseNumber(text.substr(colon + 1), e.unc) && e.unc >= 0;
    if (!ok)
        throw quantora::MisuseError("malformed energy '" + text +
                                    "' (expected keV[:uncertainty], e.g. 661.7:0.3)");
    return e;
}

}  // namespace

int CmdCheck(const Args& args) {
    const RowCheck c = CheckRow(args, true);
    std::printf("%s\n", c.r.blocking.empty() ? "can be deleted" : "deletion is blocked");
    return 0;
}

int CmdDelete(const Args& in) {
    Args args = in;
    const bool yes = TakeFlag(args, "--yes");
    const RowCheck c = CheckRow(args, false);
    if (!c.r.blocking.empty())
        throw Exception(Format("%s ID=%d cannot be deleted: %zu blocking reference(s)",
                               c.table.name, c.key, c.r.blocking.size()));
    if (!yes) {
        if (!isatty(STDIN_FILENO))
            throw Exception(
                "not deleting without confirmation: standard input is not a terminal "
                "(use --yes)");
        if (!Confirm(c)) {
            std::printf("nothing deleted\n");
            return 1;
        }
    }
    Transaction tr(kAlias);
    quantora::DeleteWithDetails(c.table.rules(), kAlias, c.key);
    tr.Commit();
    std::printf("deleted %s ID=%d\n", c.table.name, c.key);
    return 0;
}

int CmdECal(const Args& in) {
    Args args = in;
    const int spectrum = TakeKey(args, "--spectrum", "spectrum id");
    const int measurement = TakeKey(args, "--measurement", "measurement id");
    if (args.size() != 1 || (spectrum > 0) == (measurement > 0)) throw UsageError();
    OpenLabDatabase(kAlias, args[0]);
    const ECalibration cal = spectrum > 0 ? quantora::SpectrumECal(kAlias, spectrum)
                                          : quantora::MeasurementECal(kAlias, measurement);
    if (spectrum > 0)
        std::printf("spectrum %d\n", spectrum);
    else
        std::printf("measurement %d, spectrum %d\n", measurement, cal.SpectrumId);
    PrintECal(cal);
    return 0;
}

int CmdFwhm(const Args& in) {
    Args args = in;
    const int id = TakeKey(args, "--spectrum", "spectrum id");
    if (args.size() != 1 || id < 0) throw UsageError();
    OpenLabDatabase(kAlias, args[0]);
    const FwhmCalibrClass cal = quantora::SpectrumFwhmCal(kAlias, id);
    std::printf("spectrum %d\n", id);
    if (cal.FwhmCalId <= 0) {
        std::printf("no FWHM calibration\n");
        return 0;
    }
    std::printf("FWHM calibration %d '%s'%s\n", cal.FwhmCalId, cal.Name.c_str(),
                cal.Tentative ? " (tentative)" : "");
    if (!cal.Valid)
        throw Exception("the stored FWHM calibration is not valid: " + cal.InvalidReason());
    std::printf(
        "FWHM(ch)^2 = A + B * ch\n"
        "  A = %.6g +- %.3g channels^2\n"
        "  B = %.6g +- %.3g channels\n"
        "  cov(A,B) = %.4g\n"
        "  points: %d, chi2 = %.4g, dof = %d\n",
        cal.A, Sd(cal.AVar), cal.B, Sd(cal.BVar), cal.Covar, cal.GetPointCount(),
        cal.GetChiSquare(), cal.GetDegreesOfFreedom());
    for (const FwhmCalibrPoint& p : cal.Points)
        std::printf("    ch %.3f +- %.3f -> FWHM %.4f +- %.4f\n", p.ChPos, p.ChPosUnc, p.Fwhm,
                    p.FwhmUnc);
    return 0;
}

int CmdMatch(const Args& in) {
    Args args = in;
    const std::vector<int> ids = TakeKeyList(args, "--library", "library id");
    if (args.size() < 2 || ids.empty()) throw UsageError();
    std::vector<EnergyArg> energies;
    for (size_t i = 1; i < args.size(); ++i) energies.push_back(ParseEnergy(args[i]));
    OpenLabDatabase(kAlias, args[0]);
    const auto lib = quantora::LoadRadiationLibraries(kAlias, ids);
    std::printf("libraries: %s (%zu lines)\n", lib->LibraryNames().c_str(),
                lib->Radiations().size());
    std::vector<AnsiString> found;
    for (const EnergyArg& e : energies) {
        found.clear();
        lib->GetMatchingRadiations(e.energy, e.unc, found);
        std::printf("%.3f +- %.3f keV: %zu line(s)\n", e.energy, e.unc, found.size());
        for (const AnsiString& rid : found) {
            const RADIATIONData* r = lib->GetRadiationData(rid);
            if (!r) continue;
            const DECAYData* d = lib->GetDecayData(r->DECAY_ID);
            const ISOMERData* iso = d ? lib->GetIsomerData(d->ISOMER_ID) : nullptr;
            AnsiString nuclide = iso ? iso->SYMBOL : AnsiString("?");
            if (iso && iso->ISOMERNUM > 0) nuclide += Format("m%d", iso->ISOMERNUM);
            std::printf("  %-10s %10.4f +- %.4f keV  I = %.4g +- %.2g %%\n", nuclide.c_str(), r->E,
                        r->EUNC, r->INTENSITY, r->INTENSITYUNC);
        }
    }
    return 0;
}

int CmdNuclides(const Args& in) {
    if (in.size() == 4 && in[0] == "library") {
        const std::vector<AnsiString> symbols = SplitCommas(in[3]);
        OpenLabDatabase(kAlias, in[1]);
        const int id = quantora::MakeNuclideLibrary(kAlias, in[2], symbols);
        std::printf("radiation library %d: %s (%zu nuclides)\n", id, in[2].c_str(), symbols.size());
        return 0;
    }
    if (in.size() != 3 || in[0] != "load") throw UsageError();
    const std::string csv = in[2];
    if (FILE* f = std::fopen(csv.c_str(), "rb"))
        std::fclose(f);
    else
        throw Exception("cannot open '" + csv + "'");
    OpenLabDatabase(kAlias, in[1]);
    quantora::NuclideKeyGen keys(kAlias);
    const quantora::GammaLineLoad r = quantora::LoadGammaLineTable(kAlias, csv, &keys, nullptr);
    std::printf("radiation library %d loaded from %s\n", r.libraryId, csv.c_str());
    std::printf(
        "  isomers: %d\n  decays: %d\n  lines: %d (%d without the uncertainties matching "
        "needs)\n  rows without energy skipped: %d\n",
        r.isomers, r.decays, r.lines, r.unmatchable, r.withoutEnergy);
    return 0;
}

}  // namespace qdbtool
