#include "platform/code_table_folders.hpp"

#include <algorithm>

namespace quandelstk::platform {

namespace {

// The install's own subfolder of the data folder.
constexpr const char* kDataSubfolder = "quandelstk";

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string Join(const std::string& a, const std::string& b) {
  if (IsAbsolute(b)) return b;
  if (a.empty() || a.back() == '/') return a + b;
  return a + "/" + b;
}

// The prefix whose `dir` is folder: folder less "/dir", or nothing when folder is elsewhere.
std::string PrefixOf(const std::string& folder, const std::string& dir, const std::string& configured_prefix) {
  if (dir.empty()) return {};
  if (IsAbsolute(dir)) return folder == dir ? configured_prefix : std::string();
  const std::string tail = "/" + dir;
  if (folder.size() < tail.size() || folder.compare(folder.size() - tail.size(), tail.size(), tail) != 0) return {};
  const std::string prefix = folder.substr(0, folder.size() - tail.size());
  return prefix.empty() ? "/" : prefix;
}

}  // namespace

InstallLayout ConfiguredLayout() {
  InstallLayout layout;
#ifdef QSTK_INSTALL_PREFIX
  layout.prefix = QSTK_INSTALL_PREFIX;
  layout.libdir = QSTK_INSTALL_LIBDIR;
  layout.bindir = QSTK_INSTALL_BINDIR;
  layout.datadir = QSTK_INSTALL_DATADIR;
#endif
  return layout;
}

std::vector<std::string> CodeTableFolders(const std::string& own_folder, const std::string& program_folder,
                                          const InstallLayout& layout) {
  std::vector<std::string> folders;
  const auto add = [&folders](const std::string& folder) {
    if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(folder);
  };
  add(own_folder);
  for (const std::string* dir : {&layout.libdir, &layout.bindir}) {
    const std::string prefix = PrefixOf(own_folder, *dir, layout.prefix);
    if (!prefix.empty()) add(Join(Join(prefix, layout.datadir), kDataSubfolder));
  }
  add(Join(Join(layout.prefix, layout.datadir), kDataSubfolder));
  add(program_folder);
  return folders;
}

}  // namespace quandelstk::platform
