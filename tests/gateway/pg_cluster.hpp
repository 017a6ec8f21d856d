// A PostgreSQL server of the test's own: a cluster made with initdb in a temporary folder,
// listening only on a Unix socket there, stopped and removed at the end.
#pragma once

#include <string>

#include "fakes.hpp"

namespace quandelstk::gateway::testing {

class PgCluster {
 public:
  PgCluster();  // initdb and start; Available() false when PostgreSQL is not installed
  ~PgCluster();
  bool Available() const { return !bin_.empty(); }
  const std::string& Url() const { return url_; }
  void Stop(const char* mode = "fast");
  void Start();
  std::string Log() const;

 private:
  int Run(const std::string& command) const;  // as the postgres user when we are root

  TempDir dir_;
  std::string bin_;
  std::string url_;
};

}  // namespace quandelstk::gateway::testing
