// UCS2 user data, translated to native characters through the code table "Unicode.txt".
#include "pdu/code_table.hpp"
#include "pdu/pdu.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::pdu {

std::string Decode_Unicode(const std::string& hex) {
  std::string text;
  // No code unit, no look-up: an empty text does not need the table.
  if (hex.empty()) return text;
  const CodeTable& table = CodeTable::In(CurrentPlatform().CodeTableFolders());
  text.reserve(hex.size() / 4 + 1);
  char key[6] = {'0', 'x'};
  for (std::size_t i = 0; i < hex.size(); i += 4) {
    const std::size_t n = std::min<std::size_t>(4, hex.size() - i);
    hex.copy(key + 2, n, i);
    table.AppendNative(text, std::string_view(key, 2 + n));
  }
  return text;
}

}  // namespace quandelstk::pdu
