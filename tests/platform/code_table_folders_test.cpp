// Where the POSIX library looks for "Unicode.txt": its own folder, its install's data folder, the
// configured one, the program's folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/code_table_folders.hpp"

namespace quandelstk::platform {
namespace {

using Folders = std::vector<std::string>;

TEST(CodeTableFolders, OwnFolderThenTheInstallsDataFolderThenTheConfiguredOneThenTheProgramsFolder) {
  const InstallLayout debian{"/usr", "lib/x86_64-linux-gnu", "bin", "share"};
  const InstallLayout local{"/usr/local", "lib", "bin", "share"};
  struct Case {
    const char* what;
    std::string own, program;
    InstallLayout layout;
    Folders expected;
  } cases[] = {
      {"shared library of the Debian package", "/usr/lib/x86_64-linux-gnu", "/usr/bin", debian,
       {"/usr/lib/x86_64-linux-gnu", "/usr/share/quandelstk", "/usr/bin"}},
      {"the same library reached through the merged /lib", "/lib/x86_64-linux-gnu", "/usr/bin", debian,
       {"/lib/x86_64-linux-gnu", "/share/quandelstk", "/usr/share/quandelstk", "/usr/bin"}},
      {"an install moved to another prefix", "/tmp/stage/lib", "/home/u/app", local,
       {"/tmp/stage/lib", "/tmp/stage/share/quandelstk", "/usr/local/share/quandelstk", "/home/u/app"}},
      {"linked statically into an installed program", "/opt/q/bin", "/opt/q/bin", local,
       {"/opt/q/bin", "/opt/q/share/quandelstk", "/usr/local/share/quandelstk"}},
      {"a build tree, which looks like a prefix too", "/src/build/dev/lib", "/src/build/dev/bin", local,
       {"/src/build/dev/lib", "/src/build/dev/share/quandelstk", "/usr/local/share/quandelstk", "/src/build/dev/bin"}},
      {"a folder that merely ends like the library folder's name", "/opt/mylib", "/x", local,
       {"/opt/mylib", "/usr/local/share/quandelstk", "/x"}},
      {"absolute folders configured",
       "/opt/q/libs", "/x", InstallLayout{"/opt/q", "/opt/q/libs", "/opt/q/bin", "/srv/data"},
       {"/opt/q/libs", "/srv/data/quandelstk", "/x"}},
      {"a prefix of / itself", "/lib", "/bin", local,
       {"/lib", "/share/quandelstk", "/usr/local/share/quandelstk", "/bin"}},
  };
  for (const auto& c : cases) EXPECT_EQ(CodeTableFolders(c.own, c.program, c.layout), c.expected) << c.what;
}

TEST(CodeTableFolders, TheConfiguredLayoutIsTheBuildsOwn) {
  const InstallLayout layout = ConfiguredLayout();
  EXPECT_EQ(layout.prefix.front(), '/');
  EXPECT_FALSE(layout.libdir.empty());
  EXPECT_FALSE(layout.bindir.empty());
  EXPECT_FALSE(layout.datadir.empty());
  // The build defines the layout for this one file; without it the defaults would silently stand.
  EXPECT_EQ(layout.prefix, QSTK_TEST_INSTALL_PREFIX);
}

}  // namespace
}  // namespace quandelstk::platform
