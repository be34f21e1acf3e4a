// A statement's cell read, and the statement cache and primary-key cache shared by every
// engine's connection.
#include "quantora/dblayer/Backend.h"

#include <cctype>

namespace quantora::db {

Cell Statement::Read(int column) const {
    Cell c;
    c.kind = Kind(column);
    switch (c.kind) {
        case CellKind::Null:
            break;
        case CellKind::Int:
            c.i = GetInt64(column);
            break;
        case CellKind::Float:
            c.d = GetDouble(column);
            break;
        case CellKind::Text:
        case CellKind::Blob:
            c.text = GetText(column);
            break;
    }
    return c;
}

StatementLease& StatementLease::operator=(StatementLease&& o) noexcept {
    if (this != &o) {
        Release();
        owner_ = o.owner_;
        stmt_ = std::move(o.stmt_);
        o.owner_ = nullptr;
    }
    return *this;
}

void StatementLease::Release() noexcept {
    if (stmt_ && owner_) owner_->Return(std::move(stmt_));
    stmt_.reset();
    owner_ = nullptr;
}

StatementLease Connection::Checkout(const AnsiString& sql) {
    auto it = idle_.find(sql);
    if (it != idle_.end() && !it->second.empty()) {
        std::unique_ptr<Statement> stmt = std::move(it->second.back());
        it->second.pop_back();
        --idle_count_;
        return StatementLease(this, std::move(stmt));
    }
    StatementLease lease(this, Prepare(sql));
    ++prepared_count_;
    return lease;
}

void Connection::Return(std::unique_ptr<Statement> stmt) noexcept {
    try {
        stmt->Reset();
        if (idle_count_ >= kMaxIdle) {
            // A crude bound: forget every idle statement; the hot ones come back at once.
            idle_.clear();
            idle_count_ = 0;
        }
        idle_[stmt->Sql()].push_back(std::move(stmt));
        ++idle_count_;
    } catch (...) {
        // A statement that cannot be reset is simply finalized.
    }
}

const std::vector<AnsiString>& Connection::PrimaryKey(const AnsiString& table) {
    std::string key;
    key.reserve(table.size());
    for (char c : table) key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto it = primary_keys_.find(key);
    if (it == primary_keys_.end()) it = primary_keys_.emplace(key, LoadPrimaryKey(table)).first;
    return it->second;
}

}  // namespace quantora::db
