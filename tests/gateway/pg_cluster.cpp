#include "pg_cluster.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace quandelstk::gateway::testing {

namespace {

// Debian keeps the server's programs per version under /usr/lib/postgresql.
std::string FindBin() {
  std::string best;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
    const auto bin = e.path() / "bin";
    if (std::filesystem::exists(bin / "initdb") && bin.string() > best) best = bin.string();
  }
  return best;
}

}  // namespace

PgCluster::PgCluster() : bin_(FindBin()) {
  if (bin_.empty()) return;
  // The server refuses to run as root: the cluster belongs to the postgres user then.
  chmod(dir_.path().c_str(), 0777);
  if (Run("'" + bin_ + "/initdb' -D '" + dir_.path() + "/data' -A trust -U postgres --no-sync >'" + dir_.path() +
          "/initdb.log' 2>&1") != 0)
    throw std::runtime_error("initdb failed: see " + dir_.path() + "/initdb.log");
  url_ = "postgresql:///postgres?host=" + dir_.path() + "&user=postgres";
  Start();
}

PgCluster::~PgCluster() {
  if (!bin_.empty()) Stop("immediate");
}

int PgCluster::Run(const std::string& command) const {
  const std::string line = std::string(geteuid() == 0 ? "runuser -u postgres -- " : "") + "sh -c \"" + command + "\"";
  return std::system(line.c_str());
}

void PgCluster::Start() {
  // No TCP, the socket in our folder; fsync off: the tests restart the server, they do not cut power.
  if (Run("'" + bin_ + "/pg_ctl' -D '" + dir_.path() + "/data' -l '" + dir_.path() + "/server.log' -w -o \\\"-k '" +
          dir_.path() + "' -c listen_addresses='' -c fsync=off -c max_connections=60\\\" start >/dev/null") != 0)
    throw std::runtime_error("pg_ctl start failed:\n" + Log());
}

void PgCluster::Stop(const char* mode) {
  Run("'" + bin_ + "/pg_ctl' -D '" + dir_.path() + "/data' -m " + mode + " -w stop >/dev/null 2>&1");
}

std::string PgCluster::Log() const {
  std::ifstream f(dir_.path() + "/server.log");
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  return all.size() > 4000 ? all.substr(all.size() - 4000) : all;
}

}  // namespace quandelstk::gateway::testing
