// Peak evaluation of a stored spectrum: read, evaluate, recalibrate, store.
#include "quantora/lab/PeakEvalRun.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "quantora/analysis/Polynomial.h"
#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/calibration/FwhmCalStorage.h"
#include "quantora/calibration/Peakevalcaltables.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/lab/SpectrumRows.h"
#include "quantora/records/Peaktables.h"

namespace quantora {
namespace {

using analysis::FittedPeak;
using analysis::Poly;
using analysis::PolySlope;
using analysis::ReferenceLine;

constexpr int kStoreAttempts = 3;  // a key taken by another workstation meanwhile: try again

// Peak energies and widths in keV through `coeffs`.
void ApplyEnergies(const std::vector<double>& coeffs, analysis::PeakEvaluationResult* r) {
    for (FittedPeak& p : r->peaks) {
        const double slope = std::fabs(PolySlope(coeffs, p.channel));
        p.energy = Poly(coeffs, p.channel);
        p.energyUnc = slope * p.channelUnc;
        p.fwhmKeV = slope * p.fwhm;
        p.fwhmKeVUnc = slope * p.fwhmUnc;
    }
}

// The reference lines of the recalibration and identification: the nuclide lines as they are.
std::vector<ReferenceLine> ReferenceLines(const NuclideLines& lines) {
    std::vector<ReferenceLine> out;
    for (const NuclideLine& l : lines.lines)
        out.push_back({l.energy, l.energyUnc, 100.0 * l.intensity, -1});
    return out;
}

// The lines of the libraries and isomers named, each once, by energy; false when none are named.
bool LoadLines(const char* db, const PeakEvalRunOptions& options, PeakEvalRun* run) {
    run->nuclides.assign(run->result.peaks.size(), std::string());
    run->lineEnergies.assign(run->result.peaks.size(), 0.0);
    run->lineOfPeak.assign(run->result.peaks.size(), -1);
    if (options.libraryIds.empty() && options.isomerIds.empty()) return false;
    run->lines = LinesOfLibraries(db, options.libraryIds);
    const NuclideLines more = LinesOfIsomers(db, options.isomerIds);
    run->lines.lines.insert(run->lines.lines.end(), more.lines.begin(), more.lines.end());
    run->lines.isomers.insert(more.isomers.begin(), more.isomers.end());
    // A nuclide of a library named again by its isomer counts once.
    std::vector<NuclideLine>& all = run->lines.lines;
    std::sort(all.begin(), all.end(), [](const NuclideLine& a, const NuclideLine& b) {
        return a.energy != b.energy ? a.energy < b.energy : a.radiationId < b.radiationId;
    });
    all.erase(std::unique(all.begin(), all.end(),
                          [](const NuclideLine& a, const NuclideLine& b) {
                              return a.radiationId == b.radiationId;
                          }),
              all.end());
    return true;
}

void AssignLine(size_t peak, int line, PeakEvalRun* run) {
    const NuclideLine& l = run->lines.lines[static_cast<size_t>(line)];
    run->lineOfPeak[peak] = line;
    run->nuclides[peak] = l.nuclide;
    run->lineEnergies[peak] = l.energy;
}

// Each peak with an energy named by the line it is.
void IdentifyPeaks(const std::vector<ReferenceLine>& reference, PeakEvalRun* run) {
    for (size_t i = 0; i < run->result.peaks.size(); ++i) {
        const FittedPeak& p = run->result.peaks[i];
        if (p.energy <= 0) continue;
        const int line =
            analysis::IdentifyLine(p.energy, p.energyUnc, p.fwhmKeV, reference, run->setting);
        if (line >= 0) AssignLine(i, line, run);
    }
}

AnsiString ValueText(const char* name, double v) {
    return Format("%s=%.10g", name, v);
}

class Writer {
  public:
    Writer(const char* db, PeakEvalRun& run, int employee)
        : db_(db), run_(run), employee_(employee), now_(LocalNow()) {}

    void Store() {
        for (int attempt = 1;; ++attempt) {
            try {
                Transaction t(db_);
                // Made without a stored setting: the engine's defaults, stored as the default.
                if (run_.setting.PeakEvalCalId <= 0)
                    run_.setting.PeakEvalCalId = DefaultPeakEvalSetting(db_);
                StoreCalibrations();
                StoreEvaluation();
                t.Commit();
                return;
            } catch (const EDatabaseError& e) {
                // Keys come from MAX + 1: another workstation storing at the same moment can
                // take one first, and the whole store is tried again.
                run_.peakEvalId = -1;
                run_.peakIds.clear();
                const bool keyTaken = e.Category() == DbErrorCategory::Constraint;
                if (attempt >= kStoreAttempts || !(e.Retryable() || keyTaken)) throw;
            }
        }
    }

  private:
    void StoreCalibrations() {
        LabSpectrum& s = run_.spectrum;
        const analysis::Recalibration& rc = run_.recalibration;
        const int spectrumId = s.row.rec.SPECTRUM_ID;
        if (rc.energyValid) {
            ECalibration cal;
            cal.SpectrumId = spectrumId;
            cal.Name = "recalibrated from peaks";
            cal.CreationDate = cal.LastModifiedDate = now_;
            cal.CreatedByEmpId = cal.LastModByEmpId = employee_;
            cal.Comment = CoefficientsComment(rc.energyCoeffs);
            int i = 0;
            for (const analysis::LineMatch& m : rc.matches) {
                if (!m.used) continue;
                const FittedPeak& p = run_.result.peaks[static_cast<size_t>(m.peak)];
                cal.LinearPart.Set(i++, p.channel, run_.lineEnergies[static_cast<size_t>(m.peak)],
                                   p.channelUnc, 0.0, -1,
                                   run_.nuclides[static_cast<size_t>(m.peak)].c_str(), true);
            }
            cal.LinearPart.CalcCoeff();
            DbKeyGen ecalKeys(db_, "ECAL", "ECAL"), pointKeys(db_, "ECALPOINT", "ECALPOINT");
            StoreECal(&cal, &ecalKeys, &pointKeys, db_, nullptr, nullptr);
            s.ecal = cal;
            s.energyCoeffs = rc.energyCoeffs;
        }
        if (rc.fwhm.Valid && (rc.energyValid || s.fwhm.FwhmCalId <= 0)) {
            FwhmCalibrClass cal = rc.fwhm;
            cal.SpectrumId = spectrumId;
            cal.Name = "fitted from peaks";
            cal.CreationDate = cal.LastModifiedDate = now_;
            cal.CreatedByEmpId = cal.LastModByEmpId = employee_;
            DbKeyGen fwhmKeys(db_, "FWHMCAL", "FWHMCAL"),
                pointKeys(db_, "FWHMCALPOINT", "FWHMCALPOINT");
            StoreLinearFwhmCal(&cal, &fwhmKeys, &pointKeys, db_, nullptr, nullptr);
            s.fwhm = cal;
        }
    }

    void StoreEvaluation() {
        const LabSpectrum& s = run_.spectrum;
        const analysis::PeakEvaluationResult& r = run_.result;
        PEAKEVALData pe;
        pe.MEASUREMENT_ID = s.row.rec.MEASUREMENT_ID;
        pe.PEAKEVALCAL_ID = run_.setting.PeakEvalCalId;
        pe.PEAKEVALMETHOD_ID = 1;
        pe.NAME = Format("Peaks of spectrum %d", s.row.rec.SPECTRUM_ID).substr(0, 100);
        pe.TENTATIVE = "N";
        pe.PERFORMEDBY_EMP_ID = pe.LASTMODBY_EMP_ID = employee_;
        pe.CREATIONDATE = pe.LASTMODIFIEDDATE = now_;
        pe.LEFTTRESHOLDCH = r.regions.empty() ? 0 : r.regions.front().first;
        pe.RIGHTTRESHOLDCH = r.regions.empty() ? 0 : r.regions.back().last;
        pe.ECAL_ID = s.ecal.ECalId;
        pe.FWHMCAL_ID = s.fwhm.FwhmCalId;
        pe.USEAUTOECALUPDATE = run_.recalibration.energyValid;
        DbKeyGen evalKeys(db_, "PEAKEVAL", "PEAKEVAL"),
            regionKeys(db_, "PEAKEVALREGION", "PEAKEVALREGION"),
            fitKeys(db_, "PEAKEVALPEAK", "PEAKEVALPEAK"), peakKeys(db_, "PEAK", "PEAK"),
            peakValueKeys(db_, "PEAKPARAMVALUE", "PEAKPARAMVALUE"),
            regionValueKeys(db_, "REGIONPARAMVALUE", "REGIONPARAMVALUE");
        pe.Insert(&evalKeys, db_, nullptr);
        run_.peakEvalId = pe.PEAKEVAL_ID;

        std::vector<int> regionIds;
        PEAKEVALREGIONData region;
        REGIONPARAMVALUEData rv;
        auto regionValue = [&](int regionId, const AnsiString& text) {
            rv.Reset();
            rv.PEAKEVALREGION_ID = regionId;
            rv.EMPLOYEE_ID = employee_;
            rv.CREATIONDATE = now_;
            rv.CMT = text;
            rv.Insert(&regionValueKeys, db_, ThreadInsertQuery(db_, "REGIONPARAMVALUE").get());
        };
        for (const analysis::FitRegion& g : r.regions) {
            region.Reset();
            region.PEAKEVAL_ID = pe.PEAKEVAL_ID;
            region.PEAKEVALCAL_ID = pe.PEAKEVALCAL_ID;
            region.EMPLOYEE_ID = employee_;
            region.CREATIONDATE = now_;
            region.CMT = Format("channels %d-%d, %d peak(s), chi2/dof %.3f", g.first, g.last,
                                g.peakCount, g.reducedChiSquare());
            region.Insert(&regionKeys, db_, ThreadInsertQuery(db_, "PEAKEVALREGION").get());
            regionIds.push_back(region.PEAKEVALREGION_ID);
            regionValue(region.PEAKEVALREGION_ID, ValueText("first_channel", g.first));
            regionValue(region.PEAKEVALREGION_ID, ValueText("last_channel", g.last));
            regionValue(region.PEAKEVALREGION_ID, ValueText("chi_square", g.chiSquare));
            regionValue(region.PEAKEVALREGION_ID, ValueText("degrees_of_freedom", g.dof));
            regionValue(region.PEAKEVALREGION_ID, ValueText("tail_fwhm", g.tailFwhm));
            regionValue(region.PEAKEVALREGION_ID, ValueText("step_fraction", g.stepFraction));
            for (size_t k = 0; k < g.continuum.size(); ++k)
                regionValue(
                    region.PEAKEVALREGION_ID,
                    ValueText(Format("continuum_%d", static_cast<int>(k)).c_str(), g.continuum[k]));
        }

        PEAKEVALPEAKData fitted;
        PEAKPARAMVALUEData pv;
        PEAKData pk;
        const std::shared_ptr<TQuery> peakInsert = ThreadInsertQuery(db_, "PEAK");
        for (size_t i = 0; i < r.peaks.size(); ++i) {
            const FittedPeak& p = r.peaks[i];
            fitted.Reset();
            fitted.PEAKEVALREGION_ID = regionIds[static_cast<size_t>(p.region)];
            fitted.EMPLOYEE_ID = employee_;
            fitted.CREATIONDATE = now_;
            fitted.CMT = run_.nuclides[i];
            fitted.Insert(&fitKeys, db_, ThreadInsertQuery(db_, "PEAKEVALPEAK").get());
            const std::pair<const char*, double> values[] = {
                {"decision_threshold", p.decisionThreshold},
                {"detection_limit", p.detectionLimit},
                {"background", p.background},
                {"line_energy", run_.lineEnergies[i]},
                {"area_unc_no_peak", p.areaUncNoPeak},
            };
            for (const auto& [name, v] : values) {
                pv.Reset();
                pv.PEAKEVALPEAK_ID = fitted.PEAKEVALPEAK_ID;
                pv.EMPLOYEE_ID = employee_;
                pv.CREATIONDATE = now_;
                pv.CMT = ValueText(name, v);
                pv.Insert(&peakValueKeys, db_, ThreadInsertQuery(db_, "PEAKPARAMVALUE").get());
            }
            pk.Reset();
            pk.SetBasicData(pe.PEAKEVAL_ID, employee_, now_);
            pk.PEAKEVALPEAK_ID = fitted.PEAKEVALPEAK_ID;
            pk.POS = p.channel;
            pk.POSUNC = p.channelUnc;
            pk.E = p.energy;
            pk.EUNC = p.energyUnc;
            pk.AREA = p.area;
            pk.AREAUNC = p.areaUnc;
            pk.FWHM = p.fwhm;
            pk.FWHMUNC = p.fwhmUnc;
            pk.GAUSSFWHM = p.fwhm;
            pk.GAUSSFWHMUNC = p.fwhmUnc;
            pk.HEIGHT = pk.GAUSSAMPL = p.height;
            pk.HEIGHTUNC = pk.GAUSSAMPLUNC = p.heightUnc;
            pk.BKG = p.background;
            pk.Insert(&peakKeys, db_, peakInsert.get());
            run_.peakIds.push_back(pk.PEAK_ID);
        }
    }

    const char* db_;
    PeakEvalRun& run_;
    int employee_;
    TDateTime now_;
};

}  // namespace

void StorePeakEvaluation(const char* dbName, PeakEvalRun& run, int employeeId) {
    Writer(dbName, run, employeeId).Store();
}

int FindDefaultPeakEvalSetting(const char* dbName) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL("SELECT MIN(PEAKEVALCAL_ID) FROM PEAKEVALCAL WHERE NAME = :n");
    q.ParamByName("n")->SetAsString(kDefaultSettingName);
    q.Open();
    return !q.Eof() && !q.Fields()[0]->IsNull() ? q.Fields()[0]->AsInteger() : -1;
}

int DefaultPeakEvalSetting(const char* dbName) {
    if (const int id = FindDefaultPeakEvalSetting(dbName); id > 0) return id;
    PeakEvalCalibration cal;
    DbKeyGen keys(dbName, "PEAKEVALCAL", "PEAKEVALCAL");
    cal.PeakEvalCalId = keys.NextKey();
    cal.Name = kDefaultSettingName;
    cal.CreationDate = LocalNow();
    cal.Comment = "the engine's defaults; change its parameters to change what evaluations use";
    if (!StorePeakEvalCal(&cal, dbName, true, nullptr))
        throw Exception("the default peak evaluation setting cannot be stored");
    return cal.PeakEvalCalId;
}

PeakEvalRun EvaluateStoredSpectrum(const char* dbName, int spectrumId,
                                   const PeakEvalRunOptions& options) {
    PeakEvalRun run;
    run.spectrum = LoadLabSpectrum(dbName, spectrumId);
    const int settingId = options.settingId > 0 ? options.settingId
                          : options.store       ? DefaultPeakEvalSetting(dbName)
                                                : FindDefaultPeakEvalSetting(dbName);
    if (settingId > 0 && !RetrievePeakEvalCal(&run.setting, dbName, settingId, nullptr))
        throw quantora::NotFoundError(
            Format("no peak evaluation setting with PEAKEVALCAL_ID = %d", settingId));
    LabSpectrum& s = run.spectrum;
    analysis::SpectrumContext ctx;
    if (run.setting.UseEnergyCalibration) ctx.energyCoeffs = s.energyCoeffs;
    if (s.fwhm.FwhmCalId > 0 && s.fwhm.Valid) ctx.fwhm = &s.fwhm;
    run.result = analysis::EvaluatePeaks(s.counts, ctx, run.setting);
    if (LoadLines(dbName, options, &run)) {
        const std::vector<ReferenceLine> reference = ReferenceLines(run.lines);
        run.recalibration =
            analysis::Recalibrate(run.result, ctx.energyCoeffs, reference, run.setting);
        if (run.recalibration.energyValid)
            ApplyEnergies(run.recalibration.energyCoeffs, &run.result);
        IdentifyPeaks(reference, &run);
        // The matched peaks are the points of the new calibration.
        for (const analysis::LineMatch& m : run.recalibration.matches)
            AssignLine(static_cast<size_t>(m.peak), m.line, &run);
    }
    if (options.store) StorePeakEvaluation(dbName, run, options.employeeId);
    return run;
}

namespace {

// The values stored with each fitted peak, by name.
struct StoredPeakValues {
    double decisionThreshold = 0, detectionLimit = 0, lineEnergy = 0;
    double areaUncNoPeak = -1;  // -1: not stored (an evaluation older than this value)
};

void ReadPeakValue(const AnsiString& text, StoredPeakValues* v) {
    const size_t eq = text.find('=');
    if (eq == AnsiString::npos) return;
    const AnsiString name = text.substr(0, eq);
    const double value = std::strtod(text.c_str() + eq + 1, nullptr);
    if (name == "decision_threshold") v->decisionThreshold = value;
    if (name == "detection_limit") v->detectionLimit = value;
    if (name == "line_energy") v->lineEnergy = value;
    if (name == "area_unc_no_peak") v->areaUncNoPeak = value;
}

}  // namespace

std::optional<PeakEvalRun> LoadCurrentPeakEvaluation(const char* dbName, int spectrumId,
                                                     const PeakEvalRunOptions& options) {
    const int id = ApplicablePeakEval(dbName, spectrumId);
    if (id < 0) return std::nullopt;
    PeakEvalRun run;
    run.spectrum = LoadLabSpectrum(dbName, spectrumId);
    const LabSpectrum& s = run.spectrum;
    PEAKEVALData pe;
    {
        TQuery q;
        q.SetDatabaseName(dbName);
        q.SetSQL("SELECT * FROM PEAKEVAL WHERE PEAKEVAL_ID = :e");
        q.ParamByName("e")->SetAsInteger(id);
        q.Open();
        if (!pe.GetData(&q)) return std::nullopt;
    }
    // Made through the calibrations that apply now, with the setting asked for.
    auto same = [](int a, int b) { return (a > 0 ? a : -1) == (b > 0 ? b : -1); };
    if (!same(pe.ECAL_ID, s.ecal.ECalId) || !same(pe.FWHMCAL_ID, s.fwhm.FwhmCalId) ||
        pe.PEAKEVALCAL_ID <= 0 || (options.settingId > 0 && pe.PEAKEVALCAL_ID != options.settingId))
        return std::nullopt;
    if (!RetrievePeakEvalCal(&run.setting, dbName, pe.PEAKEVALCAL_ID, nullptr)) return std::nullopt;
    run.peakEvalId = id;

    std::vector<StoredPeakValues> values;
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT P.*, F.CMT AS QDB_NUCLIDE, V.CMT AS QDB_VALUE FROM PEAK P "
        "LEFT JOIN PEAKEVALPEAK F ON F.PEAKEVALPEAK_ID = P.PEAKEVALPEAK_ID "
        "LEFT JOIN PEAKPARAMVALUE V ON V.PEAKEVALPEAK_ID = P.PEAKEVALPEAK_ID "
        "WHERE P.PEAKEVAL_ID = :e ORDER BY P.POS, P.PEAK_ID, V.PEAKPARAMVALUE_ID");
    q.ParamByName("e")->SetAsInteger(id);
    PEAKData pk;
    std::vector<std::string> storedNuclide;
    for (q.Open(); pk.GetData(&q); q.Next()) {
        if (run.peakIds.empty() || run.peakIds.back() != pk.PEAK_ID) {
            FittedPeak p;
            p.channel = pk.POS, p.channelUnc = pk.POSUNC;
            p.area = pk.AREA, p.areaUnc = pk.AREAUNC;
            p.fwhm = pk.FWHM, p.fwhmUnc = pk.FWHMUNC;
            p.height = pk.HEIGHT, p.heightUnc = pk.HEIGHTUNC;
            p.background = pk.BKG;
            run.result.peaks.push_back(p);
            run.peakIds.push_back(pk.PEAK_ID);
            values.emplace_back();
            storedNuclide.push_back(q.FieldByName("QDB_NUCLIDE")->AsString());
        }
        if (TField* f = q.FieldByName("QDB_VALUE"); !f->IsNull())
            ReadPeakValue(f->AsString(), &values.back());
    }
    // A peak stored without the values (another program's, or an older evaluation's): the
    // evaluation cannot serve.
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i].areaUncNoPeak < 0) return std::nullopt;
        FittedPeak& p = run.result.peaks[i];
        p.areaUncNoPeak = values[i].areaUncNoPeak;
        p.decisionThreshold = values[i].decisionThreshold;
        p.detectionLimit = values[i].detectionLimit;
    }
    if (s.energyCoeffs.size() >= 2) ApplyEnergies(s.energyCoeffs, &run.result);
    if (s.fwhm.Valid) run.result.widthA = s.fwhm.A, run.result.widthB = s.fwhm.B;
    if (LoadLines(dbName, options, &run)) {
        IdentifyPeaks(ReferenceLines(run.lines), &run);
        // The line the evaluation named, where the lines hold it.
        for (size_t i = 0; i < values.size(); ++i)
            for (size_t j = 0; j < run.lines.lines.size() && values[i].lineEnergy > 0; ++j)
                if (run.lines.lines[j].nuclide == storedNuclide[i] &&
                    std::fabs(run.lines.lines[j].energy - values[i].lineEnergy) < 1e-6)
                    AssignLine(i, static_cast<int>(j), &run);
    }
    return run;
}

}  // namespace quantora
