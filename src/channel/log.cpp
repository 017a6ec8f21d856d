#include "channel/log.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "channel/log_batch.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/version.hpp"

namespace quandelstk::channel {

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

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
  throw RuntimeError(
      number, what + ": cannot append to the log file " + path + " (" + std::strerror(error_number) + ")");
}

}  // namespace

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

void AppendToLogFile(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) RaiseFileError(errno, path);
  // Unbuffered, so that the bytes go to the file in one write, whatever their length.
  std::setvbuf(f, nullptr, _IONBF, 0);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const int write_errno = errno;
  const bool closed = std::fclose(f) == 0;
  if (!written) RaiseFileError(write_errno, path);
  if (!closed) RaiseFileError(errno, path);
}

void WriteLog(const std::string& text) {
  LogBatch batch;
  batch.Begin();
  batch.Add(text);
  batch.Write();
}

}  // namespace quandelstk::channel
