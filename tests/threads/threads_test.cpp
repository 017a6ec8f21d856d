// 32 threads, each with its own simulated modem on its own pseudo-terminal, each running Init, the
// queries and a send/read round trip 20 times: every answer must be its own modem's. The tsan
// preset runs this test under ThreadSanitizer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "support/thread_workload.hpp"

namespace quandelstk::testing {
namespace {

TEST(Threads, ThirtyTwoModemsOnThirtyTwoThreadsEachGetTheirOwnAnswers) {
  const char* rounds = std::getenv("QSTK_THREAD_ROUNDS");
  const ThreadRunFigures f = RunModemsOnThreads(32, rounds && *rounds ? std::atoi(rounds) : 20);
  for (const std::string& m : f.mistakes) ADD_FAILURE() << m;
  EXPECT_TRUE(f.mistakes.empty());
  EXPECT_GT(f.exchanges, 32 * f.rounds * 20);  // Init alone writes more than twenty lines
  std::cout << f.threads << " threads x " << f.rounds << " rounds: " << f.exchanges << " exchanges in "
            << f.wall_seconds << " s, " << f.cpu_seconds << " s of CPU\n";
}

}  // namespace
}  // namespace quandelstk::testing
