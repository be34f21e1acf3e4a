// The generated lab database of the exchange benchmarks. Every column gets a value of its type
// (references within the filled tables, dates with microseconds, floats with all digits, texts
// with a quote or a non-ASCII letter now and then, comments on about a third of the rows); the
// columns that carry the lab's data are set as the application sets them.
#include "bench/exchange/LabDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/frame/LabTables.h"
#include "quantora/records/Meastables.h"

namespace quantora::bench {

namespace {

using Rng = std::mt19937_64;

void Check(sqlite3* db, int rc, const std::string& what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(what + ": " + sqlite3_errmsg(db));
}

void Exec(sqlite3* db, const std::string& sql) {
    Check(db, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), sql);
}

long long Scalar(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    Check(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), sql);
    long long v = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_finalize(st);
    return v;
}

// ---- spectra: the real counts, each in a few variants of other measuring times, compressed as
// SPECTRUMData stores them.

struct StoredSpectrum {
    AnsiString data;
    int channels = 0, startCount = 0, size = 0;
    short format = 0;
    double sum = 0, max = 0, min = 0;
    std::string fileType;
};

std::vector<unsigned long> ReadCounts(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<unsigned long> counts;
    unsigned long c = 0;
    while (in >> c) counts.push_back(c);
    return counts;
}

StoredSpectrum Store(std::vector<unsigned long> counts, const std::string& fileType) {
    StoredSpectrum s;
    s.fileType = fileType;
    s.min = 1e300;
    for (unsigned long c : counts) {
        s.sum += static_cast<double>(c);
        s.max = std::max(s.max, static_cast<double>(c));
        s.min = std::min(s.min, static_cast<double>(c));
    }
    SPECTRUMData rec;
    rec.CompressCounts(&counts, false);
    s.data = rec.COUNTDATA;
    s.channels = rec.CHANNELS;
    s.startCount = rec.STARTCOUNT;
    s.format = rec.COUNTDATAFORMAT;
    s.size = rec.COUNTDATASIZE;
    return s;
}

std::vector<StoredSpectrum> SpectrumPool(const std::string& countsDir, Rng& rng) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(countsDir))
        if (e.path().extension() == ".txt") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) throw std::runtime_error("no spectra in " + countsDir);
    std::vector<StoredSpectrum> pool;
    for (const auto& f : files) {
        const std::vector<unsigned long> counts = ReadCounts(f);
        if (counts.empty()) continue;
        // "name_Spe.txt" -> "Spe": the format the spectrum was read from.
        std::string stem = f.stem().string();
        const std::string type = stem.substr(stem.find_last_of('_') + 1);
        pool.push_back(Store(counts, type));
        // The same source measured shorter and longer: counts scaled, with counting noise.
        for (double factor : {0.5, 0.8, 1.25, 2.0, 3.0}) {
            std::vector<unsigned long> v(counts.size());
            for (std::size_t i = 0; i < counts.size(); ++i) {
                const double mean = static_cast<double>(counts[i]) * factor;
                std::normal_distribution<double> noise(mean, std::sqrt(mean + 0.25));
                v[i] = static_cast<unsigned long>(std::max(0.0, std::round(noise(rng))));
            }
            pool.push_back(Store(std::move(v), type));
        }
    }
    return pool;
}

// ---- generic rows

const char* const kComments[] = {
    "Measured after the weekly background check.",
    "Sample re-weighed: the first mass was \"approx.\" only.",
    "Dead time above 10 %, repeat with larger distance.\r\nDetector cooled down at 08:15.",
    "Caf\xC3\xA9 soil, Ge-2 d\xC3\xA9tecteur, Pb shield closed.",
    "Reference source checked against the certificate; activity within 1.2 sigma.",
    "Peak at 1460.8 keV (K-40) used to check the energy calibration.",
};
const char* const kWords[] = {"Ge-1 coaxial",
                              "Well type",
                              "Marinelli 1 l",
                              "Petri dish 60 mm",
                              "NaI 3x3\"",
                              "Lab B, shelf 4",
                              "Eu-152 point",
                              "filter paper",
                              "Ba-133",
                              "M\xC3\xBCller",
                              "soil, dried 105 \xC2\xB0"
                              "C"};

struct ColumnInfo {
    std::string name;
    char kind =
        'i';  // i integer, s smallint, f double, d timestamp, c char, v varchar, t text, b blob
    int len = 0;
    bool key = false;          // the table's own <TABLE>_ID
    bool reference = false;    // another *_ID column
    long long refRows = 0;     // rows planned for the table it refers to
    bool refToLookup = false;  // it refers to a lookup table outside the schema
};

class LabGenerator {
  public:
    explicit LabGenerator(sqlite3* db) : db_(db), rng_(20240611) {
        sqlite3_stmt* st = nullptr;
        Check(db,
              sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table'", -1, &st,
                                 nullptr),
              "tables");
        while (sqlite3_step(st) == SQLITE_ROW)
            tables_.insert(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
    }
    Rng& rng() { return rng_; }
    sqlite3* db() const { return db_; }
    void Plan(const std::string& table, long long rows) { planned_[table] = rows; }
    long long Planned(const std::string& table) const {
        auto it = planned_.find(table);
        return it == planned_.end() ? 0 : it->second;
    }
    bool HasTable(const std::string& t) const { return tables_.count(t) > 0; }

    double Uniform(double a, double b) {
        return std::uniform_real_distribution<double>(a, b)(rng_);
    }
    long long Pick(long long n) { return n > 0 ? static_cast<long long>(rng_() % n) : 0; }
    // A date between 2012 and 2026 with microseconds.
    TDateTime Date() {
        static const TDateTime first = EncodeDateTime({2012, 1, 1, 0, 0, 0, 0});
        return first + static_cast<double>(Pick(14 * 365)) +
               static_cast<double>(Pick(86400000000LL)) / 86400e6;
    }

  private:
    sqlite3* db_;
    Rng rng_;
    std::set<std::string> tables_;
    std::map<std::string, long long> planned_;
};

class TableWriter {
  public:
    TableWriter(LabGenerator& gen, const std::string& table) : gen_(gen), table_(table) {
        sqlite3* db = gen.db();
        sqlite3_stmt* info = nullptr;
        Check(db,
              sqlite3_prepare_v2(db, ("PRAGMA table_info(" + table + ")").c_str(), -1, &info,
                                 nullptr),
              table);
        std::string names, marks;
        while (sqlite3_step(info) == SQLITE_ROW) {
            ColumnInfo c;
            c.name = reinterpret_cast<const char*>(sqlite3_column_text(info, 1));
            const std::string type = reinterpret_cast<const char*>(sqlite3_column_text(info, 2));
            if (type == "SMALLINT")
                c.kind = 's';
            else if (type == "DOUBLE")
                c.kind = 'f';
            else if (type == "TIMESTAMP")
                c.kind = 'd';
            else if (type == "TEXT")
                c.kind = 't';
            else if (type == "BLOB")
                c.kind = 'b';
            else if (type.rfind("CHAR(", 0) == 0)
                c.kind = 'c';
            else if (type.rfind("VARCHAR(", 0) == 0)
                c.kind = 'v';
            if (c.kind == 'v') c.len = std::atoi(type.c_str() + 8);
            c.key = c.kind == 'i' && c.name == table + "_ID";
            if (c.kind == 'i' && !c.key && c.name.size() > 3 &&
                c.name.compare(c.name.size() - 3, 3, "_ID") == 0) {
                const std::string target = c.name.find("EMP") != std::string::npos ? "EMPLOYEE"
                                           : c.name == "SUPERPROJECT_ID"
                                               ? "PROJECT"
                                               : c.name.substr(0, c.name.size() - 3);
                c.reference = true;
                c.refRows = gen.Planned(target);
                c.refToLookup = !gen.HasTable(target);
            }
            names += (names.empty() ? "" : ",") + c.name;
            marks += marks.empty() ? "?" : ",?";
            columns_.push_back(c);
        }
        sqlite3_finalize(info);
        if (columns_.empty()) throw std::runtime_error("no table " + table);
        const std::string sql = "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
        Check(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &insert_, nullptr), sql);
        label_ = table.substr(0, 1) + Lower(table.substr(1));
    }
    ~TableWriter() { sqlite3_finalize(insert_); }
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;

    int Col(const char* name) const {
        for (std::size_t i = 0; i < columns_.size(); ++i)
            if (columns_[i].name == name) return static_cast<int>(i);
        throw std::runtime_error(table_ + " has no column " + name);
    }

    // Binds a value of its type to every column; the key column gets `id`.
    void Generic(long long id) {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            const ColumnInfo& c = columns_[i];
            const int col = static_cast<int>(i);
            switch (c.kind) {
                case 'i':
                    if (c.key) {
                        Int(col, id);
                    } else if (c.reference) {
                        // One reference in 20 is unset; tables left empty are never referred to.
                        if (c.refRows > 0 && gen_.Pick(20) != 0)
                            Int(col, 1 + gen_.Pick(c.refRows));
                        else if (c.refToLookup)
                            Int(col, 1 + gen_.Pick(8));
                        else
                            Null(col);
                    } else {
                        Int(col, gen_.Pick(65536));
                    }
                    break;
                case 's':
                    Int(col, gen_.Pick(12));
                    break;
                case 'f':
                    if (gen_.Pick(30) == 0)
                        Null(col);
                    else
                        Double(col, std::exp(gen_.Uniform(-3.0, 9.0)));
                    break;
                case 'd':
                    Date(col, gen_.Date());
                    break;
                case 'c':
                    Text(col, gen_.Pick(4) ? "N" : "Y");
                    break;
                case 'v': {
                    std::string s;
                    if (c.name == "NAME") {
                        s = Format("%s %lld", label_.c_str(), id);
                        if (gen_.Pick(25) == 0)
                            s += " \"repeat\"";
                        else if (gen_.Pick(25) == 0)
                            s += " (M\xC3\xBCller)";
                    } else {
                        s = kWords[gen_.Pick(std::size(kWords))];
                    }
                    if (static_cast<int>(s.size()) > c.len)
                        s.resize(static_cast<std::size_t>(c.len));
                    Text(col, s);
                    break;
                }
                case 't':
                    if (gen_.Pick(3) == 0)
                        Text(col, kComments[gen_.Pick(std::size(kComments))]);
                    else
                        Null(col);
                    break;
                default:
                    Null(col);
                    break;
            }
        }
    }

    void Int(int col, long long v) { sqlite3_bind_int64(insert_, col + 1, v); }
    void Int(const char* name, long long v) { Int(Col(name), v); }
    void Double(int col, double v) { sqlite3_bind_double(insert_, col + 1, v); }
    void Double(const char* name, double v) { Double(Col(name), v); }
    void Date(int col, TDateTime d) {
        char iso[kIsoDateTimeLength + 1];
        FormatIsoDateTime(d, iso);
        sqlite3_bind_text(insert_, col + 1, iso, static_cast<int>(kIsoDateTimeLength),
                          SQLITE_TRANSIENT);
    }
    void Date(const char* name, TDateTime d) { Date(Col(name), d); }
    void Text(int col, const std::string& s) {
        sqlite3_bind_text(insert_, col + 1, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    void Text(const char* name, const std::string& s) { Text(Col(name), s); }
    // The bytes must stay valid until Insert.
    void Blob(const char* name, const void* data, std::size_t n) {
        sqlite3_bind_blob(insert_, Col(name) + 1, data, static_cast<int>(n), SQLITE_STATIC);
    }
    void Null(int col) { sqlite3_bind_null(insert_, col + 1); }
    void Null(const char* name) { Null(Col(name)); }

    void Insert() {
        Check(gen_.db(), sqlite3_step(insert_), "insert into " + table_);
        sqlite3_reset(insert_);
        ++rows_;
    }
    long long Rows() const { return rows_; }

  private:
    static std::string Lower(std::string s) {
        for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return s;
    }

    LabGenerator& gen_;
    std::string table_, label_;
    std::vector<ColumnInfo> columns_;
    sqlite3_stmt* insert_ = nullptr;
    long long rows_ = 0;
};

// Reference tables filled with generic rows, in a lab's proportions.
struct PlannedRows {
    quantora::LabTable table;
    long long rows;
};
using T = quantora::LabTable;
const PlannedRows kReferenceRows[] = {
    {T::EMPLOYEE, 45},      {T::SOURCE, 400},         {T::DETECTOR, 16},
    {T::ADC, 16},           {T::MEASRANGE, 8},        {T::MEASPOSITION, 24},
    {T::MEASSETUP, 64},     {T::PROJECT, 1200},       {T::IRRADIATIONLOCATION, 10},
    {T::IRRADIATION, 2500}, {T::LOT, 4000},           {T::SAMPLEGEOM, 60},
    {T::SAMPLE, 30000},     {T::NONLINANALYSIS, 120},
};

std::vector<double> Doubles(LabGenerator& gen, std::size_t n) {
    std::vector<double> v(n);
    for (double& x : v) x = gen.Uniform(-2.0, 2.0) * std::exp(gen.Uniform(-6.0, 6.0));
    return v;
}

void FillReferenceTables(LabGenerator& gen) {
    for (const PlannedRows& p : kReferenceRows) gen.Plan(quantora::LabTableName(p.table), p.rows);
    for (const PlannedRows& p : kReferenceRows) {
        TableWriter w(gen, quantora::LabTableName(p.table));
        for (long long id = 1; id <= p.rows; ++id) {
            w.Generic(id);
            std::vector<double> a, b, m, norm, coeff, geometry;
            if (p.table == T::NONLINANALYSIS) {
                const std::size_t degree = 3 + static_cast<std::size_t>(gen.Pick(6));
                w.Int("ORTPOLDEGREE", static_cast<long long>(degree));
                a = Doubles(gen, degree + 1);
                b = Doubles(gen, degree + 1);
                m = Doubles(gen, (degree + 1) * (degree + 1));
                norm = Doubles(gen, degree + 1);
                coeff = Doubles(gen, degree + 1);
                w.Blob("ORTPOLAVECT", a.data(), a.size() * sizeof(double));
                w.Blob("ORTPOLBVECT", b.data(), b.size() * sizeof(double));
                w.Blob("FITMATR", m.data(), m.size() * sizeof(double));
                w.Blob("ORTPOLNORMVECT", norm.data(), norm.size() * sizeof(double));
                w.Blob("FITCOEFFVECT", coeff.data(), coeff.size() * sizeof(double));
            } else if (p.table == T::SAMPLEGEOM) {
                geometry = Doubles(gen, 8 + static_cast<std::size_t>(gen.Pick(120)));
                w.Blob("DATA", geometry.data(), geometry.size() * sizeof(double));
            }
            w.Insert();
        }
    }
    // Two or three nuclides per source (composite key).
    TableWriter w(gen, "SOURCEISOMER");
    for (long long source = 1; source <= gen.Planned("SOURCE"); ++source)
        for (long long k = 0, n = 2 + gen.Pick(2); k < n; ++k) {
            w.Generic(0);
            w.Int("SOURCE_ID", source);
            w.Int("ISOMER_ID", 1 + (source * 7 + k * 131) % 3000);
            w.Insert();
        }
}

// Gamma lines a calibration is made with.
const double kLines[] = {59.5409,  121.7817, 344.2785, 661.657, 778.9045, 964.057,
                         1173.228, 1332.492, 1408.013, 1460.82, 2614.511};

class MeasurementWriter {
  public:
    MeasurementWriter(LabGenerator& gen, const std::vector<StoredSpectrum>& pool)
        : gen_(gen),
          pool_(pool),
          meas_(gen, "MEASUREMENT"),
          spec_(gen, "SPECTRUM"),
          ecal_(gen, "ECAL"),
          fwhm_(gen, "FWHMCAL"),
          ecalPoint_(gen, "ECALPOINT"),
          fwhmPoint_(gen, "FWHMCALPOINT"),
          eval_(gen, "PEAKEVAL"),
          peak_(gen, "PEAK"),
          chunk_(gen, "BLOBCHUNK"),
          chunkData_(16000, '\0') {
        for (char& c : chunkData_) c = static_cast<char>(gen.rng()());
    }

    // One measurement of a sample or a source with its spectrum, calibrations and peaks.
    void Add(long long m) {
        const StoredSpectrum& s = pool_[static_cast<std::size_t>(m * 7919 % pool_.size())];
        const double live = 300.0 * static_cast<double>(1 + gen_.Pick(288));
        const double real = live * gen_.Uniform(1.001, 1.2);
        const TDateTime start = 40909.0 + static_cast<double>(m) * 0.137 +
                                static_cast<double>(gen_.Pick(86400000)) / 86400e3;
        const TDateTime end = start + real / 86400.0;

        meas_.Generic(m);
        const bool source = gen_.Pick(10) == 0;
        meas_.Int("MEASOBJTYPE_ID", source ? 3 : 2);
        if (source) {
            meas_.Int("SOURCE_ID", 1 + gen_.Pick(gen_.Planned("SOURCE")));
            meas_.Null("SAMPLE_ID");
        } else {
            meas_.Int("SAMPLE_ID", 1 + gen_.Pick(gen_.Planned("SAMPLE")));
            meas_.Null("SOURCE_ID");
        }
        meas_.Null("SOURCELIST_ID");
        meas_.Text("NAME", Format("M%06lld-%s", m, s.fileType.c_str()));
        meas_.Date("STARTDATE", start);
        meas_.Date("ENDDATE", end);
        meas_.Date("CREATIONDATE", end);
        meas_.Insert();

        spec_.Generic(m);
        spec_.Int("MEASUREMENT_ID", m);
        spec_.Int("SPECTRUMTYPE_ID", 1);
        spec_.Text("NAME", Format("Spectrum of M%06lld, %d channels", m, s.channels));
        spec_.Date("SPECOLLSTARTEDAT", start);
        spec_.Date("SPECOLLENDEDAT", end);
        spec_.Double("LIVETIME", live);
        spec_.Double("TRUETIME", real);
        spec_.Int("CHANNELS", s.channels);
        spec_.Double("MAXCOUNT", s.max);
        spec_.Double("MINCOUNT", s.min);
        spec_.Double("SUMCOUNT", s.sum);
        spec_.Int("STARTCOUNT", s.startCount);
        spec_.Int("COUNTDATAFORMAT", s.format);
        spec_.Int("COUNTDATASIZE", s.size);
        spec_.Blob("COUNTDATA", s.data.data(), s.data.size());
        spec_.Null("SPECIFICDATASIZE");
        spec_.Null("SPECIFICDATA");
        spec_.Text("SPEFILETYPE", s.fileType);
        spec_.Date("CREATIONDATE", end);
        spec_.Insert();

        const double gain = gen_.Uniform(0.18, 0.75), offset = gen_.Uniform(-1.5, 1.5);
        ecal_.Generic(m);
        ecal_.Int("SPECTRUM_ID", m);
        ecal_.Double("PARAMA", offset);
        ecal_.Double("PARAMB", gain);
        ecal_.Insert();
        fwhm_.Generic(m);
        fwhm_.Int("SPECTRUM_ID", m);
        fwhm_.Insert();
        for (int k = 0; k < 6; ++k) {
            const double e = kLines[(m + k * 2) % std::size(kLines)];
            ecalPoint_.Generic(++ecalPoints_);
            ecalPoint_.Int("ECAL_ID", m);
            ecalPoint_.Double("ENERGY", e);
            ecalPoint_.Double("CHPOS", (e - offset) / gain + gen_.Uniform(-0.3, 0.3));
            ecalPoint_.Double("CHPOSUNC", gen_.Uniform(0.005, 0.2));
            ecalPoint_.Text("DESCRIPTION", Format("%.4f keV", e));
            ecalPoint_.Insert();
        }
        for (int k = 0; k < 5; ++k) {
            fwhmPoint_.Generic(++fwhmPoints_);
            fwhmPoint_.Int("FWHMCAL_ID", m);
            fwhmPoint_.Insert();
        }

        eval_.Generic(m);
        eval_.Int("MEASUREMENT_ID", m);
        eval_.Int("ECAL_ID", m);
        eval_.Int("FWHMCAL_ID", m);
        eval_.Insert();
        for (int k = 0; k < 8; ++k) {
            peak_.Generic(++peaks_);
            peak_.Int("PEAKEVAL_ID", m);
            peak_.Null("PEAKEVALPEAK_ID");
            peak_.Insert();
        }

        // Now and then a long value (a report, a list-mode excerpt) as a chain of chunks.
        if (m % 100 == 0)
            for (int k = 0; k < 2; ++k) {
                chunk_.Generic(++chunks_);
                chunk_.Text("OWNERTYPE", "SPECTRUM");
                chunk_.Int("OWNERID1", m);
                chunk_.Int("OWNERID2", 0);
                chunk_.Int("SERIAL", k);
                chunk_.Blob("DATA", chunkData_.data(), chunkData_.size());
                chunk_.Int("DATASIZE", static_cast<long long>(chunkData_.size()));
                if (k == 0)
                    chunk_.Null("PREVBLOBCHUNK_ID");
                else
                    chunk_.Int("PREVBLOBCHUNK_ID", chunks_ - 1);
                chunk_.Insert();
            }
        countBytes_ += s.size;
    }
    long long CountBytes() const { return countBytes_; }

  private:
    LabGenerator& gen_;
    const std::vector<StoredSpectrum>& pool_;
    TableWriter meas_, spec_, ecal_, fwhm_, ecalPoint_, fwhmPoint_, eval_, peak_, chunk_;
    std::string chunkData_;
    long long ecalPoints_ = 0, fwhmPoints_ = 0, peaks_ = 0, chunks_ = 0, countBytes_ = 0;
};

}  // namespace

void RemoveDatabaseFiles(const std::string& path) {
    for (const char* s : {"", "-wal", "-shm", "-journal"}) std::remove((path + s).c_str());
}

LabDatabaseStats BuildLabDatabase(const std::string& alias, const std::string& path,
                                  long long minBytes, const std::string& countsDir) {
    RemoveDatabaseFiles(path);
    OpenDatabase(alias, "sqlite:" + path);
    CreateSchema(alias);
    CloseDatabase(alias);

    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path);
    }
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(db, &sqlite3_close);
    Exec(db, "PRAGMA synchronous=OFF");
    LabGenerator gen(db);
    const std::vector<StoredSpectrum> pool = SpectrumPool(countsDir, gen.rng());

    LabDatabaseStats stats;
    Exec(db, "BEGIN");
    FillReferenceTables(gen);
    {
        MeasurementWriter writer(gen, pool);
        const long long pageSize = Scalar(db, "PRAGMA page_size");
        long long m = 0;
        do {
            for (int k = 0; k < 500; ++k) writer.Add(++m);
        } while (Scalar(db, "PRAGMA page_count") * pageSize < minBytes);
        stats.spectra = m;
        stats.countBytes = writer.CountBytes();
    }
    Exec(db, "COMMIT");
    Exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");

    sqlite3_stmt* st = nullptr;
    Check(db,
          sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table'", -1, &st,
                             nullptr),
          "tables");
    std::vector<std::string> tables;
    while (sqlite3_step(st) == SQLITE_ROW)
        tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    std::set<std::string> exported;
    for (const char* const* t = QuantoraXmlExporter::ExportedTables; *t; ++t) exported.insert(*t);
    std::string exportedList;
    for (const std::string& t : tables) {
        const long long n = Scalar(db, "SELECT COUNT(*) FROM " + t);
        stats.rows += n;
        (exported.count(t) ? stats.exportedRows : stats.otherTableRows) += n;
        if (exported.count(t)) exportedList += (exportedList.empty() ? "'" : ",'") + t + "'";
    }
    // Pages of the exported tables and their indexes, where SQLite has the dbstat table.
    sqlite3_stmt* pages = nullptr;
    if (sqlite3_prepare_v2(db,
                           ("SELECT SUM(d.pgsize) FROM dbstat d JOIN sqlite_master m ON m.name = "
                            "d.name WHERE m.tbl_name IN (" +
                            exportedList + ")")
                               .c_str(),
                           -1, &pages, nullptr) == SQLITE_OK &&
        sqlite3_step(pages) == SQLITE_ROW)
        stats.exportedBytes = sqlite3_column_int64(pages, 0);
    sqlite3_finalize(pages);
    closer.reset();
    stats.bytes = static_cast<long long>(std::filesystem::file_size(path));
    return stats;
}

}  // namespace quantora::bench
