#ifndef _WIN32
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "platform/default_platform.hpp"
#include "platform/log_folder.hpp"
#include "platform/posix_serial.hpp"

namespace quandelstk::platform {

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The folder of the file this code was loaded from: the shared library, or the executable when the
// library is linked statically.
std::string OwnFolder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&OwnFolder), &info) != 0 && info.dli_fname && info.dli_fname[0] == '/')
    return FolderOf(info.dli_fname);
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return FolderOf(std::string(buf, static_cast<std::size_t>(n)));
  return ".";
}

void MakeFolders(const std::string& path) {
  for (std::size_t at = 1; at <= path.size(); ++at) {
    if (at == path.size() || path[at] == '/') ::mkdir(path.substr(0, at).c_str(), 0755);
  }
}

class PosixPlatform final : public Platform {
 public:
  std::unique_ptr<SerialControl> MakeSerialControl() override { return std::make_unique<PosixSerialControl>(); }

  DateTime Now() override {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  }

  std::int64_t MonotonicMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }

  void Sleep(std::int32_t ms) override {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }

  std::string LibraryFolder() override {
    static const std::string folder = OwnFolder();
    return folder;
  }

  // The library's folder when its users may write there (a build tree, a private install); a
  // system-wide install falls back to the user's state folder, created on first use.
  std::string LogFolder() override {
    const std::string own = LibraryFolder();
    const std::string folder = ChooseLogFolder(own, ::access(own.c_str(), W_OK) == 0,
                                               std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
    if (folder != own) MakeFolders(folder);
    return folder;
  }
};

}  // namespace

std::shared_ptr<Platform> DefaultPlatform() {
  static const std::shared_ptr<Platform> platform = std::make_shared<PosixPlatform>();
  return platform;
}

}  // namespace quandelstk::platform
#endif
