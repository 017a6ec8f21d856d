#include "channel/log.hpp"

#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "quandelstk/errors.hpp"
#include "quandelstk/version.hpp"

namespace quandelstk::channel {

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Tokens 26 to 30 are the quoted parameter words our own commands carry next to "ALL": the
// listing status names and the character set, so that a logged command line reads the same
// masked way whichever of them it holds.
const std::vector<std::string> kTokens = {
    "AT",        "OK",           "ERROR",        "CME",          "CSQ",        "CREG",     "CPIN",
    "CSMS",      "CSCS",         "CNMI",         "CGSN",         "CPMS",       "CSMP",     "CDSI",
    "CGMI",      "CMMS",         "CSDH",         "CFUN",         "CUSD",       "CLCC",     "CMGF",
    "CMGS",      "CMGR",         "CMGL",         "CMGD",         "\"ALL\"",    "\"REC UNREAD\"",
    "\"REC READ\"", "\"STO UNSENT\"", "\"STO SENT\"", "\"GSM\"",   "\"SM\"",     "\"ME\"",   "\"SR\"",
    "STSF",      "STGI",         "STIN",         "STGR",         "MMSBEARER",  "MMSCURL",  "MMSPROXY",
    "CGATT",     "CGREG",        "MMSCOMMMODE",  "MMSW",         "MMSSEND",    "MMSTRACE", "FDEL",
    "FUPL",      "CLCC",         "VGT",          "VGR",          "COPS",       "CNUM",     "CIMI",
};

[[noreturn]] void RaiseFileError(int error_number, const std::string& path) {
  std::int32_t number = err::kPathFileAccess;
  std::string what = "Path/File access error";
  switch (error_number) {
    case ENOENT:
    case ENOTDIR:
      number = err::kPathNotFound;
      what = "Path not found";
      break;
    case EACCES:
    case EPERM:
    case EROFS:
      number = err::kPermissionDenied;
      what = "Permission denied";
      break;
    case ENOSPC:
      number = err::kDiskFull;
      what = "Disk full";
      break;
    default:
      break;
  }
  throw RuntimeError(number, what + ": cannot append to the log file " + path + " (" +
                                 std::strerror(error_number) + ")");
}

void AppendToFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) RaiseFileError(errno, path);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const int write_errno = errno;
  const bool closed = std::fclose(f) == 0;
  if (!written) RaiseFileError(write_errno, path);
  if (!closed) RaiseFileError(errno, path);
}

}  // namespace

const std::vector<std::string>& MaskTokens() { return kTokens; }

namespace {

// Index of a token character (A-Z, double quote) from 0 to 26, -1 for any other character.
constexpr std::array<std::int8_t, 256> MakeTokenCharacters() {
  std::array<std::int8_t, 256> table{};
  for (auto& t : table) t = -1;
  for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'A');
  table['"'] = 26;
  return table;
}
constexpr std::array<std::int8_t, 256> kTokenCharacter = MakeTokenCharacters();

// The tokens by their first two characters.
using TokensByPair = std::array<std::vector<std::string_view>, 27 * 27>;
const TokensByPair& TokensStartingWith() {
  static const TokensByPair by_pair = [] {
    TokensByPair table;
    for (const std::string& token : kTokens)
      table[static_cast<std::size_t>(kTokenCharacter[static_cast<unsigned char>(token[0])] * 27 +
                                     kTokenCharacter[static_cast<unsigned char>(token[1])])]
          .push_back(token);
    return table;
  }();
  return by_pair;
}

// Whether a token begins at i (i + 1 < text.size()).
bool TokenAt(std::string_view text, std::size_t i) {
  const int first = kTokenCharacter[static_cast<unsigned char>(text[i])];
  const int second = kTokenCharacter[static_cast<unsigned char>(text[i + 1])];
  if (first < 0 || second < 0) return false;
  for (const std::string_view token : TokensStartingWith()[static_cast<std::size_t>(first * 27 + second)])
    if (text.substr(i, token.size()) == token) return true;
  return false;
}

// The high bit of every byte of w that is a token character, eight characters at a time.
std::uint64_t TokenCharacterBytes(std::uint64_t w) {
  constexpr std::uint64_t kOnes = 0x0101010101010101, kHigh = 0x8080808080808080;
  const std::uint64_t ascii = ~w & kHigh;
  const std::uint64_t x = w & ~kHigh;  // each byte below 128: the sums below carry into no other byte
  const std::uint64_t upper = ((x + kOnes * (128 - 'A')) & ~(x + kOnes * (128 - 'Z' - 1))) & kHigh;
  const std::uint64_t quote = ~((x ^ kOnes * '"') + kOnes * 127) & kHigh;
  return (upper | quote) & ascii;
}

// Whether the text holds any token. A text that holds none comes out of the masking as it went in,
// and that is almost every record (the 7-bit trace), so it is worth finding out quickly: every token
// begins with two characters from A-Z and the double quote, and such pairs are rare in the trace.
bool HoldsMaskToken(std::string_view text) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t before = 0;  // the flag of the character before the word, in bit 7
    for (; i + 8 <= n; i += 8) {
      std::uint64_t w;
      std::memcpy(&w, text.data() + i, 8);
      const std::uint64_t flags = TokenCharacterBytes(w);
      if ((before & flags & 0x80) && TokenAt(text, i - 1)) return true;
      for (std::uint64_t pairs = flags & (flags >> 8); pairs != 0; pairs &= pairs - 1)
        if (TokenAt(text, i + static_cast<std::size_t>(std::countr_zero(pairs)) / 8)) return true;
      before = flags >> 56;
    }
  }
  for (std::size_t j = i == 0 ? 0 : i - 1; j + 1 < n; ++j)
    if (TokenAt(text, j)) return true;
  return false;
}

}  // namespace

std::string MaskLogText(std::string_view text) {
  std::string current(text);
  if (!HoldsMaskToken(text)) return current;
  std::string next;
  for (std::size_t i = 0; i < kTokens.size(); ++i) {
    const std::string& token = kTokens[i];
    std::size_t at = current.find(token);
    if (at == std::string::npos) continue;
    const std::string code = "Q24>" + std::to_string(i);
    next.clear();
    std::size_t from = 0;
    while (at != std::string::npos) {
      next.append(current, from, at - from);
      next += code;
      from = at + token.size();
      at = current.find(token, from);
    }
    next.append(current, from, std::string::npos);
    current.swap(next);
  }
  return current;
}

std::string LogFilePath(const std::string& folder, const DateTime& day) {
  std::string path = folder;
  path += kPathSeparator;
  path += "QUANDEL STK API Log_" + std::to_string(day.year) + "-" + std::to_string(day.month) + "-" +
          std::to_string(day.day) + ".txt";
  return path;
}

std::string FormatLogRecord(std::string_view masked_text, const DateTime& now) {
  std::string record = "*** QUANDEL STK API version ";
  record += std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
            std::to_string(kVersionRevision);
  record += " log dated on " + now.ToText() + " ***\r\n";
  record += masked_text;
  record += "\r\n";
  return record;
}

void WriteLog(const std::string& text) {
  Platform& platform = CurrentPlatform();
  const std::string masked = MaskLogText(text);
  const DateTime now = platform.Now();
  AppendToFile(LogFilePath(platform.LogFolder(), now), FormatLogRecord(masked, now));
}

// Records of the same second share their banner and records of the same day their file, so each is
// formatted once; the bytes are those of FormatLogRecord for every record.
void WriteLogs(const std::vector<std::string>& texts) {
  Platform& platform = CurrentPlatform();
  const std::string folder = platform.LogFolder();
  std::string path;
  std::string pending;
  DateTime banner_time;
  std::string banner;
  for (const std::string& text : texts) {
    const DateTime now = platform.Now();
    if (path.empty() || now.year != banner_time.year || now.month != banner_time.month ||
        now.day != banner_time.day) {
      if (!pending.empty()) AppendToFile(path, pending);
      pending.clear();
      path = LogFilePath(folder, now);
    }
    if (banner.empty() || !(now == banner_time)) {
      banner = FormatLogRecord("", now);
      banner.resize(banner.size() - 2);  // the record of an empty text is its banner and CR LF
      banner_time = now;
    }
    pending += banner;
    if (HoldsMaskToken(text)) {
      pending += MaskLogText(text);
    } else {
      pending += text;
    }
    pending += "\r\n";
  }
  if (!pending.empty()) AppendToFile(path, pending);
}

}  // namespace quandelstk::channel
