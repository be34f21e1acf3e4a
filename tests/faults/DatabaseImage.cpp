// Whole-database dumps, snapshots and the generic fill of the fault sweeps.
#include "tests/faults/DatabaseImage.h"

#include <algorithm>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/SqlText.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/SqlNames.h"

namespace quantora::test {
namespace {

bool IsReference(const AnsiString& column) {
    return column.ends_with("_ID") || column == "OWNERID1" || column == "OWNERID2";
}

// The value of column `c` (index `i`) in row `k` of the generic fill.
Variant FillValue(const AnsiString& table, const AnsiString& c, TFieldType type, int size, size_t i,
                  int k) {
    if (IsIntegerType(type)) {
        if (c == "MEASOBJTYPE_ID") return Variant(k + 1);  // so that a reset to 1 shows
        if (IsReference(c) || c == "SERIAL") return Variant(k);
        return Variant(static_cast<int>(10 * k + i));
    }
    if (IsFloatType(type)) return Variant(k + 0.125 * static_cast<double>(i));
    if (IsDateType(type))
        return Variant::FromDate(EncodeDateTime({2020, 1 + static_cast<int>(i % 12), k}) +
                                 0.25 * k);
    if (IsBinaryType(type)) return Variant::FromBlob(AnsiString("\0\x01", 2) + c + char('0' + k));
    if (type == ftMemo) return Variant(Format("%s of %s %d", c.c_str(), table.c_str(), k));
    if (size == 1) return Variant("Y");
    if (c == "OWNERTYPE") return Variant("pDocument");
    if (c == "VALUETYPE") return Variant("I");
    if (c.ends_with("_ID")) return Variant(Format("R%d", k));  // text keys (RADIATION_ID)
    AnsiString text = Format("%s %d", c.c_str(), k);
    if (size > 0 && text.size() > static_cast<size_t>(size))
        text = text.substr(text.size() - static_cast<size_t>(size));
    return Variant(text);
}

AnsiString Upper(AnsiString s) {
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

}  // namespace

DatabaseImage::DatabaseImage(const TestDatabase& db, TDateTime nowFrom) : db_(db) {
    for (const AnsiString& name : quantora::SchemaTableNames()) {
        Table t;
        t.name = name;
        TQuery q;
        db.Open(q, Format("SELECT * FROM %s WHERE 1 = 0", t.name.c_str()));
        AnsiString names, marks;
        for (int i = 0; i < q.FieldCount(); ++i) {
            const TField* f = q.Fields()[i];
            t.columns.push_back({Upper(f->FieldName()), f->DataType(), f->Size()});
            names += Format("%s%s", i ? ", " : "", t.columns.back().name.c_str());
            marks += Format("%s:p%d", i ? ", " : "", i);
        }
        t.insert =
            Format("INSERT INTO %s (%s) VALUES (%s)", t.name.c_str(), names.c_str(), marks.c_str());
        const auto& key = quantora::db::ConnectionFor(db.alias())->PrimaryKey(name);
        while (!key.empty() && t.key + 1 < t.columns.size() &&
               !quantora::db::SameName(t.columns[t.key].name, key[0]))
            ++t.key;
        tables_.push_back(std::move(t));
    }

    const AnsiString now = FormatIsoDateTime(nowFrom);
    for (const Table& t : tables_) {
        AnsiString row;
        for (const Column& c : t.columns) {
            const char* n = c.name.c_str();
            AnsiString e;
            if (IsBinaryType(c.type))
                e = db.engine() == TestEngine::PostgreSQL ? Format("encode(%s, 'hex')", n)
                                                          : Format("hex(%s)", n);
            else if (IsDateType(c.type))
                e = Format("CASE WHEN %s >= '%s' THEN 'now' ELSE CAST(%s AS VARCHAR(40)) END", n,
                           now.c_str(), n);
            else
                e = Format("CAST(%s AS VARCHAR(4000))", n);
            row += Format("%sCOALESCE(%s, '~')", row.empty() ? "" : " || '|' || ", e.c_str());
        }
        dump_sql_ += Format("%sSELECT '%s', %s FROM %s", dump_sql_.empty() ? "" : " UNION ALL ",
                            t.name.c_str(), row.c_str(), t.name.c_str());
    }
}

Dump DatabaseImage::Take() const {
    Dump d;
    for (const Table& t : tables_) d[t.name];
    TQuery q;
    q.SetDatabaseName(db_.alias());
    q.SetUniDirectional(true);
    q.SetSQL(dump_sql_);
    for (q.Open(); !q.Eof(); q.Next())
        d[q.Fields()[0]->AsString()].push_back(q.Fields()[1]->AsString());
    for (auto& [t, rows] : d) std::sort(rows.begin(), rows.end());
    return d;
}

void DatabaseImage::InsertRows(const Table& t,
                               const std::vector<std::vector<Variant>>& rows) const {
    if (rows.empty()) return;
    TQuery q;
    q.SetDatabaseName(db_.alias());
    q.SetSQL(t.insert);
    for (size_t i = 0; i < t.columns.size(); ++i)
        q.Params()[static_cast<int>(i)]->SetDataType(t.columns[i].type);
    q.Prepare();
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) q.Params()[static_cast<int>(i)]->SetValue(row[i]);
        q.ExecSQL();
    }
}

void DatabaseImage::FillEveryTable() const {
    Transaction tr(db_.alias());
    for (const Table& t : tables_) {
        if (t.name == "SCHEMAVERSION") continue;
        std::vector<std::vector<Variant>> rows;
        for (int k = 1; k <= 2; ++k) {
            std::vector<Variant>& row = rows.emplace_back();
            for (size_t i = 0; i < t.columns.size(); ++i) {
                const Column& c = t.columns[i];
                row.push_back(FillValue(t.name, c.name, c.type, c.size, i, k));
            }
        }
        InsertRows(t, rows);
    }
    tr.Commit();
}

DatabaseImage::Rows DatabaseImage::Snapshot() const {
    Rows r;
    for (const Table& t : tables_) {
        auto& rows = r.tables.emplace_back();
        TQuery q;
        q.SetDatabaseName(db_.alias());
        q.SetUniDirectional(true);
        q.SetSQL(Format("SELECT * FROM %s", t.name.c_str()));
        for (q.Open(); !q.Eof(); q.Next()) {
            std::vector<Variant>& row = rows.emplace_back();
            for (int i = 0; i < q.FieldCount(); ++i) row.push_back(q.Fields()[i]->AsVariant());
        }
    }
    r.dump = Take();
    return r;
}

void DatabaseImage::Restore(const Rows& to, const Dump& current) const {
    Transaction tr(db_.alias());
    for (size_t i = 0; i < tables_.size(); ++i) {
        const Table& t = tables_[i];
        auto was = to.dump.find(t.name);
        auto now = current.find(t.name);
        if (was != to.dump.end() && now != current.end() && was->second == now->second) continue;
        db_.Exec(Format("DELETE FROM %s", t.name.c_str()));
        InsertRows(t, to.tables[i]);
    }
    tr.Commit();
}

std::string DatabaseImage::Changes(const Dump& before, const Dump& after) const {
    auto fields = [](const std::string& row) {
        std::vector<std::string> f;
        for (size_t at = 0;;) {
            const size_t bar = row.find('|', at);
            f.push_back(row.substr(at, bar - at));
            if (bar == std::string::npos) return f;
            at = bar + 1;
        }
    };
    std::string out;
    for (const Table& t : tables_) {
        const auto &b = before.at(t.name), &a = after.at(t.name);
        std::vector<std::string> gone, come;
        std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(gone));
        std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(come));
        for (const std::string& row : gone) {
            const std::vector<std::string> old = fields(row);
            const std::string name = t.name + "." + old[t.key];
            auto same = std::find_if(come.begin(), come.end(), [&](const std::string& r) {
                return fields(r)[t.key] == old[t.key];
            });
            if (same == come.end()) {
                out += " -" + name;
                continue;
            }
            const std::vector<std::string> now = fields(*same);
            come.erase(same);
            for (size_t i = 0; i < old.size() && i < now.size(); ++i)
                if (old[i] != now[i]) out += " " + name + ":" + t.columns[i].name + "=" + now[i];
        }
        for (const std::string& row : come) out += " +" + t.name + "." + fields(row)[t.key];
    }
    return out.empty() ? out : out.substr(1);
}

}  // namespace quantora::test
