// SQLite under the store: one connection per thread, WAL so that readers never wait for the
// writer, synchronous=FULL so that a commit survives a crash or a power cut.
#include "store/sqlite_db.hpp"

#include <sqlite3.h>

#include <filesystem>

#include "store/store.hpp"

namespace quandelstk::gateway {

namespace {

class SqliteDb final : public Db {
 public:
  explicit SqliteDb(std::string path) : path_(std::move(path)) {
    if (path_ != ":memory:") {
      const auto folder = std::filesystem::path(path_).parent_path();
      std::error_code ec;
      if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    }
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
      const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw StoreError("cannot open the SQLite store " + path_ + ": " + why);
    }
    sqlite3_busy_timeout(db_, 10000);
    Script("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;");
  }
  ~SqliteDb() override { sqlite3_close_v2(db_); }

  Dialect dialect() const override { return Dialect::Sqlite; }
  std::string Describe() const override { return "sqlite:" + path_; }

  Rows Query(std::string_view sql, const Params& params) override {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &st, nullptr) != SQLITE_OK)
      Fail("prepare");
    struct Finalize {
      sqlite3_stmt* s;
      ~Finalize() { sqlite3_finalize(s); }
    } finalize{st};
    for (std::size_t i = 0; i < params.size(); ++i) {
      const int n = static_cast<int>(i + 1);
      if (const auto* v = std::get_if<std::int64_t>(&params[i])) {
        sqlite3_bind_int64(st, n, *v);
      } else if (const auto* s = std::get_if<std::string>(&params[i])) {
        sqlite3_bind_text(st, n, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_null(st, n);
      }
    }
    Rows rows;
    for (;;) {
      const int rc = sqlite3_step(st);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) Fail("run");
      Row row;
      const int columns = sqlite3_column_count(st);
      for (int c = 0; c < columns; ++c) {
        if (sqlite3_column_type(st, c) == SQLITE_NULL) {
          row.cells.emplace_back(std::nullopt);
        } else {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
          row.cells.emplace_back(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(st, c))));
        }
      }
      rows.push_back(std::move(row));
    }
    return rows;
  }

  void Script(std::string_view sql) override {
    char* error = nullptr;
    if (sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string why = error ? error : "unknown error";
      sqlite3_free(error);
      Throw(sqlite3_errcode(db_), why);
    }
  }

  void Begin() override { Script("BEGIN IMMEDIATE"); }
  void Commit() override { Script("COMMIT"); }
  void Rollback() noexcept override {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

 private:
  [[noreturn]] void Fail(const char* what) {
    Throw(sqlite3_errcode(db_), std::string(what) + ": " + sqlite3_errmsg(db_));
  }
  [[noreturn]] void Throw(int code, const std::string& why) {
    const int primary = code & 0xFF;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_IOERR || primary == SQLITE_FULL)
      throw StoreUnavailable("SQLite store " + path_ + ": " + why);
    throw StoreError("SQLite store " + path_ + ": " + why);
  }

  std::string path_;
  sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<Db> OpenSqlite(const std::string& path) {
  return std::make_unique<SqliteDb>(path);
}

}  // namespace quandelstk::gateway
