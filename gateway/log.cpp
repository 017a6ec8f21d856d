#include "log.hpp"

#include <cstdio>
#include <mutex>

namespace quandelstk::gateway {

void Log(const std::string& line) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  std::fprintf(stderr, "quandelstk-gateway: %s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace quandelstk::gateway
