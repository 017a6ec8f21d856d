// The little a store needs of a database: statements with "?" parameters, rows of text, and
// transactions. SQLite and PostgreSQL each implement it; the queue's logic is written once above it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quandelstk::gateway {

using Value = std::variant<std::nullptr_t, std::int64_t, std::string>;
using Params = std::vector<Value>;

struct Row {
  std::vector<std::optional<std::string>> cells;
  const std::optional<std::string>& operator[](std::size_t i) const { return cells.at(i); }
  std::string Text(std::size_t i) const { return cells.at(i).value_or(""); }
  std::int64_t Int(std::size_t i, std::int64_t otherwise = 0) const {
    return cells.at(i) && !cells[i]->empty() ? std::stoll(*cells[i]) : otherwise;
  }
  std::optional<std::int64_t> MaybeInt(std::size_t i) const {
    if (!cells.at(i) || cells[i]->empty()) return std::nullopt;
    return std::stoll(*cells[i]);
  }
};
using Rows = std::vector<Row>;

enum class Dialect { Sqlite, Postgres };

class Db {
 public:
  virtual ~Db() = default;
  virtual Dialect dialect() const = 0;
  // Runs one statement; rows it returns (RETURNING included). Throws StoreUnavailable when the
  // database cannot be reached or is busy past its wait, StoreError otherwise.
  virtual Rows Query(std::string_view sql, const Params& params = {}) = 0;
  // Several statements without parameters (the schema).
  virtual void Script(std::string_view sql) = 0;
  // A transaction that writes: SQLite takes the write lock at once, so two writers never deadlock.
  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() noexcept = 0;
  virtual std::string Describe() const = 0;
};

// Rolls back unless committed.
class Transaction {
 public:
  explicit Transaction(Db& db) : db_(db) { db_.Begin(); }
  ~Transaction() {
    if (!done_) db_.Rollback();
  }
  void Commit() {
    db_.Commit();
    done_ = true;
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

 private:
  Db& db_;
  bool done_ = false;
};

}  // namespace quandelstk::gateway
