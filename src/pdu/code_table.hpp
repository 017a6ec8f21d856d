// The character code table "Unicode.txt" (beside the library, or in its install's data folder):
// which native characters a UCS2 code unit stands for.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quandelstk::pdu {

class CodeTable {
 public:
  // The table of "Unicode.txt" in the first of the folders that holds one, read when this thread
  // has not read that file yet or when it changed since (other size or modification time), so that
  // every lookup gives what a scan of the file as it stands would. Raises RuntimeError 53 naming
  // every path it tried when no folder holds the file, and 75 when the file cannot be read.
  static const CodeTable& In(const std::vector<std::string>& folders);

  // Appends what the first matching line of the file gives for key ("0x" and the code unit's
  // digits as they stand): its native character(s), or the character with code 1 when no line
  // matches. A matching line without a tab after its native code raises RuntimeError 5.
  void AppendNative(std::string& out, std::string_view key) const;

 private:
  struct Native {
    std::string characters;
    std::int32_t line_number = 0;
    bool has_tab = true;
  };
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  // The table of the file at path; nullptr when there is no such file.
  static const CodeTable* Load(const std::string& path);
  void Read();

  std::string path_;
  std::uintmax_t size_ = 0;
  std::filesystem::file_time_type modified_{};
  std::unordered_map<std::string, Native, KeyHash, std::equal_to<>> by_key_;
};

}  // namespace quandelstk::pdu
