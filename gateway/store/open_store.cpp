// Which database a store URL names.
#include <cstdlib>

#include "store/pg_db.hpp"
#include "store/sql_store.hpp"
#include "store/sqlite_db.hpp"
#include "store/store.hpp"

namespace quandelstk::gateway {

std::string DefaultStoreUrl() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string folder;
  if (data && *data == '/') {
    folder = data;
  } else {
    const char* home = std::getenv("HOME");
    folder = std::string(home && *home ? home : ".") + "/.local/share";
  }
  return "sqlite:" + folder + "/quandelstk/gateway.db";
}

std::unique_ptr<Store> OpenStore(const std::string& given) {
  const std::string url = given.empty() ? DefaultStoreUrl() : given;
  if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0)
    return MakeSqlStore(OpenPostgres(url));
  std::string path = url;
  if (url.rfind("sqlite://", 0) == 0) {
    path = url.substr(9);
  } else if (url.rfind("sqlite:", 0) == 0) {
    path = url.substr(7);
  } else if (url.find("://") != std::string::npos) {
    throw StoreError("store URL \"" + url + "\": use sqlite:PATH or postgresql://...");
  }
  if (path.empty()) throw StoreError("store URL \"" + url + "\" names no file");
  return MakeSqlStore(OpenSqlite(path));
}

}  // namespace quandelstk::gateway
