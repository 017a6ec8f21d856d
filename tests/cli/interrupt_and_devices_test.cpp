// The CLI under signals and on devices it cannot use, against quandelstk-modemsim on a pseudo-
// terminal, in real time: SIGINT or SIGTERM during "sms online" hangs up the call (the simulator's
// transcript shows "ATH") and exits 128 + the signal; Ctrl-C in the shell ends the command only; a port
// another program holds and a file that is no serial port are named as such; the PIN shows nowhere.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "device_check.hpp"
#include "support/cli_run.hpp"

namespace quandelstk::testing {
namespace {

// A number that rings for ever, so that the call is up when the signal comes.
const std::string kRinging = R"({"calls": {"*": {"behaviour": "ring", "alert_ms": 200}}})";

// Waits (real time, bounded for a loaded machine) until the simulator has received text.
bool TranscriptShows(const SimProcess& sim, const std::string& text, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (sim.TranscriptText().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// At the top level SIGINT and SIGTERM take the same way out (exit 128 + the signal); Ctrl-C is the
// shell's test below.
TEST(OnlineInterrupted, HangsUpClosesThePortAndExitsWithTheSignal) {
  SimProcess sim(kRinging, true);
  BackgroundProgram cli({kCli, "--port", sim.DevicePath(), "sms", "online", "+15550100456", "--wait", "32"});
  ASSERT_TRUE(TranscriptShows(sim, R"(rx "ATD+15550100456;\r")", 60)) << sim.TranscriptText();
  cli.Signal(SIGTERM);
  const RunResult r = cli.Finish(30000);
  EXPECT_EQ(r.exit_code, 143) << r.output;
  EXPECT_NE(r.output.find("hung up (ATH)"), std::string::npos) << r.output;
  // The call was ended: the line heard "ATH" after the dial, and the port is free again.
  const std::string t = sim.TranscriptText();
  EXPECT_GT(t.find(R"(rx "ATH\r)"), t.find("ATD+15550100456")) << t;
  const RunResult again = RunProgram({kCli, "--port", sim.DevicePath(), "signal"}, 60000);
  EXPECT_EQ(again.exit_code, 0) << again.output;
}

TEST(ShellInterrupted, CtrlCEndsTheCommandAndTheShellGoesOn) {
  SimProcess sim(kRinging, true);
  const auto input = std::filesystem::temp_directory_path() / ("quandelstk-shell-" + std::to_string(::getpid()));
  std::ofstream(input) << "sms online +15550100456 --wait 32\nsignal\n";
  BackgroundProgram cli({"sh", "-c", "exec '" + kCli + "' --port " + sim.DevicePath() + " shell < " + input.string()});
  ASSERT_TRUE(TranscriptShows(sim, "ATD+15550100456", 60)) << sim.TranscriptText();
  cli.Signal(SIGINT);
  // The simulator may read "ATH\r" and the next command in one record: look for the line's end.
  ASSERT_TRUE(TranscriptShows(sim, R"(AT+CSQ\r")", 60)) << sim.TranscriptText();
  const RunResult r = cli.Finish(30000);
  std::filesystem::remove(input);
  EXPECT_EQ(r.exit_code, 0) << r.output;  // the last command, signal, succeeded
  EXPECT_NE(r.output.find("interrupted; the call hung up (ATH)"), std::string::npos) << r.output;
  const std::string t = sim.TranscriptText();
  EXPECT_LT(t.find(R"(ATH\r)"), t.find(R"(AT+CSQ\r")")) << t;
}

// A port another program holds and a file that is no serial port, each named as such.
TEST(Devices, APortHeldElsewhereOrAFileIsNamedAsSuch) {
  SimProcess sim;
  const int fd = ::open(sim.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  const auto file = std::filesystem::temp_directory_path() / ("quandelstk-notatty-" + std::to_string(::getpid()));
  std::ofstream(file) << "";
  for (const auto& [port, says] : std::vector<std::pair<std::string, std::string>>{
           {sim.DevicePath(), "is held by another program, often ModemManager"},
           {file, "is not a serial port"}}) {
    const RunResult r = RunProgram({kCli, "--port", port, "signal"}, 60000);
    EXPECT_EQ(r.exit_code, 3) << r.output;
    EXPECT_NE(r.output.find(says), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("did not answer"), std::string::npos) << r.output;
  }
  ::close(fd);
  std::filesystem::remove(file);
}

// Root opens any device, so a refused permission is checked on the advice it gives.
TEST(Devices, APermissionErrorSaysWhichGroupToJoin) {
  EXPECT_NE(cli::OpenFailureAdvice("/dev/ttyUSB0", EACCES).find("sudo usermod -aG dialout $USER"), std::string::npos);
  EXPECT_NE(cli::OpenFailureAdvice("/dev/ttyUSB0", EBUSY).find("held by another program"), std::string::npos);
  EXPECT_EQ(cli::OpenFailureAdvice("/dev/ttyUSB0", ENOENT), "");
}

// A whole session with --trace and the PIN given (from a file): the PIN is in no output and no log file.
TEST(PinSecrecy, ThePinShowsNowhereAfterATracedSession) {
  const std::string pin = "9731";
  SimProcess sim(R"({"sim": {"state": "SIM PIN", "pin": ")" + pin + R"("}})", true);
  const auto home = std::filesystem::temp_directory_path() / ("quandelstk-pin-" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  const auto started = std::filesystem::file_time_type::clock::now();
  std::ofstream(home / "input") << "signal\noperator\nimsi\nsms send +15550100999 hello\nsms read\n"
                                   "ussd send *100#\nphonebook size\nstk activate\nstk menu\n";
  std::ofstream(home / "pin") << pin << "\n";
  const RunResult r =
      RunProgram({"sh", "-c", "XDG_STATE_HOME='" + home.string() + "' exec '" + kCli + "' --port " + sim.DevicePath() +
                                  " --pin-file " + (home / "pin").string() + " --trace shell < '" + (home / "input").string() + "'"},
                 120000);
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("-> AT+CPIN=****\\r"), std::string::npos) << "the PIN entry is traced, masked";
  EXPECT_NE(sim.TranscriptText().find("AT+CPIN=" + pin), std::string::npos) << "the modem did get it";
  EXPECT_EQ(r.output.find(pin), std::string::npos) << r.output;
  // Log files written during the session, wherever the library put them.
  for (const auto& folder : {std::filesystem::path(QSTK_BIN_DIR), home})
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file() || entry.last_write_time() < started) continue;
      if (entry.path().filename() == "input" || entry.path().extension() != ".txt") continue;
      std::stringstream text;
      text << std::ifstream(entry.path(), std::ios::binary).rdbuf();
      EXPECT_EQ(Count(text.str(), pin), 0u) << entry.path();
    }
  std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace quandelstk::testing
