// Record classes against raw SQLite doing the same work: reading and inserting PEAK and PEAKEVAL
// rows through cached records, and reading measurements with the
// spectra query that MEASUREMENTData runs per row, with the spectrum rows and their counts.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/common/RatioReporter.h"
#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/records/Meastables.h"
#include "quantora/records/Peaktables.h"
#include "quantora/spectrum/SpectrumCompressor.h"

using quantora::Format;

namespace {

constexpr int kRows = 100000;         // PEAK and PEAKEVAL rows read and inserted
constexpr int kMeasurements = 10000;  // measurements, one spectrum each
constexpr TDateTime kDay0 = 46000.0;  // 2025-12-09

// ---------------------------------------------------------------------------------------------
// Raw SQLite helpers

std::string TempPath(const char* name) {
    return "/tmp/quantora_recbench_" + std::to_string(getpid()) + "_" + name + ".db";
}

void RemoveDb(const std::string& path) {
    for (const char* s : {"", "-wal", "-shm"}) std::remove((path + s).c_str());
}

void Check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}

// Opened as the layer opens its connections: no per-call mutex, WAL, full sync.
sqlite3* RawOpen(const std::string& path) {
    sqlite3* db = nullptr;
    Check(
        sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr),
        db);
    Check(sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr,
                       nullptr),
          db);
    return db;
}

sqlite3_stmt* RawPrepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), db);
    return st;
}

void RawExec(sqlite3* db, const char* sql) {
    Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db);
}

// An empty database with the schema, made through the layer (set-up, not measured).
void FreshSchema(const std::string& path, const char* alias) {
    RemoveDb(path);
    OpenDatabase(alias, "sqlite:" + path);
    CreateSchema(alias);
    CloseDatabase(alias);
}

// Column readers of the raw loops: a null column keeps the member's reset value, as in a record.
bool IsNull(sqlite3_stmt* st, int i) {
    return sqlite3_column_type(st, i) == SQLITE_NULL;
}
void ReadInt(sqlite3_stmt* st, int i, int& out) {
    if (!IsNull(st, i)) out = sqlite3_column_int(st, i);
}
void ReadShort(sqlite3_stmt* st, int i, short& out) {
    if (!IsNull(st, i)) out = static_cast<short>(sqlite3_column_int(st, i));
}
void ReadDouble(sqlite3_stmt* st, int i, double& out) {
    if (!IsNull(st, i)) out = sqlite3_column_double(st, i);
}
void ReadText(sqlite3_stmt* st, int i, std::string& out) {
    if (IsNull(st, i)) return;
    const void* p = sqlite3_column_blob(st, i);
    out.assign(static_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(st, i)));
}
void ReadDate(sqlite3_stmt* st, int i, double& out) {
    if (IsNull(st, i)) return;
    const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
    if (!quantora::ParseIsoDateTime(
            std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(st, i))), out))
        throw std::runtime_error("bad date");
}
void ReadFlag(sqlite3_stmt* st, int i, bool& out) {
    if (IsNull(st, i)) return;
    const unsigned char* p = sqlite3_column_text(st, i);
    out = sqlite3_column_bytes(st, i) == 1 && (p[0] == 'Y' || p[0] == 'y');
}

void BindDate(sqlite3_stmt* st, int i, TDateTime d) {
    char iso[quantora::kIsoDateTimeLength + 1];
    quantora::FormatIsoDateTime(d, iso);
    sqlite3_bind_text(st, i, iso, static_cast<int>(quantora::kIsoDateTimeLength), SQLITE_TRANSIENT);
}
void BindText(sqlite3_stmt* st, int i, const std::string& s) {
    sqlite3_bind_text(st, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// ---------------------------------------------------------------------------------------------
// PEAK and PEAKEVAL: plain structs of the raw loops, row contents, and what a reader does with a
// row (the same for records and structs).

struct RawPeak {
    int PEAK_ID, PEAKEVAL_ID;
    double POS, POSUNC, E, EUNC, AREA, AREAUNC, FWHM, FWHMUNC;
    int PEAKEVALPEAK_ID;
    double GAUSSFWHM, GAUSSFWHMUNC, GAUSSAMPL, GAUSSAMPLUNC, HEIGHT, HEIGHTUNC, GUEST, BKG;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;

    void Reset() {
        PEAK_ID = PEAKEVAL_ID = PEAKEVALPEAK_ID = EMPLOYEE_ID = -1;
        double* d[] = {&POS,    &POSUNC,    &E,         &EUNC,         &AREA,        &AREAUNC,
                       &FWHM,   &FWHMUNC,   &GAUSSFWHM, &GAUSSFWHMUNC, &GAUSSAMPL,   &GAUSSAMPLUNC,
                       &HEIGHT, &HEIGHTUNC, &GUEST,     &BKG,          &CREATIONDATE};
        for (double* p : d) *p = -1.0;
    }
};

struct RawPeakEval {
    int PEAKEVAL_ID, PEAKEVALMETHOD_ID, PEAKEVALCAL_ID, MEASUREMENT_ID;
    std::string NAME, TENTATIVE;
    int LASTMODBY_EMP_ID;
    TDateTime LASTMODIFIEDDATE;
    int PERFORMEDBY_EMP_ID;
    TDateTime CREATIONDATE;
    std::string CMT;
    int LEFTTRESHOLDCH, RIGHTTRESHOLDCH;
    int ECAL_ID, FWHMCAL_ID;
    bool USENEWESTECAL, USENEWESTWCAL, USEAUTOECALUPDATE;

    void Reset() {
        PEAKEVAL_ID = PEAKEVALMETHOD_ID = PEAKEVALCAL_ID = MEASUREMENT_ID = -1;
        LASTMODBY_EMP_ID = PERFORMEDBY_EMP_ID = ECAL_ID = FWHMCAL_ID = -1;
        LEFTTRESHOLDCH = RIGHTTRESHOLDCH = 1;
        LASTMODIFIEDDATE = CREATIONDATE = -1.0;
        NAME.clear();
        TENTATIVE.clear();
        CMT.clear();
        USENEWESTECAL = USENEWESTWCAL = USEAUTOECALUPDATE = true;
    }
};

// Row i of the tables (i from 1); the same values for records and raw structs.
template <class P>
void MakePeak(int i, P& p) {
    const double e = 20.0 + (i * 7919 % 298000) * 0.01;
    p.PEAK_ID = i;
    p.PEAKEVAL_ID = 1 + i / 40;
    p.POS = e * 2.7;
    p.POSUNC = 0.05 + (i % 13) * 0.001;
    p.E = e;
    p.EUNC = 0.02 + (i % 11) * 0.001;
    p.AREA = 1000.0 + i % 977;
    p.AREAUNC = 35.0 + i % 17;
    p.FWHM = 1.9 + (i % 23) * 0.01;
    p.FWHMUNC = 0.04;
    p.PEAKEVALPEAK_ID = 1 + i % 40;
    p.GAUSSFWHM = 1.85 + (i % 19) * 0.01;
    p.GAUSSFWHMUNC = 0.03;
    p.GAUSSAMPL = 120.0 + i % 311;
    p.GAUSSAMPLUNC = 4.5;
    p.HEIGHT = 118.0 + i % 307;
    p.HEIGHTUNC = 4.4;
    p.GUEST = 0.5;
    p.BKG = 12.0 + i % 29;
    p.EMPLOYEE_ID = 1 + i % 12;
    p.CREATIONDATE = kDay0 + i / 1440.0;
}

// Names like a lab's; a comment on every tenth evaluation; every fifth without calibrations.
template <class P>
void MakePeakEval(int i, P& p) {
    p.PEAKEVAL_ID = i;
    p.PEAKEVALMETHOD_ID = 1 + i % 3;
    p.PEAKEVALCAL_ID = 1 + i % 7;
    p.MEASUREMENT_ID = 1 + i / 2;
    p.NAME = "Automatic peak search, run " + std::to_string(i);
    p.TENTATIVE = i % 4 == 0 ? "Y" : "N";
    p.LASTMODBY_EMP_ID = 1 + i % 12;
    p.LASTMODIFIEDDATE = kDay0 + i / 1000.0;
    p.PERFORMEDBY_EMP_ID = 1 + i % 9;
    p.CREATIONDATE = kDay0 + i / 1440.0;
    p.CMT = i % 10 == 0 ? "Multiplet at 1173 keV refitted by hand" : "";
    p.LEFTTRESHOLDCH = 20 + i % 5;
    p.RIGHTTRESHOLDCH = 8000 + i % 100;
    p.ECAL_ID = i % 5 == 0 ? -1 : i;
    p.FWHMCAL_ID = i % 5 == 0 ? -1 : i;
    p.USENEWESTECAL = i % 2 == 0;
    p.USENEWESTWCAL = true;
    p.USEAUTOECALUPDATE = i % 3 != 0;
}

template <class P>
double UsePeak(const P& p) {
    return p.PEAK_ID + p.PEAKEVAL_ID + p.E + p.AREA + p.FWHM + p.BKG + p.EMPLOYEE_ID +
           p.CREATIONDATE;
}

template <class P>
double UsePeakEval(const P& p) {
    return p.PEAKEVAL_ID + p.MEASUREMENT_ID + static_cast<double>(p.NAME.size()) +
           static_cast<double>(p.CMT.size()) + static_cast<double>(p.TENTATIVE.size()) +
           p.LASTMODIFIEDDATE + p.CREATIONDATE + p.ECAL_ID + p.FWHMCAL_ID + p.RIGHTTRESHOLDCH +
           p.USENEWESTECAL + p.USEAUTOECALUPDATE;
}

const char* kInsertPeakSql =
    "INSERT INTO PEAK (PEAK_ID, PEAKEVAL_ID, POS, POSUNC, E, EUNC, AREA, AREAUNC, FWHM, FWHMUNC, "
    "PEAKEVALPEAK_ID, GAUSSFWHM, GAUSSFWHMUNC, GAUSSAMPL, GAUSSAMPLUNC, HEIGHT, HEIGHTUNC, GUEST, "
    "BKG, EMPLOYEE_ID, CREATIONDATE) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

void BindPeak(sqlite3_stmt* st, const RawPeak& p) {
    sqlite3_bind_int(st, 1, p.PEAK_ID);
    sqlite3_bind_int(st, 2, p.PEAKEVAL_ID);
    const double d1[] = {p.POS, p.POSUNC, p.E, p.EUNC, p.AREA, p.AREAUNC, p.FWHM, p.FWHMUNC};
    for (int k = 0; k < 8; ++k) sqlite3_bind_double(st, 3 + k, d1[k]);
    sqlite3_bind_int(st, 11, p.PEAKEVALPEAK_ID);
    const double d2[] = {p.GAUSSFWHM, p.GAUSSFWHMUNC, p.GAUSSAMPL, p.GAUSSAMPLUNC,
                         p.HEIGHT,    p.HEIGHTUNC,    p.GUEST,     p.BKG};
    for (int k = 0; k < 8; ++k) sqlite3_bind_double(st, 12 + k, d2[k]);
    sqlite3_bind_int(st, 20, p.EMPLOYEE_ID);
    BindDate(st, 21, p.CREATIONDATE);
}

const char* kInsertPeakEvalSql =
    "INSERT INTO PEAKEVAL (PEAKEVAL_ID, PEAKEVALMETHOD_ID, PEAKEVALCAL_ID, MEASUREMENT_ID, NAME, "
    "TENTATIVE, LASTMODBY_EMP_ID, LASTMODIFIEDDATE, PERFORMEDBY_EMP_ID, CREATIONDATE, CMT, "
    "LEFTTRESHOLDCH, RIGHTTRESHOLDCH, ECAL_ID, FWHMCAL_ID, USENEWESTECAL, USENEWESTWCAL, "
    "USEAUTOECALUPDATE) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

// The record's write rules: an empty comment is not written, calibrations not above 0 are null.
void BindPeakEval(sqlite3_stmt* st, const RawPeakEval& p) {
    sqlite3_bind_int(st, 1, p.PEAKEVAL_ID);
    sqlite3_bind_int(st, 2, p.PEAKEVALMETHOD_ID);
    sqlite3_bind_int(st, 3, p.PEAKEVALCAL_ID);
    sqlite3_bind_int(st, 4, p.MEASUREMENT_ID);
    BindText(st, 5, p.NAME);
    BindText(st, 6, p.TENTATIVE);
    sqlite3_bind_int(st, 7, p.LASTMODBY_EMP_ID);
    BindDate(st, 8, p.LASTMODIFIEDDATE);
    sqlite3_bind_int(st, 9, p.PERFORMEDBY_EMP_ID);
    BindDate(st, 10, p.CREATIONDATE);
    if (p.CMT.empty())
        sqlite3_bind_null(st, 11);
    else
        BindText(st, 11, p.CMT);
    sqlite3_bind_int(st, 12, p.LEFTTRESHOLDCH);
    sqlite3_bind_int(st, 13, p.RIGHTTRESHOLDCH);
    const int calib[] = {p.ECAL_ID, p.FWHMCAL_ID};
    for (int k = 0; k < 2; ++k)
        if (calib[k] > 0)
            sqlite3_bind_int(st, 14 + k, calib[k]);
        else
            sqlite3_bind_null(st, 14 + k);
    const bool flags[] = {p.USENEWESTECAL, p.USENEWESTWCAL, p.USEAUTOECALUPDATE};
    for (int k = 0; k < 3; ++k)
        sqlite3_bind_text(st, 16 + k, flags[k] ? "Y" : "N", 1, SQLITE_TRANSIENT);
}

// ---------------------------------------------------------------------------------------------
// Reading PEAK and PEAKEVAL

struct TableFixture {
    std::string path = TempPath("tables");
    TableFixture() {
        FreshSchema(path, "bench_tables");
        sqlite3* db = RawOpen(path);
        RawExec(db, "BEGIN");
        sqlite3_stmt* peak = RawPrepare(db, kInsertPeakSql);
        sqlite3_stmt* eval = RawPrepare(db, kInsertPeakEvalSql);
        RawPeak p;
        RawPeakEval e;
        for (int i = 1; i <= kRows; ++i) {
            MakePeak(i, p);
            BindPeak(peak, p);
            Check(sqlite3_step(peak), db);
            sqlite3_reset(peak);
            MakePeakEval(i, e);
            BindPeakEval(eval, e);
            Check(sqlite3_step(eval), db);
            sqlite3_reset(eval);
        }
        sqlite3_finalize(peak);
        sqlite3_finalize(eval);
        RawExec(db, "COMMIT");
        sqlite3_close(db);
        OpenDatabase("bench_tables", "sqlite:" + path);
    }
    ~TableFixture() {
        CloseDatabase("bench_tables");
        RemoveDb(path);
    }
};
TableFixture& Tables() {
    static TableFixture f;
    return f;
}

void BM_ReadPeak_Raw(benchmark::State& state) {
    sqlite3* db = RawOpen(Tables().path);
    for (auto _ : state) {
        sqlite3_stmt* st = RawPrepare(db, "SELECT * FROM PEAK");
        RawPeak p;
        double sum = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            p.Reset();
            ReadInt(st, 0, p.PEAK_ID);
            ReadInt(st, 1, p.PEAKEVAL_ID);
            double* d1[] = {&p.POS,  &p.POSUNC,  &p.E,    &p.EUNC,
                            &p.AREA, &p.AREAUNC, &p.FWHM, &p.FWHMUNC};
            for (int k = 0; k < 8; ++k) ReadDouble(st, 2 + k, *d1[k]);
            ReadInt(st, 10, p.PEAKEVALPEAK_ID);
            double* d2[] = {&p.GAUSSFWHM, &p.GAUSSFWHMUNC, &p.GAUSSAMPL, &p.GAUSSAMPLUNC,
                            &p.HEIGHT,    &p.HEIGHTUNC,    &p.GUEST,     &p.BKG};
            for (int k = 0; k < 8; ++k) ReadDouble(st, 11 + k, *d2[k]);
            ReadInt(st, 19, p.EMPLOYEE_ID);
            ReadDate(st, 20, p.CREATIONDATE);
            sum += UsePeak(p);
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_ReadPeak_Cached(benchmark::State& state) {
    Tables();
    for (auto _ : state) {
        TQuery q;
        q.SetDatabaseName("bench_tables");
        q.SetSQL("SELECT * FROM PEAK");
        q.SetUniDirectional(true);
        q.Open();
        PEAKData p;
        p.GetFieldPtrs(&q);
        double sum = 0;
        for (; !q.Eof(); q.Next()) {
            p.GetData(&q);
            sum += UsePeak(p);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void ReadRawPeakEval(sqlite3_stmt* st, RawPeakEval& p) {
    p.Reset();
    ReadInt(st, 0, p.PEAKEVAL_ID);
    ReadInt(st, 1, p.PEAKEVALMETHOD_ID);
    ReadInt(st, 2, p.PEAKEVALCAL_ID);
    ReadInt(st, 3, p.MEASUREMENT_ID);
    ReadText(st, 4, p.NAME);
    ReadText(st, 5, p.TENTATIVE);
    ReadInt(st, 6, p.LASTMODBY_EMP_ID);
    ReadDate(st, 7, p.LASTMODIFIEDDATE);
    ReadInt(st, 8, p.PERFORMEDBY_EMP_ID);
    ReadDate(st, 9, p.CREATIONDATE);
    ReadText(st, 10, p.CMT);
    ReadInt(st, 11, p.LEFTTRESHOLDCH);
    ReadInt(st, 12, p.RIGHTTRESHOLDCH);
    ReadInt(st, 13, p.ECAL_ID);
    ReadInt(st, 14, p.FWHMCAL_ID);
    ReadFlag(st, 15, p.USENEWESTECAL);
    ReadFlag(st, 16, p.USENEWESTWCAL);
    ReadFlag(st, 17, p.USEAUTOECALUPDATE);
}

void BM_ReadPeakEval_Raw(benchmark::State& state) {
    sqlite3* db = RawOpen(Tables().path);
    for (auto _ : state) {
        sqlite3_stmt* st = RawPrepare(db, "SELECT * FROM PEAKEVAL");
        RawPeakEval p;
        double sum = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            ReadRawPeakEval(st, p);
            sum += UsePeakEval(p);
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_ReadPeakEval_Cached(benchmark::State& state) {
    Tables();
    for (auto _ : state) {
        TQuery q;
        q.SetDatabaseName("bench_tables");
        q.SetSQL("SELECT * FROM PEAKEVAL");
        q.SetUniDirectional(true);
        q.Open();
        PEAKEVALData p;
        p.GetFieldPtrs(&q);
        double sum = 0;
        for (; !q.Eof(); q.Next()) {
            p.GetData(&q);
            sum += UsePeakEval(p);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// ---------------------------------------------------------------------------------------------
// Inserting PEAK and PEAKEVAL: one transaction, into an empty table

// Record inserts through one live query, keys set by the caller.
template <class Rec, void (*Make)(int, Rec&)>
void InsertRecords(benchmark::State& state, const char* name) {
    const std::string path = TempPath(name);
    const char* alias = "bench_insert";
    for (auto _ : state) {
        state.PauseTiming();
        FreshSchema(path, alias);
        OpenDatabase(alias, "sqlite:" + path);
        state.ResumeTiming();
        {
            Transaction tr(alias);
            TQuery q;
            q.SetDatabaseName(alias);
            q.SetSQL(AnsiString("SELECT * FROM ") + Rec::Table);
            q.SetRequestLive(true);
            q.Open();
            Rec r;
            for (int i = 1; i <= kRows; ++i) {
                Make(i, r);
                r.Insert(nullptr, alias, &q);
            }
            q.Close();
            tr.Commit();
        }
        state.PauseTiming();
        CloseDatabase(alias);
        state.ResumeTiming();
    }
    RemoveDb(path);
    state.SetItemsProcessed(state.iterations() * kRows);
}

template <class Raw, void (*Make)(int, Raw&), void (*Bind)(sqlite3_stmt*, const Raw&)>
void InsertRaw(benchmark::State& state, const char* name, const char* sql) {
    const std::string path = TempPath(name);
    for (auto _ : state) {
        state.PauseTiming();
        FreshSchema(path, "bench_insert_raw");
        sqlite3* db = RawOpen(path);
        state.ResumeTiming();
        RawExec(db, "BEGIN");
        sqlite3_stmt* st = RawPrepare(db, sql);
        Raw r;
        for (int i = 1; i <= kRows; ++i) {
            Make(i, r);
            Bind(st, r);
            Check(sqlite3_step(st), db);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        RawExec(db, "COMMIT");
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    RemoveDb(path);
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_InsertPeak_Raw(benchmark::State& state) {
    InsertRaw<RawPeak, MakePeak<RawPeak>, BindPeak>(state, "ins_peak_raw", kInsertPeakSql);
}
void BM_InsertPeak_Cached(benchmark::State& state) {
    InsertRecords<PEAKData, MakePeak<PEAKData>>(state, "ins_peak");
}
void BM_InsertPeakEval_Raw(benchmark::State& state) {
    InsertRaw<RawPeakEval, MakePeakEval<RawPeakEval>, BindPeakEval>(state, "ins_eval_raw",
                                                                    kInsertPeakEvalSql);
}
void BM_InsertPeakEval_Cached(benchmark::State& state) {
    InsertRecords<PEAKEVALData, MakePeakEval<PEAKEVALData>>(state, "ins_eval");
}

// ---------------------------------------------------------------------------------------------
// Measurements with their spectra

struct RawMeasurement {
    int MEASMETHOD_ID, MEASUREMENT_ID, MEASSETUP_ID, SOURCE_ID, SOURCELIST_ID, PROJECT_ID;
    std::string NAME;
    int MEASOBJTYPE_ID, SAMPLE_ID, MEASUREDBY_EMP_ID;
    TDateTime STARTDATE, ENDDATE;
    int ENTEREDBY_EMP_ID;
    TDateTime CREATIONDATE;
    std::string CMT, EXPORTFILENAME;
    MeasTypeInfoData MeasTypeInfo;  // filled by the raw loops as GetInfo would

    void Reset() {
        MEASMETHOD_ID = MEASUREMENT_ID = MEASSETUP_ID = SOURCE_ID = SOURCELIST_ID = -1;
        PROJECT_ID = SAMPLE_ID = MEASUREDBY_EMP_ID = ENTEREDBY_EMP_ID = -1;
        MEASOBJTYPE_ID = 1;
        STARTDATE = ENDDATE = CREATIONDATE = -1.0;
        NAME.clear();
        CMT.clear();
        EXPORTFILENAME.clear();
        MeasTypeInfo.Reset();
    }
};

struct RawSpectrum {
    int SPECTRUM_ID, SPECTRUMTYPE_ID, MEASUREMENT_ID;
    std::string NAME;
    TDateTime SPECOLLSTARTEDAT, SPECOLLENDEDAT;
    double LIVETIME, TRUETIME;
    int CHANNELS;
    double MAXCOUNT, MINCOUNT, SUMCOUNT;
    int STARTCOUNT, CRC32;
    short COUNTDATAFORMAT;
    int COUNTDATASIZE;
    std::string COUNTDATA;
    int SPECIFICDATASIZE;
    std::string SPECIFICDATA, SPEFILETYPE;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    std::string CMT;

    void Reset() {
        SPECTRUM_ID = SPECTRUMTYPE_ID = MEASUREMENT_ID = CHANNELS = STARTCOUNT = CRC32 = -1;
        COUNTDATASIZE = SPECIFICDATASIZE = EMPLOYEE_ID = -1;
        COUNTDATAFORMAT = -1;
        SPECOLLSTARTEDAT = SPECOLLENDEDAT = LIVETIME = TRUETIME = -1.0;
        MAXCOUNT = MINCOUNT = SUMCOUNT = CREATIONDATE = -1.0;
        NAME.clear();
        COUNTDATA.clear();
        SPECIFICDATA.clear();
        SPEFILETYPE.clear();
        CMT.clear();
    }
};

std::vector<unsigned long> LoadCounts(const char* file) {
    std::ifstream in(std::string(QUANTORA_SHARED_DATA "/spectra/counts/") + file);
    if (!in) throw std::runtime_error(std::string("cannot read ") + file);
    std::vector<unsigned long> counts;
    unsigned long c;
    while (in >> c) counts.push_back(c);
    return counts;
}

// Spectra of 4096, 8192 and 16384 channels (HPGe) and 2048 channels (a low-resolution detector).
constexpr const char* kSpectrumFiles[] = {
    "2025-11-11_17-43-19-121196_cnf.txt",
    "AA170825_1cm_Eu152_Spe.txt",
    "1110C_NAA_cave_pottery_Spe.txt",
    "Cs137LowResNoCalib_spe.txt",
};

const char* kInsertMeasurementSql =
    "INSERT INTO MEASUREMENT (MEASMETHOD_ID, MEASUREMENT_ID, MEASSETUP_ID, SOURCE_ID, "
    "SOURCELIST_ID, PROJECT_ID, NAME, MEASOBJTYPE_ID, SAMPLE_ID, MEASUREDBY_EMP_ID, STARTDATE, "
    "ENDDATE, ENTEREDBY_EMP_ID, CREATIONDATE, CMT, EXPORTFILENAME) "
    "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

const char* kInsertSpectrumSql =
    "INSERT INTO SPECTRUM (SPECTRUM_ID, SPECTRUMTYPE_ID, MEASUREMENT_ID, NAME, SPECOLLSTARTEDAT, "
    "SPECOLLENDEDAT, LIVETIME, TRUETIME, CHANNELS, MAXCOUNT, MINCOUNT, SUMCOUNT, STARTCOUNT, "
    "CRC32, COUNTDATAFORMAT, COUNTDATASIZE, COUNTDATA, SPECIFICDATASIZE, SPEFILETYPE, "
    "EMPLOYEE_ID, CREATIONDATE) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

// 10,000 measurements of the four object kinds, each with one spectrum (type 1) whose counts
// are one of the real spectra, compressed by SPECTRUMData::CompressCounts.
struct MeasFixture {
    std::string path = TempPath("meas");
    size_t raw_count_bytes = 0;  // 32-bit counts of all spectra
    size_t stored_bytes = 0;     // COUNTDATA of all spectra
    MeasFixture() {
        std::vector<SPECTRUMData> spectra;
        std::vector<double> sums;
        for (const char* f : kSpectrumFiles) {
            std::vector<unsigned long> counts = LoadCounts(f);
            SPECTRUMData s;
            s.CompressCounts(&counts, false);
            double sum = 0;
            for (unsigned long c : counts) sum += static_cast<double>(c);
            s.SUMCOUNT = sum;
            s.MAXCOUNT = static_cast<double>(*std::max_element(counts.begin(), counts.end()));
            s.MINCOUNT = static_cast<double>(*std::min_element(counts.begin(), counts.end()));
            s.SPEFILETYPE = f;
            spectra.push_back(std::move(s));
        }
        FreshSchema(path, "bench_meas");
        sqlite3* db = RawOpen(path);
        RawExec(db, "BEGIN");
        sqlite3_stmt* m = RawPrepare(db, kInsertMeasurementSql);
        sqlite3_stmt* s = RawPrepare(db, kInsertSpectrumSql);
        for (int i = 1; i <= kMeasurements; ++i) {
            const int objType = 1 + i % 4;
            const std::string name = "Soil sample " + std::to_string(i) + ", 7 cm, 24 h";
            sqlite3_bind_int(m, 1, 1 + i % 3);
            sqlite3_bind_int(m, 2, i);
            sqlite3_bind_int(m, 3, 1 + i % 5);
            objType == 3 ? sqlite3_bind_int(m, 4, 1 + i % 50) : sqlite3_bind_null(m, 4);
            objType == 4 ? sqlite3_bind_int(m, 5, 1 + i % 20) : sqlite3_bind_null(m, 5);
            sqlite3_bind_int(m, 6, 1 + i % 30);
            BindText(m, 7, name);
            sqlite3_bind_int(m, 8, objType);
            objType == 2 ? sqlite3_bind_int(m, 9, i) : sqlite3_bind_null(m, 9);
            sqlite3_bind_int(m, 10, 1 + i % 12);
            BindDate(m, 11, kDay0 + i);
            BindDate(m, 12, kDay0 + i + 1.0);
            sqlite3_bind_int(m, 13, 1 + i % 12);
            BindDate(m, 14, kDay0 + i + 1.01);
            i % 8 == 0 ? BindText(m, 15, "Detector warmed up twice")
                       : (void)sqlite3_bind_null(m, 15);
            sqlite3_bind_null(m, 16);
            Check(sqlite3_step(m), db);
            sqlite3_reset(m);

            const SPECTRUMData& sp = spectra[static_cast<size_t>(i) % spectra.size()];
            raw_count_bytes += 4u * static_cast<size_t>(sp.CHANNELS);
            stored_bytes += sp.COUNTDATA.size();
            sqlite3_bind_int(s, 1, i);
            sqlite3_bind_int(s, 2, 1);
            sqlite3_bind_int(s, 3, i);
            BindText(s, 4, name);
            BindDate(s, 5, kDay0 + i);
            BindDate(s, 6, kDay0 + i + 1.0);
            sqlite3_bind_double(s, 7, 86000.0 + i % 300);
            sqlite3_bind_double(s, 8, 86400.0);
            sqlite3_bind_int(s, 9, sp.CHANNELS);
            sqlite3_bind_double(s, 10, sp.MAXCOUNT);
            sqlite3_bind_double(s, 11, sp.MINCOUNT);
            sqlite3_bind_double(s, 12, sp.SUMCOUNT);
            sqlite3_bind_int(s, 13, sp.STARTCOUNT);
            sqlite3_bind_int(s, 14, 0);
            sqlite3_bind_int(s, 15, sp.COUNTDATAFORMAT);
            sqlite3_bind_int(s, 16, sp.COUNTDATASIZE);
            sqlite3_bind_blob(s, 17, sp.COUNTDATA.data(), static_cast<int>(sp.COUNTDATA.size()),
                              SQLITE_STATIC);
            sqlite3_bind_int(s, 18, 0);
            BindText(s, 19, sp.SPEFILETYPE);
            sqlite3_bind_int(s, 20, 1 + i % 12);
            BindDate(s, 21, kDay0 + i + 1.01);
            Check(sqlite3_step(s), db);
            sqlite3_reset(s);
        }
        sqlite3_finalize(m);
        sqlite3_finalize(s);
        RawExec(db, "COMMIT");
        sqlite3_close(db);
        OpenDatabase("bench_meas", "sqlite:" + path);
    }
    ~MeasFixture() {
        CloseDatabase("bench_meas");
        RemoveDb(path);
    }
};
MeasFixture& Meas() {
    static MeasFixture f;
    return f;
}

// The measurement columns of a raw row starting at column `at`, with the object-column rule.
void ReadRawMeasurement(sqlite3_stmt* st, int at, RawMeasurement& m) {
    m.Reset();
    ReadInt(st, at + 0, m.MEASMETHOD_ID);
    ReadInt(st, at + 1, m.MEASUREMENT_ID);
    ReadInt(st, at + 2, m.MEASSETUP_ID);
    ReadInt(st, at + 5, m.PROJECT_ID);
    ReadText(st, at + 6, m.NAME);
    ReadInt(st, at + 7, m.MEASOBJTYPE_ID);
    ReadInt(st, at + 9, m.MEASUREDBY_EMP_ID);
    ReadDate(st, at + 10, m.STARTDATE);
    ReadDate(st, at + 11, m.ENDDATE);
    ReadInt(st, at + 12, m.ENTEREDBY_EMP_ID);
    ReadDate(st, at + 13, m.CREATIONDATE);
    ReadText(st, at + 14, m.CMT);
    ReadText(st, at + 15, m.EXPORTFILENAME);
    switch (m.MEASOBJTYPE_ID) {
        case 2:
            ReadInt(st, at + 8, m.SAMPLE_ID);
            break;
        case 3:
            ReadInt(st, at + 3, m.SOURCE_ID);
            break;
        case 4:
            ReadInt(st, at + 4, m.SOURCELIST_ID);
            break;
        default:
            break;
    }
}

void ReadRawSpectrum(sqlite3_stmt* st, int at, RawSpectrum& s) {
    s.Reset();
    ReadInt(st, at + 0, s.SPECTRUM_ID);
    ReadInt(st, at + 1, s.SPECTRUMTYPE_ID);
    ReadInt(st, at + 2, s.MEASUREMENT_ID);
    ReadText(st, at + 3, s.NAME);
    ReadDate(st, at + 4, s.SPECOLLSTARTEDAT);
    ReadDate(st, at + 5, s.SPECOLLENDEDAT);
    ReadDouble(st, at + 6, s.LIVETIME);
    ReadDouble(st, at + 7, s.TRUETIME);
    ReadInt(st, at + 8, s.CHANNELS);
    ReadDouble(st, at + 9, s.MAXCOUNT);
    ReadDouble(st, at + 10, s.MINCOUNT);
    ReadDouble(st, at + 11, s.SUMCOUNT);
    ReadInt(st, at + 12, s.STARTCOUNT);
    ReadInt(st, at + 13, s.CRC32);
    ReadShort(st, at + 14, s.COUNTDATAFORMAT);
    ReadInt(st, at + 15, s.COUNTDATASIZE);
    ReadText(st, at + 16, s.COUNTDATA);
    ReadInt(st, at + 17, s.SPECIFICDATASIZE);
    ReadText(st, at + 18, s.SPECIFICDATA);
    ReadText(st, at + 19, s.SPEFILETYPE);
    ReadInt(st, at + 20, s.EMPLOYEE_ID);
    ReadDate(st, at + 21, s.CREATIONDATE);
    ReadText(st, at + 22, s.CMT);
}

// The measurement type from the spectrum types, as GetInfo derives it.
int MeasType(const std::vector<SpectrumTypeInfoData>& spectra) {
    if (spectra.empty()) return 0;
    const int t1 = spectra[0].SPECTRUMTYPE_ID;
    const int t2 = spectra.size() > 1 ? spectra[1].SPECTRUMTYPE_ID : -1;
    if (t1 == 1) return t2 == 2 ? 2 : t2 == 3 ? 3 : 1;
    return t1 == 3 && t2 == 4 ? 4 : 0;
}

template <class M>
double UseMeasurement(const M& m) {
    return m.MEASUREMENT_ID + m.MEASOBJTYPE_ID + m.SAMPLE_ID + m.SOURCE_ID + m.SOURCELIST_ID +
           static_cast<double>(m.NAME.size()) + static_cast<double>(m.CMT.size()) + m.STARTDATE +
           m.MeasTypeInfo.MeasType + static_cast<double>(m.MeasTypeInfo.Spectra.size()) +
           static_cast<double>(m.MeasTypeInfo.Name.size());
}

template <class S>
double UseSpectrum(const S& s) {
    return s.SPECTRUM_ID + s.CHANNELS + s.LIVETIME + s.SUMCOUNT + s.SPECOLLSTARTEDAT +
           static_cast<double>(s.COUNTDATA.size()) + static_cast<double>(s.NAME.size());
}

double UseCounts(const std::vector<unsigned long>& counts) {
    return static_cast<double>(counts.size()) + static_cast<double>(counts[counts.size() / 2]);
}

enum class Depth { SpectraList, SpectrumRows, Counts };

// The spectra list of a measurement, with the statement GetInfo's SQL gives, prepared once.
const char* kSpectraListSql =
    "SELECT    s.spectrum_id, s.name as spename, s.spectrumtype_id, s.measurement_id FROM    "
    "spectrum s WHERE    s.measurement_id = ?1 ORDER BY spectrumtype_id";

// GetInfo's own text, the measurement's key written into it: a new statement for every row.
const char* kSpectraListLiteralSql =
    "SELECT    s.spectrum_id, s.name as spename, s.spectrumtype_id, s.measurement_id FROM    "
    "spectrum s WHERE    s.measurement_id = %d ORDER BY spectrumtype_id";

// One pass over all measurements (kept out of line so that a profiler can pick it out). With
// `literal` the spectra list is prepared per row from GetInfo's text, as the record must.
[[gnu::noinline]] double RawMeasurementPass(sqlite3* db, Depth depth, bool literal = false) {
    sqlite3_stmt* ms = RawPrepare(db, "SELECT * FROM MEASUREMENT");
    sqlite3_stmt* list = literal ? nullptr : RawPrepare(db, kSpectraListSql);
    sqlite3_stmt* spe = RawPrepare(db, "SELECT * FROM SPECTRUM WHERE SPECTRUM_ID = ?1");
    RawMeasurement m;
    RawSpectrum s;
    std::vector<unsigned long> counts;
    double sum = 0;
    while (sqlite3_step(ms) == SQLITE_ROW) {
        ReadRawMeasurement(ms, 0, m);
        if (literal)
            list = RawPrepare(db, Format(kSpectraListLiteralSql, m.MEASUREMENT_ID).c_str());
        else
            sqlite3_bind_int(list, 1, m.MEASUREMENT_ID);
        while (sqlite3_step(list) == SQLITE_ROW) {
            SpectrumTypeInfoData t;
            ReadInt(list, 0, t.SPECTRUM_ID);
            ReadInt(list, 2, t.SPECTRUMTYPE_ID);
            ReadText(list, 1, t.Name);
            m.MeasTypeInfo.Spectra.push_back(std::move(t));
        }
        if (literal) {
            sqlite3_finalize(list);
            list = nullptr;
        } else {
            sqlite3_reset(list);
        }
        if (!m.MeasTypeInfo.Spectra.empty()) {
            m.MeasTypeInfo.MEASUREMENT_ID = m.MEASUREMENT_ID;
            m.MeasTypeInfo.Name = m.NAME;
            m.MeasTypeInfo.MeasType = MeasType(m.MeasTypeInfo.Spectra);
        }
        sum += UseMeasurement(m);
        if (depth == Depth::SpectraList) continue;
        for (const SpectrumTypeInfoData& t : m.MeasTypeInfo.Spectra) {
            sqlite3_bind_int(spe, 1, t.SPECTRUM_ID);
            if (sqlite3_step(spe) == SQLITE_ROW) {
                ReadRawSpectrum(spe, 0, s);
                sum += UseSpectrum(s);
                if (depth == Depth::Counts) {
                    SpectrumCompressor c;
                    c.SetCompressedStream(s.COUNTDATA, static_cast<unsigned int>(s.STARTCOUNT),
                                          static_cast<unsigned short>(s.COUNTDATAFORMAT),
                                          s.CHANNELS);
                    c.GetCounts(&counts);
                    sum += UseCounts(counts);
                }
            }
            sqlite3_reset(spe);
        }
    }
    sqlite3_finalize(ms);
    sqlite3_finalize(list);
    sqlite3_finalize(spe);
    return sum;
}

void RawMeasurements(benchmark::State& state, Depth depth, bool literal = false) {
    sqlite3* db = RawOpen(Meas().path);
    for (auto _ : state) benchmark::DoNotOptimize(RawMeasurementPass(db, depth, literal));
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kMeasurements);
}

[[gnu::noinline]] double RecordMeasurementPass(Depth depth) {
    TQuery q;
    q.SetDatabaseName("bench_meas");
    q.SetSQL("SELECT * FROM MEASUREMENT");
    q.SetUniDirectional(true);
    q.Open();
    TQuery sq;
    sq.SetDatabaseName("bench_meas");
    sq.SetSQL("SELECT * FROM SPECTRUM WHERE SPECTRUM_ID = :SPECTRUM_ID");
    sq.SetUniDirectional(true);
    sq.Prepare();
    MEASUREMENTData m;
    SPECTRUMData s;
    std::vector<unsigned long> counts;
    double sum = 0;
    for (; !q.Eof(); q.Next()) {
        m.GetData(&q);
        sum += UseMeasurement(m);
        if (depth == Depth::SpectraList) continue;
        for (const SpectrumTypeInfoData& t : m.MeasTypeInfo.Spectra) {
            sq.ParamByName("SPECTRUM_ID")->SetAsInteger(t.SPECTRUM_ID);
            sq.Open();
            if (s.GetData(&sq)) {
                sum += UseSpectrum(s);
                if (depth == Depth::Counts) {
                    s.UncompressCounts(&counts);
                    sum += UseCounts(counts);
                }
            }
            sq.Close();
        }
    }
    return sum;
}

void RecordMeasurements(benchmark::State& state, Depth depth) {
    Meas();
    for (auto _ : state) benchmark::DoNotOptimize(RecordMeasurementPass(depth));
    state.SetItemsProcessed(state.iterations() * kMeasurements);
    state.counters["stored_KiB_per_spectrum"] =
        static_cast<double>(Meas().stored_bytes) / kMeasurements / 1024.0;
}

// For reference: one LEFT JOIN in key order instead of the per-row queries.
void RawMeasurementsJoin(benchmark::State& state, Depth depth) {
    sqlite3* db = RawOpen(Meas().path);
    for (auto _ : state) {
        sqlite3_stmt* st =
            RawPrepare(db,
                       "SELECT m.*, s.* FROM MEASUREMENT m LEFT JOIN SPECTRUM s ON "
                       "s.MEASUREMENT_ID = m.MEASUREMENT_ID ORDER BY m.MEASUREMENT_ID");
        RawMeasurement m;
        RawSpectrum s;
        std::vector<unsigned long> counts;
        double sum = 0;
        bool have = false;
        auto finish = [&] {
            auto& list = m.MeasTypeInfo.Spectra;
            if (!list.empty()) {
                std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
                    return a.SPECTRUMTYPE_ID < b.SPECTRUMTYPE_ID;
                });
                m.MeasTypeInfo.MEASUREMENT_ID = m.MEASUREMENT_ID;
                m.MeasTypeInfo.Name = m.NAME;
                m.MeasTypeInfo.MeasType = MeasType(list);
            }
            sum += UseMeasurement(m);
        };
        while (sqlite3_step(st) == SQLITE_ROW) {
            if (!have || sqlite3_column_int(st, 1) != m.MEASUREMENT_ID) {
                if (have) finish();
                ReadRawMeasurement(st, 0, m);
                have = true;
            }
            if (IsNull(st, 16)) continue;
            ReadRawSpectrum(st, 16, s);
            m.MeasTypeInfo.Spectra.push_back({s.SPECTRUM_ID, s.SPECTRUMTYPE_ID, s.NAME});
            sum += UseSpectrum(s);
            if (depth == Depth::Counts) {
                SpectrumCompressor c;
                c.SetCompressedStream(s.COUNTDATA, static_cast<unsigned int>(s.STARTCOUNT),
                                      static_cast<unsigned short>(s.COUNTDATAFORMAT), s.CHANNELS);
                c.GetCounts(&counts);
                sum += UseCounts(counts);
            }
        }
        if (have) finish();
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kMeasurements);
}

void BM_MeasList_Raw(benchmark::State& s) {
    RawMeasurements(s, Depth::SpectraList);
}
void BM_MeasList_RawLiteral(benchmark::State& s) {
    RawMeasurements(s, Depth::SpectraList, true);
}
void BM_MeasList_Records(benchmark::State& s) {
    RecordMeasurements(s, Depth::SpectraList);
}
void BM_MeasSpectra_Raw(benchmark::State& s) {
    RawMeasurements(s, Depth::SpectrumRows);
}
void BM_MeasSpectra_RawJoin(benchmark::State& s) {
    RawMeasurementsJoin(s, Depth::SpectrumRows);
}
void BM_MeasSpectra_Records(benchmark::State& s) {
    RecordMeasurements(s, Depth::SpectrumRows);
}
void BM_MeasCounts_Raw(benchmark::State& s) {
    RawMeasurements(s, Depth::Counts);
}
void BM_MeasCounts_RawJoin(benchmark::State& s) {
    RawMeasurementsJoin(s, Depth::Counts);
}
void BM_MeasCounts_Records(benchmark::State& s) {
    RecordMeasurements(s, Depth::Counts);
}

// Each baseline runs right before the run it is compared with.
BENCHMARK(BM_ReadPeak_Raw)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_ReadPeak_Cached)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_ReadPeakEval_Raw)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_ReadPeakEval_Cached)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_InsertPeak_Raw)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_InsertPeak_Cached)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_InsertPeakEval_Raw)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_InsertPeakEval_Cached)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MeasList_Raw)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_MeasList_RawLiteral)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_MeasList_Records)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_MeasSpectra_RawJoin)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_MeasSpectra_Raw)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_MeasSpectra_Records)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_MeasCounts_RawJoin)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MeasCounts_Raw)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MeasCounts_Records)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

namespace {

// The ratios of both real and CPU time, each the best of the repetitions
// (--benchmark_repetitions=N): on a shared machine the CPU time and the best run are the steadier
// figures.
class BestRatioReporter : public benchmark::ConsoleReporter {
  public:
    explicit BestRatioReporter(std::vector<quantora::bench::RatioPair> pairs)
        : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration) continue;
            std::string name = r.benchmark_name();
            Best& b = best_[name.substr(0, name.find('/'))];
            b.real = std::min(b.real, r.GetAdjustedRealTime());
            b.cpu = std::min(b.cpu, r.GetAdjustedCPUTime());
        }
    }

    void PrintRatios() const {
        std::printf("\n%-58s %8s %8s %6s\n", "ratio (ours / baseline, same run, best run)", "real",
                    "cpu", "goal");
        for (const auto& p : pairs_) {
            auto a = best_.find(p.ours), b = best_.find(p.baseline);
            if (a == best_.end() || b == best_.end()) continue;
            const double real = a->second.real / b->second.real;
            const double cpu = a->second.cpu / b->second.cpu;
            const bool over = p.goal > 0 && (real > p.goal || cpu > p.goal);
            std::printf("%-58s %8.3f %8.3f %6.2f%s\n", p.label.c_str(), real, cpu, p.goal,
                        over ? "  OVER GOAL" : "");
        }
    }

  private:
    struct Best {
        double real = 1e300, cpu = 1e300;
    };
    std::vector<quantora::bench::RatioPair> pairs_;
    std::map<std::string, Best> best_;
};

int RunWithRealAndCpuRatios(int argc, char** argv, std::vector<quantora::bench::RatioPair> pairs) {
    benchmark::Initialize(&argc, argv);
    BestRatioReporter reporter(std::move(pairs));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return RunWithRealAndCpuRatios(argc, argv,
                                   {{"read 100,000 PEAK: cached record / raw struct",
                                     "BM_ReadPeak_Cached", "BM_ReadPeak_Raw", 1.3},
                                    {"read 100,000 PEAKEVAL: cached record / raw struct",
                                     "BM_ReadPeakEval_Cached", "BM_ReadPeakEval_Raw", 1.3},
                                    {"insert 100,000 PEAK: record Insert, live query / raw",
                                     "BM_InsertPeak_Cached", "BM_InsertPeak_Raw", 1.5},
                                    {"insert 100,000 PEAKEVAL: record Insert, live query / raw",
                                     "BM_InsertPeakEval_Cached", "BM_InsertPeakEval_Raw", 1.5},
                                    {"10,000 measurements + spectra list query: records / raw",
                                     "BM_MeasList_Records", "BM_MeasList_Raw", 1.3},
                                    {"... the same, raw also preparing GetInfo's text per row",
                                     "BM_MeasList_Records", "BM_MeasList_RawLiteral", 1.3},
                                    {"... + spectrum row per measurement: records / raw",
                                     "BM_MeasSpectra_Records", "BM_MeasSpectra_Raw", 1.3},
                                    {"... + decompressed counts: records / raw",
                                     "BM_MeasCounts_Records", "BM_MeasCounts_Raw", 1.3},
                                    {"spectrum rows, raw per-row queries / raw single JOIN",
                                     "BM_MeasSpectra_Raw", "BM_MeasSpectra_RawJoin", 0},
                                    {"spectrum rows, records / raw single JOIN",
                                     "BM_MeasSpectra_Records", "BM_MeasSpectra_RawJoin", 0},
                                    {"decompressed counts, records / raw single JOIN",
                                     "BM_MeasCounts_Records", "BM_MeasCounts_RawJoin", 0}});
}
