// The port table and the choice of the log folder.
#include <gtest/gtest.h>

#include "platform/log_folder.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk {
namespace {

TEST(PortTable, DefaultsAndAssignments) {
  ResetPortTable();
  // clang-format off
  const std::pair<std::int16_t, const char*> defaults[] = {
      {1, "/dev/ttyS0"}, {32, "/dev/ttyS31"}, {33, "/dev/ttyUSB0"}, {64, "/dev/ttyUSB31"},
      {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"}, {97, ""}, {0, ""}, {-1, ""}};
  // clang-format on
  for (const auto& [port, device] : defaults) EXPECT_EQ(PortDevice(port), device) << port;

  AssignPort(3, "/dev/pts/7");
  AssignPort(200, "/dev/ttyAMA0");
  EXPECT_EQ(PortDevice(3), "/dev/pts/7");
  EXPECT_EQ(PortDevice(200), "/dev/ttyAMA0");
  EXPECT_EQ(PortDevice(4), "/dev/ttyS3");
  ResetPortTable();
  EXPECT_EQ(PortDevice(3), "/dev/ttyS2");
  EXPECT_EQ(PortDevice(200), "");
}

TEST(LogFolder, BesideTheLibraryWhenWritableElseTheUsersStateFolder) {
  struct Case {
    bool writable;
    const char* xdg;
    const char* home;
    const char* folder;
  } cases[] = {
      // clang-format off
      {true, "/x/state", "/home/u", "/opt/qstk/lib"},
      {false, "/x/state", "/home/u", "/x/state/quandelstk"},
      {false, "relative/state", "/home/u", "/home/u/.local/state/quandelstk"},
      {false, "", "/home/u", "/home/u/.local/state/quandelstk"},
      {false, nullptr, "/home/u", "/home/u/.local/state/quandelstk"},
      {false, nullptr, nullptr, "/tmp/.local/state/quandelstk"},
      {false, nullptr, "", "/tmp/.local/state/quandelstk"},
      // clang-format on
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::ChooseLogFolder("/opt/qstk/lib", c.writable, c.xdg, c.home), c.folder)
        << c.writable << " " << (c.xdg ? c.xdg : "null") << " " << (c.home ? c.home : "null");
}

}  // namespace
}  // namespace quandelstk
