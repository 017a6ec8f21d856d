#include "channel/log.hpp"

#include <cerrno>
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

std::string MaskLogText(std::string_view text) {
  std::string current(text);
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

void WriteLogs(const std::vector<std::string>& texts) {
  Platform& platform = CurrentPlatform();
  const std::string folder = platform.LogFolder();
  std::string path;
  std::string pending;
  for (const std::string& text : texts) {
    const DateTime now = platform.Now();
    std::string record_path = LogFilePath(folder, now);
    if (record_path != path && !pending.empty()) {
      AppendToFile(path, pending);
      pending.clear();
    }
    path = std::move(record_path);
    pending += FormatLogRecord(MaskLogText(text), now);
  }
  if (!pending.empty()) AppendToFile(path, pending);
}

}  // namespace quandelstk::channel
