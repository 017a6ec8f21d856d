// Modem.Init against a ready simulated modem over a real pseudo-terminal. Init has 3 x 1000 ms of
// mandated pauses (after each "AT+CGSN"); the counter "beyond_pauses_ms" is what it costs on top.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "modemsim/model.hpp"
#include "modemsim/pty_server.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/platform.hpp"

namespace {

constexpr std::int16_t kPort = 200;

void BM_InitOverPty(benchmark::State& state) {
  struct sigaction wake {};
  wake.sa_handler = [](int) {};
  ::sigaction(SIGUSR1, &wake, nullptr);
  quandelstk::modemsim::Model model;
  quandelstk::modemsim::PtyServer server(model);
  volatile std::sig_atomic_t stop = 0;
  std::thread serving([&] { server.Serve(stop); });
  quandelstk::AssignPort(kPort, server.DevicePath());

  double total_ms = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    quandelstk::Modem modem;
    const auto status = modem.Init(kPort);
    const auto end = std::chrono::steady_clock::now();
    if (status != quandelstk::InitStatus::OK) {
      state.SkipWithError("Init did not return OK");
      break;
    }
    modem.ShutDown();
    total_ms += std::chrono::duration<double, std::milli>(end - start).count();
  }
  stop = 1;
  ::pthread_kill(serving.native_handle(), SIGUSR1);  // the idle server sleeps until a signal
  serving.join();
  if (state.iterations() > 0)
    state.counters["beyond_pauses_ms"] = total_ms / static_cast<double>(state.iterations()) - 3000.0;
}

}  // namespace

BENCHMARK(BM_InitOverPty)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

BENCHMARK_MAIN();
