// SendATCommand("AT") against a minimal responder on a pseudo-terminal, next to the raw round trip
// of the same line (write "AT\r", poll() until "\r\nOK\r\n"). The verdict is the paired ratio: library
// and raw round trips alternate, each pair meets the same load, and the median of the pairs' ratios is
// what the library adds. The ratio of the two separate benchmarks' medians is printed for information:
// on a shared machine it moves with whatever else runs between their repetitions.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "quandelstk/platform.hpp"

namespace {

constexpr std::int16_t kPort = 120;

// The far end: answers every CR-terminated line with CR LF "OK" CR LF.
class Responder {
 public:
  Responder() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::pipe(stop_) != 0)
      std::abort();
    slave_path_ = ::ptsname(master_);
    thread_ = std::thread([this] { Run(); });
  }
  ~Responder() {
    if (::write(stop_[1], "x", 1) != 1) std::abort();
    thread_.join();
    ::close(master_);
  }
  const std::string& SlavePath() const { return slave_path_; }

 private:
  void Run() {
    pollfd p[2] = {{master_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    char buf[256];
    while (::poll(p, 2, -1) >= 0 && !(p[1].revents & POLLIN)) {
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // no slave open yet
      for (ssize_t i = 0; i < n; ++i)
        if (buf[i] == '\r' && ::write(master_, "\r\nOK\r\n", 6) != 6) std::abort();
    }
  }

  int master_ = -1;
  int stop_[2] = {-1, -1};
  std::string slave_path_;
  std::thread thread_;
};

Responder& Line() {
  static Responder responder;
  return responder;
}

// Our own raw descriptor on the line, opened before the library makes the port exclusive.
int RawFd() {
  static const int fd = [] {
    const int f = ::open(Line().SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    if (f < 0 || ::tcgetattr(f, &tio) != 0) std::abort();
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    ::tcsetattr(f, TCSANOW, &tio);
    return f;
  }();
  return fd;
}

// Write "AT\r", poll() until the answer is complete.
void RawRoundTrip(int fd, std::string& got) {
  char buf[256];
  got.clear();
  if (::write(fd, "AT\r", 3) != 3) std::abort();
  while (got.find("\r\nOK\r\n") == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, 100);
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<std::size_t>(n));
  }
}

// The thread's serial control, open on the line through the port table.
void OpenLibraryPort() {
  RawFd();
  quandelstk::AssignPort(kPort, Line().SlavePath());
  quandelstk::SerialControl& gsm = quandelstk::channel::Gsm();
  if (gsm.PortOpen()) return;
  gsm.CommPort(kPort);
  gsm.Settings("115200,N,8,1");
  gsm.PortOpen(true);
}

void LibraryRoundTrip(benchmark::State& state, std::string& response) {
  if (!quandelstk::channel::SendATCommand("AT", response, 0)) state.SkipWithError("no OK");
}

void BM_RawRoundTrip(benchmark::State& state) {
  const int fd = RawFd();
  std::string got;
  for (auto _ : state) RawRoundTrip(fd, got);
}

void BM_SendATCommand(benchmark::State& state) {
  OpenLibraryPort();
  std::string response;
  for (auto _ : state) LibraryRoundTrip(state, response);
}

// Both round trips in turn, each timed on its own: on a shared machine the two of a pair meet the same
// load, and the median of the pairs' ratios is not pulled by a few slow ones.
void BM_Paired(benchmark::State& state) {
  OpenLibraryPort();
  const int fd = RawFd();
  std::string text;
  std::vector<double> raw, lib, ratios;
  for (auto _ : state) {
    const bool library_first = raw.size() % 2 == 0;
    const auto t0 = std::chrono::steady_clock::now();
    library_first ? LibraryRoundTrip(state, text) : RawRoundTrip(fd, text);
    const auto t1 = std::chrono::steady_clock::now();
    library_first ? RawRoundTrip(fd, text) : LibraryRoundTrip(state, text);
    const auto t2 = std::chrono::steady_clock::now();
    const double first = std::chrono::duration<double, std::nano>(t1 - t0).count();
    const double second = std::chrono::duration<double, std::nano>(t2 - t1).count();
    raw.push_back(library_first ? second : first);
    lib.push_back(library_first ? first : second);
    ratios.push_back(lib.back() / raw.back());
  }
  auto median = [](std::vector<double>& v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  state.counters["raw_ns"] = median(raw);
  state.counters["lib_ns"] = median(lib);
  state.counters["ratio"] = median(ratios);
}

BENCHMARK(BM_RawRoundTrip)->UseRealTime()->Repetitions(30)->ReportAggregatesOnly(true);
BENCHMARK(BM_SendATCommand)->UseRealTime()->Repetitions(30)->ReportAggregatesOnly(true);
BENCHMARK(BM_Paired)->UseRealTime()->MinTime(3.0);

// The console output, then the verdict from the paired round trips and, for information, the ratio of
// the separate medians.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.aggregate_name == "median") medians_[r.run_name.function_name] = r.GetAdjustedRealTime();
      if (r.run_name.function_name == "BM_Paired" && r.counters.count("ratio"))
        paired_ = r.counters.at("ratio");
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto raw = medians_.find("BM_RawRoundTrip");
    const auto lib = medians_.find("BM_SendATCommand");
    if (paired_ > 0)
      std::printf("paired round trips, median of SendATCommand / raw per pair: %.2f (target 1.5 or less)\n",
                  paired_);
    else
      std::printf("no paired round trips ran: no verdict\n");
    if (raw != medians_.end() && lib != medians_.end())
      std::printf(
          "for information, separate runs: median SendATCommand / median raw: %.0f ns / %.0f ns = %.2f\n",
          lib->second, raw->second, lib->second / raw->second);
  }

 private:
  std::map<std::string, double> medians_;
  double paired_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  // The machine is shared: interleaving the repetitions of the two benchmarks exposes both to the same
  // load, so that the ratio of their medians means something.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
