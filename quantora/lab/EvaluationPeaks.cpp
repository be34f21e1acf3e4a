// Reading the peaks of a stored peak evaluation.
#include "quantora/lab/EvaluationPeaks.h"

#include <cmath>
#include <map>

#include "quantora/dblayer/TQuery.h"
#include "quantora/lab/StoredSpectra.h"

namespace quantora {
namespace {

// The further fit values ("name=value") of the fitted peaks of an evaluation, by fitted peak.
std::map<int, std::vector<std::string>> ReadPeakValues(const char* dbName, int evalId) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT PEAKEVALPEAK_ID, CMT FROM PEAKPARAMVALUE WHERE PEAKEVALPEAK_ID IN (SELECT "
        "PEAKEVALPEAK_ID FROM PEAK WHERE PEAKEVAL_ID = :e) AND CMT IS NOT NULL ORDER BY "
        "PEAKPARAMVALUE_ID");
    q.ParamByName("e")->SetAsInteger(evalId);
    std::map<int, std::vector<std::string>> out;
    for (q.Open(); !q.Eof(); q.Next())
        out[q.Fields()[0]->AsInteger()].push_back(q.Fields()[1]->AsString());
    return out;
}

}  // namespace

std::vector<StoredPeak> ReadEvaluationPeaks(const char* dbName, int peakEvalId) {
    const auto values = ReadPeakValues(dbName, peakEvalId);
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT P.POS, P.POSUNC, P.E, P.EUNC, P.AREA, P.AREAUNC, P.FWHM, P.FWHMUNC, P.HEIGHT, "
        "P.HEIGHTUNC, P.BKG, P.PEAKEVALPEAK_ID, F.CMT, P.PEAK_ID FROM PEAK P LEFT JOIN "
        "PEAKEVALPEAK F ON F.PEAKEVALPEAK_ID = P.PEAKEVALPEAK_ID WHERE P.PEAKEVAL_ID = :e "
        "ORDER BY P.POS, P.PEAK_ID");
    q.ParamByName("e")->SetAsInteger(peakEvalId);
    std::vector<StoredPeak> out;
    for (q.Open(); !q.Eof(); q.Next()) {
        auto f = [&](int i) {
            return q.Fields()[i]->IsNull() ? std::nan("") : q.Fields()[i]->AsFloat();
        };
        StoredPeak p;
        p.channel = f(0), p.channelUnc = f(1), p.energy = f(2), p.energyUnc = f(3);
        p.area = f(4), p.areaUnc = f(5), p.fwhm = f(6), p.fwhmUnc = f(7);
        p.height = f(8), p.heightUnc = f(9), p.background = f(10);
        if (!q.Fields()[11]->IsNull()) {
            const auto v = values.find(q.Fields()[11]->AsInteger());
            if (v != values.end()) p.values = v->second;
        }
        if (!q.Fields()[12]->IsNull()) p.nuclide = q.Fields()[12]->AsString();
        p.peakId = q.Fields()[13]->AsLargeInt();
        out.push_back(std::move(p));
    }
    return out;
}

std::vector<StoredPeak> SpectrumPeaks(const char* dbName, int spectrumId) {
    const int evalId = ApplicablePeakEval(dbName, spectrumId);
    return evalId < 0 ? std::vector<StoredPeak>() : ReadEvaluationPeaks(dbName, evalId);
}

}  // namespace quantora
