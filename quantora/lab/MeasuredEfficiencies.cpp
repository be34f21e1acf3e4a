// Measured efficiencies of an efficiency analysis's lines.
#include "quantora/lab/MeasuredEfficiencies.h"

#include <algorithm>
#include <cmath>

#include "quantora/analysis/Activity.h"
#include "quantora/dblayer/TQuery.h"

namespace quantora {

namespace {
constexpr double kSecondsPerDay = 86400.0;
}  // namespace

std::vector<MeasuredEfficiency> MeasuredEfficiencies(const char* dbName, int effAnalysisId) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT R.E, EP.AREA, EP.AREAUNC, R.INTENSITY, R.INTENSITYUNC, SI.ACTIVITY, "
        "SI.ACTIVITYUNC, SI.CALIBRDATE, I.HALFLIFE, COALESCE(S.SPECOLLSTARTEDAT, M.STARTDATE), "
        "S.LIVETIME, COALESCE(S.TRUETIME, S.LIVETIME), COALESCE(I.HALFLIFEUNC, 0) "
        "FROM EFFPEAK EP JOIN EFFMEASUREMENT EM ON EM.EFFMEASUREMENT_ID = EP.EFFMEASUREMENT_ID "
        "JOIN MEASUREMENT M ON M.MEASUREMENT_ID = EM.MEASUREMENT_ID "
        "JOIN SPECTRUM S ON S.SPECTRUM_ID = (SELECT MIN(S2.SPECTRUM_ID) FROM SPECTRUM S2 WHERE "
        "S2.MEASUREMENT_ID = M.MEASUREMENT_ID) "
        "JOIN RADIATION R ON R.RADIATION_ID = EP.RADIATION_ID "
        "JOIN DECAY D ON D.DECAY_ID = R.DECAY_ID JOIN ISOMER I ON I.ISOMER_ID = D.ISOMER_ID "
        "JOIN SOURCEISOMER SI ON SI.SOURCE_ID = M.SOURCE_ID AND SI.ISOMER_ID = I.ISOMER_ID "
        "WHERE EM.EFFANALYSIS_ID = :a ORDER BY R.E");
    q.ParamByName("a")->SetAsInteger(effAnalysisId);
    std::vector<MeasuredEfficiency> out;
    for (q.Open(); !q.Eof(); q.Next()) {
        bool complete = true;
        for (int i = 0; i < q.FieldCount(); ++i) complete = complete && !q.Fields()[i]->IsNull();
        if (!complete) continue;
        auto f = [&](int i) { return q.Fields()[i]->AsFloat(); };
        const double energy = f(0), area = f(1), areaUnc = f(2), intensity = f(3) / 100.0,
                     intensityUnc = f(4) / 100.0, activity = f(5), activityUnc = f(6),
                     halfLife = f(8), liveTime = f(10), realTime = std::max(f(11), liveTime),
                     halfLifeUnc = f(12);
        const double delay =
            (q.Fields()[9]->AsDateTime() - q.Fields()[7]->AsDateTime()) * kSecondsPerDay;
        if (!(area > 0 && intensity > 0 && activity > 0 && liveTime > 0 && halfLife > 0)) continue;
        // The activity at the start of the count and its mean over the count, as the analysis
        // took it.
        const double emitted =
            activity * analysis::DecayFactor(halfLife, delay, realTime) * intensity * liveTime;
        MeasuredEfficiency p;
        p.energy = energy;
        p.eff = area / emitted;
        p.effUnc =
            p.eff *
            std::sqrt(
                std::pow(areaUnc / area, 2) + std::pow(intensityUnc / intensity, 2) +
                std::pow(activityUnc / activity, 2) +
                std::pow(analysis::DecayFactorRelUnc(halfLife, halfLifeUnc, delay, realTime), 2));
        if (std::isfinite(p.eff) && std::isfinite(p.effUnc)) out.push_back(p);
    }
    return out;
}

}  // namespace quantora
