// End-to-end test helpers: the built quandelstk-modemsim as a child process on a pseudo-terminal,
// and a bounded run of any program. Standard library and POSIX only.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quandelstk::testing {

class SimProcess {
 public:
  // Starts QSTK_BIN_DIR/quandelstk-modemsim with the scenario (JSON text, none when empty) and,
  // when asked, a transcript (and any further options); waits for the device path on its first
  // line of output.
  explicit SimProcess(const std::string& scenario_json = "", bool transcript = false,
                      const std::vector<std::string>& extra_args = {});
  ~SimProcess();  // SIGTERM, then wait
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::string& DevicePath() const { return device_; }
  const std::filesystem::path& Folder() const { return folder_; }
  std::string TranscriptText() const;
  // Stops the simulator now and returns its exit status (-1 when it did not end normally).
  int Stop();

 private:
  std::filesystem::path folder_;
  pid_t pid_ = -1;
  int status_ = -1;
  std::string device_;
};

struct RunResult {
  int exit_code = -1;  // -1 when killed or not ended normally
  bool timed_out = false;
  std::string output;  // standard output and error together
};

// Runs argv[0] (looked up in PATH) and kills it after timeout_ms.
RunResult RunProgram(const std::vector<std::string>& argv, int timeout_ms);

// A program running in the background, so that a test can signal it; its output is collected by
// Finish (keep it under a pipe's 64 KiB).
class BackgroundProgram {
 public:
  explicit BackgroundProgram(const std::vector<std::string>& argv);
  ~BackgroundProgram();  // kills it when it still runs
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;
  void Signal(int signal) const;
  // Waits up to timeout_ms for the end (then kills it): exit code -1 when it did not end normally.
  RunResult Finish(int timeout_ms);

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

}  // namespace quandelstk::testing
