#ifndef _WIN32
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "platform/code_table_folders.hpp"
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

std::string ProgramFolder() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return FolderOf(std::string(buf, static_cast<std::size_t>(n)));
  return ".";
}

// The folder of the file this code was loaded from: the shared library, or the executable when the
// library is linked statically. The program itself is found through /proc, since the loader names
// it by argv[0]; a library found through a relative search path has a relative name, made absolute
// against the working directory, which is the one it was loaded from unless the program changed it.
// A name found through a $ORIGIN search path holds its "..": "/p/lib/python3/x/../../libq.so.6" (a
// Python module finding the library); it is resolved too, so that the install's data folder is found
// from the library's real folder.
std::string OwnFolder() {
  Dl_info info{};
  link_map* object = nullptr;
  if (::dladdr1(reinterpret_cast<void*>(&OwnFolder), &info, reinterpret_cast<void**>(&object), RTLD_DL_LINKMAP) != 0 &&
      object && object->l_name && object->l_name[0]) {
    const std::string name = object->l_name;
    const bool dotted = name.find("/./") != std::string::npos || name.find("/../") != std::string::npos;
    if (name[0] == '/' && !dotted) return FolderOf(name);
    if (char* full = ::realpath(object->l_name, nullptr)) {
      const std::string folder = FolderOf(full);
      std::free(full);
      return folder;
    }
  }
  return ProgramFolder();
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

  std::vector<std::string> CodeTableFolders() override {
    static const std::vector<std::string> folders =
        platform::CodeTableFolders(LibraryFolder(), ProgramFolder(), ConfiguredLayout());
    return folders;
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
