// Shared pieces of the calibration storage tests.
#include "tests/calibration/CalibTestSupport.h"

#include "quantora/base/Format.h"
#include "quantora/calibration/Calibrtables.h"

namespace calibtest {

void AddSetting(const quantora::test::TestDatabase& db, const char* kind, int setup,
                TDateTime validFrom, int analysis) {
    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetSQL(
        quantora::Format("INSERT INTO MEASSETUP%s (MEASSETUP_ID, VALIDFROM, %sANALYSIS_ID) "
                         "VALUES (:s, :v, :a)",
                         kind, kind));
    q.ParamByName("s")->SetAsInteger(setup);
    q.ParamByName("v")->SetAsDateTime(validFrom);
    q.ParamByName("a")->SetAsInteger(analysis);
    q.ExecSQL();
}

NonlinECalibr FittedCorrection(double bow) {
    std::vector<double> ch, dev, unc;
    for (double x = 0; x <= 4000; x += 200) {
        ch.push_back(x);
        dev.push_back(bow * ((x / 2000 - 1) * (x / 2000 - 1) - 1.0 / 3));
        unc.push_back(0.01);
    }
    NonlinECalibr nl;
    nl.Fit(ch.data(), dev.data(), unc.data(), static_cast<int>(ch.size()), 2);
    return nl;
}

void StoreAnalysis(const quantora::test::TestDatabase& db, int key, NonlinECalibr nl) {
    NONLINANALYSISData a;
    a.NONLINANALYSIS_ID = key;
    a.NAME = quantora::Format("analysis %d", key);
    a.MEASNUM = 1;
    a.CopyFromNonlinECalibr(&nl);
    a.Insert(nullptr, db.name(), nullptr);
}

}  // namespace calibtest
