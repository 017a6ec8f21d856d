// A record of the line: one entry per read or write, with the time since start in seconds, the
// direction ("rx" from the host, "tx" to it) and the bytes quoted, control characters escaped.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

#include "modemsim/scenario.hpp"

namespace quandelstk::modemsim {

// "AT\r\n\x1A" -> "AT\\r\\n\\x1A"
std::string EscapeBytes(std::string_view bytes);

class Transcript {
 public:
  explicit Transcript(const std::string& path);  // appends; throws std::runtime_error
  void Record(TimeMs at, const char* direction, std::string_view bytes);

 private:
  std::ofstream out_;
};

}  // namespace quandelstk::modemsim
