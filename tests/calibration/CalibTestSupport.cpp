// Shared pieces of the calibration storage tests.
#include "tests/calibration/CalibTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "quantora/base/Exception.h"
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

std::vector<std::vector<double>> ReadColumns(const char* file, std::vector<int> columns) {
    const std::string path = std::string(QUANTORA_SHARED_DATA) + "/calib/" + file;
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<std::vector<double>> rows;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || std::exchange(header, false)) continue;
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
        std::vector<double> values;
        for (int c : columns) values.push_back(std::stod(cells.at(static_cast<size_t>(c))));
        rows.push_back(values);
    }
    return rows;
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

void ExpectThrowsMessage(const std::function<void()>& f, const AnsiString& message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, message);
    }
}

}  // namespace calibtest
