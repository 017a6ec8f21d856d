// The CPU one exchange costs when 32 threads each drive their own modem (a simulated one on its own
// pseudo-terminal): Init, the queries and a send/read round trip, 20 times per thread. Prints the
// figures; nothing is asserted (the thread test checks the answers).
#include <cstdio>
#include <cstdlib>

#include "support/thread_workload.hpp"

int main(int argc, char** argv) {
  const int threads = argc > 1 ? std::atoi(argv[1]) : 32;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 20;
  const auto f = quandelstk::testing::RunModemsOnThreads(threads, rounds);
  std::printf("threads %d, rounds %d: %lld exchanges in %.1f s wall, %.2f s CPU (library and its threads)\n",
              f.threads, f.rounds, static_cast<long long>(f.exchanges), f.wall_seconds, f.cpu_seconds);
  std::printf("CPU per exchange: %.1f us; mistakes: %zu\n", 1e6 * f.cpu_seconds / static_cast<double>(f.exchanges),
              f.mistakes.size());
  return f.mistakes.empty() ? 0 : 1;
}
