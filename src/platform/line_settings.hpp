// The settings text of a serial line, "115200,N,8,1": speed, parity, data bits, stop bits.
#pragma once

#include <optional>
#include <string>

namespace quandelstk::platform {

struct LineSettings {
  long baud = 9600;
  char parity = 'N';  // N, E or O
  int data_bits = 8;  // 7 or 8
  int stop_bits = 1;  // 1 or 2
};

// nullopt when the text is not of that form.
std::optional<LineSettings> ParseLineSettings(const std::string& text);

}  // namespace quandelstk::platform
