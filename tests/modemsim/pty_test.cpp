// The built quandelstk-modemsim on a pseudo-terminal, as a client program sees it.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "support/sim_process.hpp"

namespace quandelstk::testing {
namespace {

using ::testing::HasSubstr;

const std::string kBinary = std::string(QSTK_BIN_DIR) + "/quandelstk-modemsim";

// A client end of the line: raw, at one speed.
class Client {
 public:
  Client(const std::string& path, speed_t speed) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    EXPECT_GE(fd_, 0) << path;
    Speed(speed);
  }
  ~Client() { ::close(fd_); }
  void Speed(speed_t speed) {
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    ::tcsetattr(fd_, TCSANOW, &tio);
  }
  // Writes the bytes, then reads until the text holds `until` or max_ms have passed.
  std::string Talk(const std::string& bytes, const std::string& until, int max_ms = 3000) {
    EXPECT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(max_ms);
    while (std::chrono::steady_clock::now() < end &&
           (until.empty() || got.find(until) == std::string::npos)) {
      pollfd p{fd_, POLLIN, 0};
      char buffer[256];
      if (::poll(&p, 1, 20) > 0) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
      }
    }
    return got;
  }

 private:
  int fd_;
};

TEST(PtyTest, AnswersClientsOneAfterTheOtherAndKeepsATranscript) {
  SimProcess sim(R"({"echo": false})", true);
  {
    Client c(sim.DevicePath(), B115200);
    EXPECT_EQ(c.Talk("AT+CSQ\r", "OK\r\n"), "\r\n+CSQ: 15,99\r\n\r\nOK\r\n");
  }
  Client again(sim.DevicePath(), B19200);
  EXPECT_EQ(again.Talk("AT+CGMI\r", "OK\r\n"), "\r\nWAVECOM MODEM\r\n\r\nOK\r\n");
  EXPECT_EQ(sim.Stop(), 0);
  const std::string transcript = sim.TranscriptText();
  EXPECT_THAT(transcript, HasSubstr(" rx \"AT+CSQ\\r\"\n"));
  EXPECT_THAT(transcript, HasSubstr(" tx \"\\r\\n+CSQ: 15,99\\r\\n\\r\\nOK\\r\\n\"\n"));
}

// A fixed-speed modem hears only that speed. The server sleeps until input or something falls due: a
// speed the client set while it slept counts from when it was set, so a line that falls due later at
// that speed is heard.
TEST(PtyTest, AFixedSpeedModemHearsOnlyThatSpeedCountedFromWhenItWasSet) {
  SimProcess sim(
      R"({"echo": false, "baud": 9600, "unsolicited": [{"at_ms": 2500, "text": "\r\nRING\r\n"}]})");
  Client c(sim.DevicePath(), B115200);
  EXPECT_EQ(c.Talk("AT\r", "", 300), "");  // the server has seen the wrong speed
  c.Speed(B9600);
  EXPECT_EQ(c.Talk("", "RING\r\n", 8000), "\r\nRING\r\n");
  EXPECT_EQ(c.Talk("AT\r", "OK\r\n"), "\r\nOK\r\n");
}

TEST(PtyTest, TimedEventsGoOutWhileNobodyWrites) {
  SimProcess sim(R"({"echo": false, "calls": {"*": {"behaviour": "busy", "after_ms": 300}}})");
  Client c(sim.DevicePath(), B115200);
  EXPECT_EQ(c.Talk("ATD123;\r", "BUSY\r\n"), "\r\nOK\r\n\r\nBUSY\r\n");
}

TEST(PtyTest, TheLinkPointsAtTheDeviceUntilTheEnd) {
  const auto link =
      std::filesystem::temp_directory_path() / ("quandelstk-modem-" + std::to_string(::getpid()));
  SimProcess sim("", false, {"--link", link.string()});
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.DevicePath());
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(PtyTest, ABadScenarioExitsWithTwoAndNamesKeyAndFile) {
  const auto path = std::filesystem::temp_directory_path() / ("quandelstk-bad-" + std::to_string(::getpid()));
  std::ofstream(path) << R"({"network": {"signal": "strong"}})";
  const RunResult r = RunProgram({kBinary, "--scenario", path.string()}, 10000);
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_THAT(r.output, HasSubstr(path.string()));
  EXPECT_THAT(r.output, HasSubstr("\"network.signal\""));
  std::filesystem::remove(path);
}

TEST(PtyTest, HelpDocumentsTheOptionsAndTheScenarioKeys) {
  const RunResult r = RunProgram({kBinary, "--help"}, 10000);
  EXPECT_EQ(r.exit_code, 0);
  for (const char* word : {"--scenario", "--link", "--transcript", "csms_not_ready", "ussd_notifications",
                           "chunking", "responses", "silent", "baud"})
    EXPECT_THAT(r.output, HasSubstr(word));
}

}  // namespace
}  // namespace quandelstk::testing
