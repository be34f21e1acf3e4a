// Every cascade of the library under fault injection: each statement in turn fails, inside a
// caller's transaction (nothing may stay) and without one (exactly the statements before the
// failure stay, unless the cascade runs its own transaction). The record classes come from the
// registry of the lab's tables; the storage functions and the importer are listed here.
#include <gtest/gtest.h>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/calibmodel/PeakEvalCalibration.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/calibration/FwhmCalStorage.h"
#include "quantora/calibration/Peakevalcaltables.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/internal/FaultInjection.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/exchange/XmlImporter.h"
#include "quantora/exchange/XmlOutputFile.h"
#include "quantora/frame/LabTables.h"
#include "quantora/frame/StringLogger.h"
#include "quantora/nuclides/Nuclibtables.h"
#include "quantora/records/Devicetables.h"
#include "quantora/records/Meastables.h"
#include "quantora/records/Othertables.h"
#include "quantora/records/Peaktables.h"
#include "quantora/records/Resulttables.h"
#include "quantora/records/Sampletables.h"
#include "quantora/services/Blobutil.h"
#include "quantora/services/Usersettings.h"
#include "tests/faults/CascadeSweep.h"

using quantora::Format;
using quantora::test::Cascade;
using quantora::test::DatabaseImage;
using quantora::test::Dump;
using quantora::test::Plain;
using quantora::test::TestDatabase;

namespace {

using quantora::LabTable;

// Queries (not opened) of every row of `tables`, one each.
void OpenAll(TQuery* q, const AnsiString& alias, std::initializer_list<LabTable> tables) {
    for (LabTable t : tables) {
        q->SetDatabaseName(alias);
        q->SetSQL(Format("SELECT * FROM %s", quantora::LabTableName(t)));
        (q++)->SetRequestLive(true);
    }
}

// Delete and RemoveDetails of row 1, for a record class that declares deletion rules.
template <class R>
void AddRecordCascades(std::vector<Cascade>& out, const AnsiString& alias, const char* name) {
    if constexpr (requires { R::Deletion(); }) {
        auto add = [&](const char* op, void (*run)(R&, const AnsiString&)) {
            out.push_back({.name = Format("%s::%s", name, op),
                           .action =
                               [alias, run] {
                                   R r;
                                   r.Reset();
                                   for (const auto& c : R::Columns())
                                       if (c.key && c.type == quantora::ColumnType::Int)
                                           r.*(c.member.i) = 1;
                                   run(r, alias);
                                   return true;
                               },
                           .why = "cascades run one statement at a time, without a transaction"});
        };
        add("Delete", [](R& r, const AnsiString& a) { r.Delete(a); });
        if constexpr (requires(R & r, const AnsiString& a) { r.RemoveDetails(a); })
            add("RemoveDetails", [](R& r, const AnsiString& a) { r.RemoveDetails(a); });
    }
}

template <>
void AddRecordCascades<NoRecord>(std::vector<Cascade>&, const AnsiString&, const char*) {}

std::vector<Cascade> RecordCascades(const AnsiString& alias) {
    std::vector<Cascade> out;
#define QUANTORA_RECORD_CASCADES(table, record) AddRecordCascades<record>(out, alias, #record);
    QUANTORA_LAB_TABLES(QUANTORA_RECORD_CASCADES)
#undef QUANTORA_RECORD_CASCADES
    return out;
}

// `caller`: four live queries (ECAL, ECALPOINT, FWHMCAL, FWHMCALPOINT) that StoreECal and
// StoreLinearFwhmCal may borrow; they must come out of every failure fit for the next call.
std::vector<Cascade> StorageCascades(const TestDatabase& db, TQuery* caller) {
    const AnsiString alias = db.alias();
    const TDateTime created = quantora::EncodeDateTime({2024, 3, 4, 10});
    std::vector<Cascade> out;
    auto add = [&out](std::string name, std::function<bool()> action, const char* why,
                      std::function<void()> fill = {}) {
        out.push_back({.name = name, .fill = fill, .action = action, .why = why});
    };
    // Row 1 of each calibration table starts non-tentative, so marking it shows.
    auto nonTentative = [&db] {
        db.Exec("UPDATE ECAL SET TENTATIVE = 'N'");
        db.Exec("UPDATE FWHMCAL SET TENTATIVE = 'N'");
    };
    const char* stepByStep = "the storage functions open no transaction";
    for (TQuery* q : {static_cast<TQuery*>(nullptr), caller}) {
        const std::string borrowed = q ? " (caller's queries)" : "";
        auto storeECal = [alias, q, created] {
            ECalibration cal;
            cal.SpectrumId = cal.LastModByEmpId = 1;
            cal.Name = "swept";
            cal.CreationDate = created;
            for (int i = 0; i < 3; ++i)
                cal.LinearPart.Set(i, 100 + 900 * i, 50 + 450 * i, 0.05, 0.01, -1, "line", true);
            cal.LinearPart.CalcCoeff();
            quantora::CountingKeyGen ecalKeys(100), pointKeys(100);
            StoreECal(&cal, &ecalKeys, &pointKeys, alias.c_str(), q, q ? q + 1 : nullptr);
            return true;
        };
        auto storeFwhmCal = [alias, q, created] {
            FwhmCalibrClass cal;
            cal.SpectrumId = 1;
            cal.Name = "swept";
            cal.CreationDate = created;
            for (int i = 0; i < 3; ++i) cal.Set(i, 100 + 900 * i, 1.6 + 0.9 * i, 0.1, 0.02, -1);
            quantora::CountingKeyGen fwhmKeys(100), pointKeys(100);
            StoreLinearFwhmCal(&cal, &fwhmKeys, &pointKeys, alias.c_str(), q ? q + 2 : nullptr,
                               q ? q + 3 : nullptr);
            return true;
        };
        add("StoreECal" + borrowed, storeECal, stepByStep, nonTentative);
        add("StoreLinearFwhmCal" + borrowed, storeFwhmCal, stepByStep, nonTentative);
    }

    auto storePeakEvalCal = [alias, created](int key, bool asNew) {
        PeakEvalCalibration cal;
        cal.PeakEvalCalId = key;
        cal.Name = "swept";
        cal.EmployeeId = 1;
        cal.CreationDate = created;
        quantora::MemoryLogger log;
        return StorePeakEvalCal(&cal, alias.c_str(), asNew, &log);
    };
    const char* byResult = "reports failure by its result; rows written before it stay";
    // Setting 1 already holds the first parameter: when the clean-up DELETE fails, the first
    // insert collides and the store ends there.
    add(
        "StorePeakEvalCal (replace)", [=] { return storePeakEvalCal(1, false); }, byResult,
        [&db] {
            db.Exec(
                Format("UPDATE PEAKEVALCALPARAMLIST SET PEAKEVALCALPARAM_ID = %d WHERE "
                       "PEAKEVALCAL_ID = 1",
                       PeakEvalCalibration::StoreOrder()[0]));
        });
    // A new setting: the clean-up DELETE finds nothing, and its failure is only logged.
    add(
        "StorePeakEvalCal (new)", [=] { return storePeakEvalCal(3, true); }, byResult);
    out.back().dropped = [](const AnsiString& sql) {
        return sql.rfind("DELETE FROM PEAKEVALCALPARAMLIST", 0) == 0;
    };
    add(
        "StoreBlobChunks",
        [alias] {
            quantora::CountingKeyGen keys(100, alias);
            StoreBlobChunks(AnsiString("chunked\0value!", 14), "pDocument", 1, 0, 0, nullptr, &keys,
                            1, 4);
            return true;
        },
        "opens no transaction: old chunks go first, new ones follow");
    return out;
}

// SaveSettings drops the failure of one entry and goes on: whichever statement failed, the two
// entries of user 1 are saved once each (an entry whose update failed is inserted anew), and no
// other row changes.
Cascade SaveSettingsCascade(const TestDatabase& db) {
    const AnsiString alias = db.alias();
    Cascade c{.name = "DbUserSettings::SaveSettings",
              .why = "drops the failure of an entry and saves the others"};
    c.fill = [&db] {
        db.Exec("INSERT INTO SETTING (SETTING_ID, VALUETYPE, NAME) VALUES (3, 'T', 'Title')");
        db.Exec(
            "INSERT INTO USERSETTINGS (USERSETTINGS_ID, EMPLOYEE_ID, SETTING_ID, SETTINGINDEX, "
            "SETTINGVALUE, AUTOSTORE) VALUES (3, 1, 2, 2, '7', 'Y')");
    };
    c.action = [alias] {
        DbUserSettings s;
        quantora::CountingKeyGen keys(100, alias);
        s.SetBasicData(alias, &keys, 1);
        {
            quantora::db::StatementHookSuspend loading;
            s.RetrieveSettings();
        }
        s.InsertUserValue(1, QuantoraSettingType::Integer, Variant(41));
        s.InsertUserValue(2, QuantoraSettingType::Integer, Variant(42));
        s.InsertUserValue(3, QuantoraSettingType::Text, Variant("new"));
        return s.SaveSettings();
    };
    c.swallowed = [&db](int, const std::vector<AnsiString>&, Dump before, Dump after) {
        before.erase("USERSETTINGS");
        after.erase("USERSETTINGS");
        EXPECT_TRUE(after == before);
        EXPECT_EQ(db.Scalar("SELECT SETTINGVALUE FROM USERSETTINGS WHERE USERSETTINGS_ID = 2"),
                  "SETTINGVALUE of USERSETTINGS 2");
        // 2 settings, 2 rows: each saved once.
        EXPECT_EQ(db.Scalar("SELECT 10 * COUNT(DISTINCT SETTING_ID) + COUNT(*) FROM USERSETTINGS "
                            "WHERE EMPLOYEE_ID = 1 AND SETTINGINDEX = 0 AND CAST(SETTING_ID AS "
                            "VARCHAR(20)) || '|' || SETTINGVALUE IN ('1|41', '2|42')"),
                  "22");
    };
    return c;
}

// A small export file of four tables whose rows differ from the fill's.
void WriteExportFile(const TestDatabase& db, const DatabaseImage& image,
                     const DatabaseImage::Rows& fill, const std::string& path) {
    db.Exec("UPDATE PROJECT SET NAME = 'imported'");
    db.Exec("UPDATE SPECTRUM SET LIVETIME = LIVETIME + 1000");
    db.Exec("DELETE FROM MEASUREMENT WHERE MEASUREMENT_ID = 2");
    quantora::XmlOutputFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    QuantoraXmlExporter exporter;
    exporter.ExportHeader(&file, "host", db.name(), QuantoraXmlExporter::DatabaseVersion);
    const std::initializer_list<LabTable> tables = {LabTable::EMPLOYEE, LabTable::PROJECT,
                                                    LabTable::MEASUREMENT, LabTable::SPECTRUM};
    TQuery q[4];
    OpenAll(q, db.alias(), tables);
    for (TQuery& t : q) {
        t.Open();
        exporter.ExportDataSet(quantora::LabTableName(tables.begin()[&t - q]), &t, &file);
    }
    exporter.ExportFooter(&file);
    file.Close();
    image.Restore(fill, image.Take());
}

TEST(FaultSweep, EveryCascadeOfTheLibrary) {
    TestDatabase db(true);
    // Values written with the clock (user settings, parameter lists) read "now" in dumps.
    const DatabaseImage image(db, quantora::LocalNow() - 1.0);
    image.FillEveryTable();
    const DatabaseImage::Rows fill = image.Snapshot();

    std::vector<Cascade> cascades = RecordCascades(db.alias());
    // The generated list holds the classes with deletion rules of every record folder.
    std::string names;
    for (const Cascade& c : cascades) names += c.name + " ";
    for (const char* expected : {"MEASUREMENTData::Delete", "PEAKEVALData::RemoveDetails",
                                 "NONLINANALYSISData::Delete", "PEAKEVALCALData::Delete"})
        EXPECT_NE(names.find(expected), std::string::npos) << expected;

    TQuery queries[4];
    OpenAll(queries, db.alias(),
            {LabTable::ECAL, LabTable::ECALPOINT, LabTable::FWHMCAL, LabTable::FWHMCALPOINT});
    for (Cascade& c : StorageCascades(db, queries)) cascades.push_back(std::move(c));
    cascades.push_back(SaveSettingsCascade(db));

    const std::string exportFile = ::testing::TempDir() + Format("faults_%s.xml", db.name());
    WriteExportFile(db, image, fill, exportFile);
    quantora::XmlImportOptions replace;
    replace.replaceExistingRows = true;
    Cascade importing{.name = "ImportXmlDatabase (replacing rows)",
                      .plain = Plain::Untouched,
                      .why = "the import runs in one transaction of its own",
                      .wrapsError = true};
    importing.action = [&] {
        quantora::ImportXmlDatabase(db.alias(), exportFile, nullptr, replace);
        return true;
    };
    cascades.push_back(importing);
    for (const Cascade& c : cascades) {
        SCOPED_TRACE(c.name);
        quantora::test::SweepCascade(db, image, fill, c);
    }
    std::remove(exportFile.c_str());
}

}  // namespace
