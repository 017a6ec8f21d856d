#include "modemsim/transcript.hpp"

#include <cstdio>
#include <stdexcept>

namespace quandelstk::modemsim {

std::string EscapeBytes(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\\' || c == '"') out += std::string("\\") + c;
    else if (b < 0x20 || b >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else out += c;
  }
  return out;
}

Transcript::Transcript(const std::string& path) : out_(path, std::ios::app | std::ios::binary) {
  if (!out_) throw std::runtime_error("cannot open transcript " + path);
}

void Transcript::Record(TimeMs at, const char* direction, std::string_view bytes) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%10.3f", static_cast<double>(at) / 1000.0);
  out_ << stamp << ' ' << direction << " \"" << EscapeBytes(bytes) << "\"\n";
  out_.flush();
}

}  // namespace quandelstk::modemsim
