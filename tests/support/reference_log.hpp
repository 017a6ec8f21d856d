// The log writer and the 7-bit trace as first written (one masked record per write, the masking
// token by token, the trace as plain string building), kept to check the faster ones against.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "channel/log_mask.hpp"
#include "channel/text.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::testing {

// The masking by its definition: each token in turn replaced over what the ones before left.
inline std::string ReferenceMask(std::string s) {
  const auto& tokens = channel::MaskTokens();
  for (std::size_t i = 0; i < tokens.size(); ++i) s = text::Replace(s, tokens[i], "Q24>" + std::to_string(i));
  return s;
}

inline std::string ReferenceRecord(const std::string& text, const DateTime& now) {
  return "*** QUANDEL STK API version 6.6.1 log dated on " + now.ToText() + " ***\r\n" + ReferenceMask(text) +
         "\r\n";
}

// The files (by name) that writing the texts one record at a time gives, each record stamped with
// the next reading of the clock.
inline std::map<std::string, std::string> ReferenceLogFiles(const std::vector<std::string>& texts,
                                                            const std::function<DateTime()>& clock) {
  std::map<std::string, std::string> files;
  for (const std::string& text : texts) {
    const DateTime now = clock();
    files["QUANDEL STK API Log_" + std::to_string(now.year) + "-" + std::to_string(now.month) + "-" +
          std::to_string(now.day) + ".txt"] += ReferenceRecord(text, now);
  }
  return files;
}

// The log files in a folder, by name.
inline std::map<std::string, std::string> LogFilesIn(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ostringstream content;
    content << std::ifstream(entry.path(), std::ios::binary).rdbuf();
    files[entry.path().filename().string()] = content.str();
  }
  return files;
}

// The texts of the 7-bit unpacking's trace records.
inline std::vector<std::string> ReferenceTrace(std::int16_t septets, const std::string& hex) {
  auto octet = [&](std::size_t n) {
    const std::string pair = hex.substr(2 * n, 2);
    return pair.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos
               ? std::stoi(pair, nullptr, 16)
               : 0;
  };
  auto character = [](int septet) {
    return static_cast<char>(septet == 0 ? 64 : septet == 2 ? 36 : septet == 17 ? 95 : septet);
  };
  const std::size_t octets = hex.size() / 2;
  std::vector<std::string> records = {"iCounter = " + std::to_string(static_cast<long>(octets) - 1)};
  std::string text;
  int push_back = 0;
  for (std::size_t n = 0; n < octets && static_cast<int>(text.size()) < septets; ++n) {
    const int bit_count = static_cast<int>(n % 7);
    const int temp = octet(n);
    const int mask = (1 << (7 - bit_count)) - 1;
    const char c = character((temp & mask) * (1 << bit_count) + push_back);
    push_back = (temp & (255 - mask)) / (1 << (7 - bit_count));
    text += c;
    records.push_back("N = " + std::to_string(n) + "\r\niBitCount = " + std::to_string(bit_count) +
                      "\r\niTemp = " + std::to_string(temp) +
                      "\r\nbit_data = " + std::to_string(static_cast<unsigned char>(c)) +
                      "\r\nfront = " + std::to_string(255 - mask) +
                      "\r\niPushBack = " + std::to_string(push_back) + "\r\nDecode_7_bit = " + text);
    if (bit_count == 6 && static_cast<int>(text.size()) < septets) {
      text += character(push_back);
      push_back = 0;
      records.push_back("iBitCount = 6; so Decode_7_Bit = " + text + "\r\n");
    }
  }
  return records;
}

// A platform whose clock moves on by a second at every reading, from `start`.
class TickingPlatform final : public Platform {
 public:
  TickingPlatform(std::string folder, DateTime start) : folder_(std::move(folder)), start_(start) {}
  std::unique_ptr<SerialControl> MakeSerialControl() override { return nullptr; }
  DateTime Now() override { return DateTime::FromSerialSeconds(start_.SerialSeconds() + readings_++); }
  std::int64_t MonotonicMs() override { return 0; }  // only dates are read here
  void Sleep(std::int32_t) override {}
  std::string LibraryFolder() override { return folder_; }
  std::string LogFolder() override { return folder_; }

 private:
  std::string folder_;
  DateTime start_;
  int readings_ = 0;
};

}  // namespace quandelstk::testing
