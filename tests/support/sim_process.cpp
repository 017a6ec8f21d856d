#include "support/sim_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace quandelstk::testing {

namespace {

using Clock = std::chrono::steady_clock;

std::filesystem::path MakeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quandelstk-sim-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

// Forks argv with its standard output (and error, when asked) on a pipe; returns the read end.
pid_t Spawn(const std::vector<std::string>& argv, bool with_stderr, int& read_fd) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    if (with_stderr) ::dup2(fds[1], STDERR_FILENO);
    ::close(fds[0]);
    ::close(fds[1]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  read_fd = fds[0];
  return pid;
}

// Waits for the child up to timeout_ms; kills it when it is still running then.
int Reap(pid_t pid, int timeout_ms, bool& timed_out) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      timed_out = true;
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

SimProcess::SimProcess(const std::string& scenario_json, bool transcript,
                       const std::vector<std::string>& extra_args)
    : folder_(MakeFolder()) {
  std::vector<std::string> argv = {std::string(QSTK_BIN_DIR) + "/quandelstk-modemsim"};
  if (!scenario_json.empty()) {
    std::ofstream(folder_ / "scenario.json") << scenario_json;
    argv.insert(argv.end(), {"--scenario", (folder_ / "scenario.json").string()});
  }
  if (transcript) argv.insert(argv.end(), {"--transcript", (folder_ / "transcript.txt").string()});
  argv.insert(argv.end(), extra_args.begin(), extra_args.end());
  int out = -1;
  pid_ = Spawn(argv, false, out);
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  char c = 0;
  while (Clock::now() < deadline) {
    pollfd p{out, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    if (::read(out, &c, 1) != 1 || c == '\n') break;
    device_ += c;
  }
  ::close(out);
  if (c != '\n' || device_.empty()) {
    Stop();
    throw std::runtime_error("quandelstk-modemsim did not print its device path");
  }
}

SimProcess::~SimProcess() {
  Stop();
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

int SimProcess::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    bool timed_out = false;
    status_ = Reap(pid_, 5000, timed_out);
    pid_ = -1;
  }
  return status_;
}

std::string SimProcess::TranscriptText() const {
  std::ifstream in(folder_ / "transcript.txt", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

namespace {
// Reads the child's output until it closes it or the time is up, then reaps it.
RunResult Collect(pid_t pid, int out, int timeout_ms) {
  RunResult result;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  char buffer[4096];
  while (Clock::now() < deadline) {
    pollfd p{out, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::read(out, buffer, sizeof buffer);
    if (n <= 0) break;  // the program closed its output: it is ending
    result.output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(out);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  result.exit_code = Reap(pid, static_cast<int>(std::max<long long>(left, 0)), result.timed_out);
  if (result.timed_out) result.exit_code = -1;
  return result;
}
}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv, int timeout_ms) {
  int out = -1;
  const pid_t pid = Spawn(argv, true, out);
  return Collect(pid, out, timeout_ms);
}

BackgroundProgram::BackgroundProgram(const std::vector<std::string>& argv) { pid_ = Spawn(argv, true, out_); }

BackgroundProgram::~BackgroundProgram() {
  if (pid_ > 0) Finish(0);
}

void BackgroundProgram::Signal(int signal) const {
  if (pid_ > 0) ::kill(pid_, signal);
}

RunResult BackgroundProgram::Finish(int timeout_ms) {
  RunResult result = Collect(pid_, out_, timeout_ms);
  pid_ = -1;
  return result;
}

}  // namespace quandelstk::testing
