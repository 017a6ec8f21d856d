#include "platform/line_settings.hpp"

#include "channel/text.hpp"

namespace quandelstk::platform {

std::optional<LineSettings> ParseLineSettings(const std::string& text) {
  const auto fields = text::Split(text, ",");
  if (fields.size() != 4) return std::nullopt;
  for (const auto& f : fields)
    if (f.empty()) return std::nullopt;
  LineSettings s;
  for (char c : fields[0])
    if (c < '0' || c > '9') return std::nullopt;
  if (fields[0].size() > 7) return std::nullopt;
  s.baud = std::stol(fields[0]);
  if (fields[1].size() != 1) return std::nullopt;
  s.parity = static_cast<char>(fields[1][0] & ~0x20);
  if (s.parity != 'N' && s.parity != 'E' && s.parity != 'O') return std::nullopt;
  if (fields[2] != "7" && fields[2] != "8") return std::nullopt;
  s.data_bits = fields[2][0] - '0';
  if (fields[3] != "1" && fields[3] != "2") return std::nullopt;
  s.stop_bits = fields[3][0] - '0';
  if (s.baud <= 0) return std::nullopt;
  return s;
}

}  // namespace quandelstk::platform
