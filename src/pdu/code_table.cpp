#include "pdu/code_table.hpp"

#include <fstream>
#include <memory>

#include "channel/text.hpp"
#include "pdu/hex_text.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::pdu {

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

}  // namespace

const CodeTable& CodeTable::In(const std::vector<std::string>& folders) {
  std::string tried;
  for (const std::string& folder : folders) {
    const std::string path = folder.empty() || folder.back() == kSeparator ? folder + "Unicode.txt"
                                                                           : folder + kSeparator + "Unicode.txt";
    if (const CodeTable* table = Load(path)) return *table;
    tried += (tried.empty() ? "" : ", ") + path;
  }
  throw RuntimeError(err::kFileNotFound,
                     "File not found: the character code table Unicode.txt is in none of the places searched (" +
                         tried +
                         "); put Unicode.txt into one of them: it is data/Unicode.txt in the source tree, and the "
                         "Debian package libquandelstk6 installs it in /usr/share/quandelstk");
}

const CodeTable* CodeTable::Load(const std::string& path) {
  thread_local std::unique_ptr<CodeTable> table;
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::is_regular_file(status)) return nullptr;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return nullptr;
  const auto modified = std::filesystem::last_write_time(path, ec);
  if (ec) return nullptr;

  if (!table || table->path_ != path || table->size_ != size || table->modified_ != modified) {
    auto fresh = std::make_unique<CodeTable>();
    fresh->path_ = path;
    fresh->size_ = size;
    fresh->modified_ = modified;
    fresh->Read();
    table = std::move(fresh);
  }
  return table.get();
}

// Lines end at LF; a CR before it belongs to the line end too, so the file may have either.
void CodeTable::Read() {
  std::ifstream in(path_, std::ios::binary);
  if (!in)
    throw RuntimeError(err::kPathFileAccess,
                       "Path/File access error: cannot read the character code table " + path_);
  std::string line;
  std::int32_t line_number = 0;
  while (std::getline(in, line)) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t code_unit = line.find("0x", 2);  // at or after the third character
    if (code_unit == std::string::npos) continue;
    std::string key = text::Trim(std::string_view(line).substr(code_unit, 6));
    if (by_key_.find(key) != by_key_.end()) continue;  // the scan stops at the first match

    Native native;
    native.line_number = line_number;
    const std::size_t code = line.find("0x");
    const std::size_t tab = line.find('\t', code + 2);
    if (tab == std::string::npos) {
      native.has_tab = false;
    } else {
      const std::string digits = text::Trim(std::string_view(line).substr(code + 2, tab - code - 2));
      // Three digits or more are a double-byte code: two characters, one per pair of digits.
      if (digits.size() >= 3) {
        native.characters += static_cast<char>(HexValue(std::string_view(digits).substr(0, 2)));
        native.characters += static_cast<char>(HexValue(std::string_view(digits).substr(2, 2)));
      } else {
        native.characters += static_cast<char>(HexValue(digits));
      }
    }
    by_key_.emplace(std::move(key), std::move(native));
  }
}

void CodeTable::AppendNative(std::string& out, std::string_view key) const {
  const auto found = by_key_.find(key);
  if (found == by_key_.end()) {
    out += '\x01';
    return;
  }
  const Native& native = found->second;
  if (!native.has_tab)
    throw RuntimeError(err::kInvalidProcedureCall, "Invalid procedure call or argument: line " +
                                                       std::to_string(native.line_number) + " of " + path_ +
                                                       " matches " + std::string(key) +
                                                       " but has no tab after its native code");
  out += native.characters;
}

}  // namespace quandelstk::pdu
