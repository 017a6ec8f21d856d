#include <map>
#include <mutex>

#include "quandelstk/platform.hpp"

namespace quandelstk {

namespace {

std::mutex table_mutex;
std::map<std::int16_t, std::string> assigned;

std::string DefaultDevice(std::int16_t port) {
  if (port >= 1 && port <= 32) return "/dev/ttyS" + std::to_string(port - 1);
  if (port >= 33 && port <= 64) return "/dev/ttyUSB" + std::to_string(port - 33);
  if (port >= 65 && port <= 96) return "/dev/ttyACM" + std::to_string(port - 65);
  return {};
}

}  // namespace

void AssignPort(std::int16_t port, const std::string& device_path) {
  std::lock_guard lock(table_mutex);
  assigned[port] = device_path;
}

std::string PortDevice(std::int16_t port) {
  std::lock_guard lock(table_mutex);
  if (auto it = assigned.find(port); it != assigned.end()) return it->second;
  return DefaultDevice(port);
}

void ResetPortTable() {
  std::lock_guard lock(table_mutex);
  assigned.clear();
}

}  // namespace quandelstk
