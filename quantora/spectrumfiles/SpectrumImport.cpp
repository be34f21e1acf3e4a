// Spectrum files into the database: a measurement (found or made), then the file's spectra, in
// one transaction per file.
#include "quantora/spectrumfiles/SpectrumImport.h"

#include <filesystem>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/records/Meastables.h"
#include "quantora/spectrumfiles/SpectrumRows.h"

namespace quantora {

namespace {

int NewMeasurement(const char* dbName, const SpectrumFile& file, const AnsiString& path,
                   int projectId) {
    const SpectrumFileData& first = file.spectra.front();
    MEASUREMENTData m;
    m.PROJECT_ID = projectId;
    m.NAME = (first.title.empty() ? std::filesystem::path(path).filename().string() : first.title)
                 .substr(0, 100);
    if (first.startTime > 0) {
        m.STARTDATE = first.startTime;
        if (first.realTime > 0) m.ENDDATE = first.startTime + first.realTime / 86400.0;
    }
    m.CREATIONDATE = LocalNow();
    m.CMT = "imported from " + file.format + " file " + path;
    MaxKeyGen keys(dbName, "MEASUREMENT");
    m.Insert(&keys, dbName, nullptr);
    return m.MEASUREMENT_ID;
}

}  // namespace

SpectrumImporter::SpectrumImporter(const char* dbName, SpectrumImportTarget target)
    : db_(dbName), target_(std::move(target)) {
    if (target_.measurementId > 0) {
        if (!RowExists(dbName, "MEASUREMENT", "MEASUREMENT_ID", target_.measurementId))
            throw Exception(
                Format("no measurement with MEASUREMENT_ID = %d", target_.measurementId));
        return;
    }
    if (!RowExists(dbName, "PROJECT", "PROJECT_ID", target_.projectId))
        throw Exception(Format("no project with PROJECT_ID = %d", target_.projectId));
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL("SELECT CRC32, CHANNELS, LIVETIME, TRUETIME FROM SPECTRUM");
    for (q.Open(); !q.Eof(); q.Next()) {
        auto value = [&](int i) {
            return q.Fields()[i]->IsNull() ? -1.0 : q.Fields()[i]->AsFloat();
        };
        stored_.emplace(static_cast<int>(value(0)), static_cast<int>(value(1)), value(2), value(3));
    }
}

SpectrumImportResult SpectrumImporter::Import(const AnsiString& path) {
    return Import(ReadSpectrumFile(path, target_.read), path);
}

SpectrumImportResult SpectrumImporter::Import(SpectrumFile file, const AnsiString& path) {
    SpectrumImportResult result;
    std::vector<SPECTRUMData> rows;
    bool all = target_.measurementId <= 0;
    for (const SpectrumFileData& s : file.spectra) {
        rows.push_back(SpectrumRecordFor(s, target_.measurementId, target_.fastCompression));
        const SPECTRUMData& r = rows.back();
        all = all && stored_.count({r.CRC32, r.CHANNELS, r.LIVETIME, r.TRUETIME}) > 0;
    }
    result.alreadyPresent = all;
    if (!all) {
        const char* db = db_.c_str();
        Transaction tr(db_);
        result.measurementId = target_.measurementId > 0
                                   ? target_.measurementId
                                   : NewMeasurement(db, file, path, target_.projectId);
        MaxKeyGen spectrumKeys(db, "SPECTRUM"), ecalKeys(db, "ECAL"), pointKeys(db, "ECALPOINT");
        for (size_t i = 0; i < rows.size(); ++i) {
            rows[i].MEASUREMENT_ID = result.measurementId;
            result.spectrumIds.push_back(StoreSpectrumRows(rows[i], file.spectra[i], db,
                                                           &spectrumKeys, &ecalKeys, &pointKeys));
        }
        tr.Commit();
        for (const SPECTRUMData& r : rows)
            stored_.insert({r.CRC32, r.CHANNELS, r.LIVETIME, r.TRUETIME});
    }
    result.file = std::move(file);
    return result;
}

SpectrumImportResult ImportSpectrumFile(const char* dbName, const AnsiString& path,
                                        const SpectrumImportTarget& target) {
    return SpectrumImporter(dbName, target).Import(path);
}

}  // namespace quantora
