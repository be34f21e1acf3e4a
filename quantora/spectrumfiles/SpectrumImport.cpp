// One spectrum file into the database: a measurement (found or made), then its spectra, in one
// transaction.
#include "quantora/spectrumfiles/SpectrumImport.h"

#include <filesystem>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/records/Meastables.h"
#include "quantora/spectrumfiles/SpectrumRows.h"

namespace quantora {

namespace {

bool RowExists(const char* dbName, const char* table, int key) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(Format("SELECT COUNT(*) FROM %s WHERE %s_ID = :id", table, table));
    q.ParamByName("id")->SetAsInteger(key);
    q.Open();
    return q.Fields()[0]->AsInteger() > 0;
}

// True when a spectrum with the same counts checksum, channel count and times is stored.
bool AlreadyStored(const char* dbName, const SpectrumFileData& s) {
    const std::vector<unsigned long> counts = CountsFromChannelZero(s);
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT COUNT(*) FROM SPECTRUM WHERE CRC32 = :crc AND CHANNELS = :n AND LIVETIME = :live "
        "AND TRUETIME = :real");
    q.ParamByName("crc")->SetAsInteger(static_cast<int>(SpectrumCountsCrc32(counts)));
    q.ParamByName("n")->SetAsInteger(static_cast<int>(counts.size()));
    q.ParamByName("live")->SetAsFloat(s.liveTime);
    q.ParamByName("real")->SetAsFloat(s.realTime);
    q.Open();
    return q.Fields()[0]->AsInteger() > 0;
}

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

SpectrumImportResult ImportSpectrumData(const char* dbName, SpectrumFile file,
                                        const AnsiString& path,
                                        const SpectrumImportTarget& target) {
    SpectrumImportResult result;
    if (target.measurementId > 0) {
        if (!RowExists(dbName, "MEASUREMENT", target.measurementId))
            throw Exception(
                Format("no measurement with MEASUREMENT_ID = %d", target.measurementId));
    } else if (!RowExists(dbName, "PROJECT", target.projectId)) {
        throw Exception(Format("no project with PROJECT_ID = %d", target.projectId));
    }
    if (target.measurementId <= 0) {
        bool all = true;
        for (const SpectrumFileData& s : file.spectra) all = all && AlreadyStored(dbName, s);
        result.alreadyPresent = all;
    }
    if (!result.alreadyPresent) {
        Transaction tr(dbName);
        result.measurementId = target.measurementId > 0
                                   ? target.measurementId
                                   : NewMeasurement(dbName, file, path, target.projectId);
        MaxKeyGen spectrumKeys(dbName, "SPECTRUM"), ecalKeys(dbName, "ECAL"),
            pointKeys(dbName, "ECALPOINT");
        for (const SpectrumFileData& s : file.spectra)
            result.spectrumIds.push_back(StoreFileSpectrum(s, result.measurementId, dbName,
                                                           &spectrumKeys, &ecalKeys, &pointKeys));
        tr.Commit();
    }
    result.file = std::move(file);
    return result;
}

SpectrumImportResult ImportSpectrumFile(const char* dbName, const AnsiString& path,
                                        const SpectrumImportTarget& target) {
    return ImportSpectrumData(dbName, ReadSpectrumFile(path, target.read), path, target);
}

}  // namespace quantora
