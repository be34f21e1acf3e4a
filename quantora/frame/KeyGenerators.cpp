// MaxKeyGen: keys from MAX(key)+1.
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/IntKeyGen.h"

namespace quantora {

MaxKeyGen::MaxKeyGen(AnsiString db, AnsiString table, AnsiString keyColumn)
    : table_(std::move(table)), key_column_(std::move(keyColumn)) {
    DbName = std::move(db);
    if (key_column_.empty()) key_column_ = table_ + "_ID";
}

int MaxKeyGen::NextKey() {
    TQuery q;
    q.SetDatabaseName(DbName);
    q.SetSQL(Format("SELECT MAX(%s) FROM %s", key_column_.c_str(), table_.c_str()));
    q.Open();
    int max = q.Eof() ? 0 : q.Fields()[0]->AsInteger();
    last_ = (max > last_ ? max : last_) + 1;
    return last_;
}

}  // namespace quantora
