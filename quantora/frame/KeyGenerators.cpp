// MaxKeyGen: keys from MAX(key)+1. DbKeyGen: keys from a row of the KEYSEQUENCE table.
#include <chrono>
#include <climits>
#include <thread>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/SqlNames.h"

namespace quantora {

MaxKeyGen::MaxKeyGen(AnsiString db, AnsiString table, AnsiString keyColumn)
    : table_(std::move(table)), key_column_(std::move(keyColumn)) {
    DbName = std::move(db);
    if (key_column_.empty()) key_column_ = table_ + "_ID";
    CheckedSqlName(table_, "MaxKeyGen");
    CheckedSqlName(key_column_, "MaxKeyGen", "column name");
}

MaxKeyGen::~MaxKeyGen() = default;

int MaxKeyGen::NextKey() {
    if (!query_) {
        query_ = std::make_unique<TQuery>();
        query_->SetSQL(Format("SELECT MAX(%s) FROM %s", key_column_.c_str(), table_.c_str()));
    }
    TQuery& q = *query_;
    q.SetDatabaseName(DbName);  // DbName is the caller's to change
    q.Open();
    const int max = q.Eof() ? 0 : q.Fields()[0]->AsInteger();
    q.Close();
    last_ = (max > last_ ? max : last_) + 1;
    return last_;
}

namespace {

constexpr size_t kMaxSequenceName = 64;
// A "database is locked" that comes through the busy timeout is tried again this many times.
constexpr int kBusyRetries = 50;

const char* kAdvanceSql =
    "UPDATE KEYSEQUENCE SET LASTKEY = LASTKEY + :COUNT WHERE SEQNAME = :SEQNAME "
    "RETURNING LASTKEY";
// With a table: never below its largest key, so keys stay free when rows were also written
// with keys from elsewhere (MaxKeyGen, an XML import) since the sequence last moved.
const char* kAdvanceAboveSql =
    "UPDATE KEYSEQUENCE SET LASTKEY = :COUNT + (SELECT CASE WHEN COALESCE(MAX(%s), 0) > "
    "KEYSEQUENCE.LASTKEY THEN MAX(%s) ELSE KEYSEQUENCE.LASTKEY END FROM %s) "
    "WHERE SEQNAME = :SEQNAME RETURNING LASTKEY";

// Lock conflicts that a second try can get past: a lock held elsewhere, a serialization
// failure or a deadlock.
bool Transient(const EDatabaseError& e) {
    return e.Retryable() && (e.Category() == DbErrorCategory::Busy ||
                             e.Category() == DbErrorCategory::Serialization);
}

bool InTransaction(const AnsiString& db) {
    return db::ConnectionFor(db)->transaction_depth > 0;
}

}  // namespace

DbKeyGen::DbKeyGen(AnsiString db, AnsiString sequence, AnsiString table, AnsiString keyColumn,
                   int blockSize)
    : sequence_(std::move(sequence)),
      table_(std::move(table)),
      key_column_(std::move(keyColumn)),
      block_size_(blockSize) {
    DbName = std::move(db);
    if (sequence_.empty() || sequence_.size() > kMaxSequenceName)
        throw quantora::MisuseError(
            Format("DbKeyGen: the sequence name '%s' must have 1 to %d characters",
                   sequence_.c_str(), static_cast<int>(kMaxSequenceName)));
    if (!table_.empty() && key_column_.empty()) key_column_ = table_ + "_ID";
    if (!table_.empty()) {
        CheckedSqlName(table_, "DbKeyGen");
        CheckedSqlName(key_column_, "DbKeyGen", "column name");
    }
    if (blockSize < 1)
        throw quantora::MisuseError(
            Format("DbKeyGen: the block size %d is not positive", blockSize));
}

int DbKeyGen::NextKey() {
    if (next_ <= end_) return static_cast<int>(next_++);
    // Inside a transaction a block could be rolled back while its keys wait in memory.
    const int n = block_size_ > 1 && !InTransaction(DbName) ? block_size_ : 1;
    const int64_t last = TakeBlock(n);
    next_ = last - n + 2;
    end_ = last;
    return static_cast<int>(last - n + 1);
}

int DbKeyGen::TakeBlock(int n) {
    bool created = false;
    for (int attempt = 0;; ++attempt) {
        try {
            TQuery q;
            q.SetDatabaseName(DbName);
            q.SetSQL(table_.empty() ? AnsiString(kAdvanceSql)
                                    : Format(kAdvanceAboveSql, key_column_.c_str(),
                                             key_column_.c_str(), table_.c_str()));
            q.ParamByName("COUNT")->SetAsInteger(n);
            q.ParamByName("SEQNAME")->SetAsString(sequence_);
            q.Open();
            if (!q.Eof()) {
                const int64_t last = q.Fields()[0]->AsLargeInt();
                q.Close();
                if (last > INT_MAX || last - n + 1 < 1)
                    throw Exception(
                        Format("DbKeyGen: the key sequence '%s' is exhausted (last key %lld)",
                               sequence_.c_str(), static_cast<long long>(last)));
                return static_cast<int>(last);
            }
            q.Close();
            if (created)
                throw Exception(Format("DbKeyGen: the row of key sequence '%s' cannot be made",
                                       sequence_.c_str()));
            CreateRow();
            created = true;
        } catch (const EDatabaseError& e) {
            // Inside a transaction the whole transaction would have to be tried again: that is
            // the caller's decision.
            if (attempt >= kBusyRetries || !Transient(e) || InTransaction(DbName)) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(1 + attempt % 10 * 5));
        }
    }
}

void DbKeyGen::CreateRow() {
    // ON CONFLICT DO NOTHING: a client that made the row first wins, nobody fails. SQLite
    // needs a WHERE in INSERT ... SELECT before an upsert clause.
    TQuery q;
    q.SetDatabaseName(DbName);
    if (table_.empty())
        q.SetSQL(
            "INSERT INTO KEYSEQUENCE (SEQNAME, LASTKEY) VALUES (:SEQNAME, 0) "
            "ON CONFLICT (SEQNAME) DO NOTHING");
    else
        q.SetSQL(
            Format("INSERT INTO KEYSEQUENCE (SEQNAME, LASTKEY) SELECT :SEQNAME, "
                   "COALESCE(MAX(%s), 0) FROM %s WHERE 1 = 1 "
                   "ON CONFLICT (SEQNAME) DO NOTHING",
                   key_column_.c_str(), table_.c_str()));
    q.ParamByName("SEQNAME")->SetAsString(sequence_);
    q.ExecSQL();
}

}  // namespace quantora
