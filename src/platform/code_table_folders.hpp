// Where the POSIX library looks for the character code table "Unicode.txt". A build tree keeps it
// beside the library; an install keeps it in PREFIX/share/quandelstk, where the library cannot
// learn PREFIX from anything but its own place: the folder of its file less the configured
// library (or, linked statically, program) folder. The prefix configured at build time and the
// program's folder come after, for an install moved elsewhere and for a program shipped with the
// table beside it.
#pragma once

#include <string>
#include <vector>

namespace quandelstk::platform {

// The install layout as configured: the prefix, then folders relative to it (or absolute).
struct InstallLayout {
  std::string prefix = "/usr/local";
  std::string libdir = "lib";
  std::string bindir = "bin";
  std::string datadir = "share";
};

// The layout this library was configured with.
InstallLayout ConfiguredLayout();

// In search order, without repeats: own_folder; the data folder of the prefix own_folder lies in
// (when it ends in the layout's libdir or bindir); the configured data folder; program_folder.
std::vector<std::string> CodeTableFolders(const std::string& own_folder, const std::string& program_folder,
                                          const InstallLayout& layout);

}  // namespace quandelstk::platform
