// Many modems on many threads: each thread has its own simulated modem on its own pseudo-terminal
// and runs Init, the queries and a send/read round trip again and again. Used by the thread test
// (under ThreadSanitizer too) and by the benchmark that reports the CPU one exchange costs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quandelstk::testing {

struct ThreadRunFigures {
  int threads = 0;
  int rounds = 0;
  std::int64_t exchanges = 0;  // command lines written, all threads
  double wall_seconds = 0;
  double cpu_seconds = 0;            // the whole process: the library's threads and nothing else
  std::vector<std::string> mistakes;  // an answer that was not its own modem's, a failed call
};

ThreadRunFigures RunModemsOnThreads(int threads, int rounds);

}  // namespace quandelstk::testing
