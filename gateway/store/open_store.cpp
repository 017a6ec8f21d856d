// Which database a store URL names, and who holds a claim.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "store/pg_db.hpp"
#include "store/sql_store.hpp"
#include "store/sqlite_db.hpp"
#include "store/store.hpp"

namespace quandelstk::gateway {

namespace {

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || !*name) return "localhost";
  return name;
}

}  // namespace

std::string ClaimantId(const std::string& gateway_name) {
  const auto start = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
  return gateway_name + "@" + HostName() + ":" + std::to_string(getpid()) + ":" + std::to_string(start);
}

std::string GatewayOf(const std::string& claimant) {
  const auto at = claimant.rfind('@');
  return at == std::string::npos ? claimant : claimant.substr(0, at);
}

bool ClaimantIsDeadHere(const std::string& claimant) {
  const auto at = claimant.rfind('@');
  if (at == std::string::npos) return false;
  const auto pid_at = claimant.find(':', at);
  if (pid_at == std::string::npos || claimant.substr(at + 1, pid_at - at - 1) != HostName()) return false;
  try {
    const pid_t pid = static_cast<pid_t>(std::stol(claimant.substr(pid_at + 1)));
    if (pid <= 0) return false;
    // Another claimant id with this process's own pid is an earlier life of it: a container
    // restarted with the same host name starts its process with the same pid.
    if (pid == getpid()) return true;
    return kill(pid, 0) != 0 && errno == ESRCH;
  } catch (const std::exception&) {
    return false;
  }
}

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
