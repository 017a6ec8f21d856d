// PostgreSQL under the store, through libpq. Statements go with text parameters ("?" becomes $n).
// A broken connection is reset before the next statement; what was in flight is reported as
// unavailable, and the caller, which still holds its work, tries the same transaction again.
#include "store/pg_db.hpp"

#include <libpq-fe.h>

#include "store/store.hpp"

namespace quandelstk::gateway {

std::string HidePassword(const std::string& url) {
  const auto scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const auto at = url.find('@', scheme);
  const auto colon = url.find(':', scheme + 3);
  if (at == std::string::npos || colon == std::string::npos || colon > at) return url;
  return url.substr(0, colon + 1) + "***" + url.substr(at);
}

namespace {

std::string Numbered(std::string_view sql) {
  std::string out;
  int n = 0;
  for (const char c : sql) {
    if (c == '?') {
      out += "$" + std::to_string(++n);
    } else {
      out += c;
    }
  }
  return out;
}

class PgDb final : public Db {
 public:
  explicit PgDb(std::string url) : url_(std::move(url)) { Connect(); }
  ~PgDb() override {
    if (conn_) PQfinish(conn_);
  }

  Dialect dialect() const override { return Dialect::Postgres; }
  std::string Describe() const override { return HidePassword(url_); }

  Rows Query(std::string_view sql, const Params& params) override {
    Ready();
    std::vector<std::string> texts;
    texts.reserve(params.size());
    std::vector<const char*> values;
    for (const Value& v : params) {
      if (const auto* i = std::get_if<std::int64_t>(&v)) {
        texts.push_back(std::to_string(*i));
        values.push_back(texts.back().c_str());
      } else if (const auto* s = std::get_if<std::string>(&v)) {
        texts.push_back(*s);
        values.push_back(texts.back().c_str());
      } else {
        texts.emplace_back();
        values.push_back(nullptr);
      }
    }
    // texts never reallocates after reserve, so the pointers stay good.
    PGresult* res = PQexecParams(conn_, Numbered(sql).c_str(), static_cast<int>(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0);
    return Take(res);
  }

  void Script(std::string_view sql) override {
    Ready();
    Take(PQexec(conn_, std::string(sql).c_str()));
  }

  void Begin() override {
    Script("BEGIN");
    in_transaction_ = true;
  }
  void Commit() override {
    Script("COMMIT");
    in_transaction_ = false;
  }
  void Rollback() noexcept override {
    in_transaction_ = false;
    if (conn_ && PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE)
      PQclear(PQexec(conn_, "ROLLBACK"));
  }

 private:
  void Connect() {
    if (conn_) PQfinish(conn_);
    conn_ = PQconnectdb(url_.c_str());
    if (PQstatus(conn_) != CONNECTION_OK) {
      const std::string why = PQerrorMessage(conn_);
      PQfinish(conn_);
      conn_ = nullptr;
      throw StoreUnavailable("cannot connect to " + Describe() + ": " + Trim(why));
    }
    PQclear(PQexec(conn_, "SET client_min_messages = warning"));
  }

  // A connection lost inside a transaction is not replaced until the transaction is given up:
  // what follows must not run on its own on a fresh connection.
  void Ready() {
    if (conn_ && PQstatus(conn_) == CONNECTION_OK) return;
    if (in_transaction_) throw StoreUnavailable("PostgreSQL " + Describe() + ": the connection was lost");
    Connect();
  }

  static std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
  }

  Rows Take(PGresult* res) {
    const ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
      const std::string why = Trim(res ? PQresultErrorMessage(res) : conn_ ? PQerrorMessage(conn_) : "no connection");
      if (res) PQclear(res);
      // Class 08 is a connection failure and 57P0x the server shutting down; an error without a
      // code comes from libpq itself (the server closed the connection). All end this connection:
      // the next statement opens a new one. 40001/40P01 (serialisation failure, deadlock) are
      // worth a second try on the same connection.
      const std::string code = state ? state : "";
      const bool lost = !conn_ || PQstatus(conn_) != CONNECTION_OK || code.empty() || code.rfind("08", 0) == 0 ||
                        code.rfind("57P", 0) == 0;
      if (lost) {
        if (conn_) PQfinish(conn_);
        conn_ = nullptr;
      }
      if (lost || code == "40001" || code == "40P01") throw StoreUnavailable("PostgreSQL " + Describe() + ": " + why);
      throw StoreError("PostgreSQL " + Describe() + ": " + why);
    }
    Rows rows;
    const int n = PQntuples(res), columns = PQnfields(res);
    rows.reserve(static_cast<std::size_t>(n));
    for (int r = 0; r < n; ++r) {
      Row row;
      for (int c = 0; c < columns; ++c) {
        if (PQgetisnull(res, r, c)) {
          row.cells.emplace_back(std::nullopt);
        } else {
          row.cells.emplace_back(std::string(PQgetvalue(res, r, c), static_cast<std::size_t>(PQgetlength(res, r, c))));
        }
      }
      rows.push_back(std::move(row));
    }
    PQclear(res);
    return rows;
  }

  std::string url_;
  PGconn* conn_ = nullptr;
  bool in_transaction_ = false;
};

}  // namespace

std::unique_ptr<Db> OpenPostgres(const std::string& url) {
  return std::make_unique<PgDb>(url);
}

}  // namespace quandelstk::gateway
