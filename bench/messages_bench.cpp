// Speed of the messages codec on the exact codec's benchmark messages: encoding a text into its
// SMS-SUBMIT, decoding an SMS-DELIVER in full. Run plain for timings; with "--driver OPERATION N" it
// runs one operation N times for callgrind (bench/messages_callgrind.sh counts instructions per
// message, next to the exact codec's).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

#include "pdu_workload.hpp"
#include "quandelstk/messages.hpp"

namespace quandelstk::bench {
namespace {

// The same 70 characters the exact codec's UCS2 benchmark sends (alternating А and х), in UTF-8.
std::string Utf8Text70() {
  std::string s;
  for (int i = 0; i < 70; ++i) s += i % 2 ? "х" : "А";
  return s;
}
const std::string kMixed = "Café €5 [ok] Привет 😀 see you at 10:30, bring the {spare} keys ~ thanks!";

const std::map<std::string, std::function<std::size_t()>>& Operations() {
  static const std::string ucs2 = Utf8Text70(), deliver160 = Deliver160(), part = ConcatenatedPart();
  static const std::string long_text = [] {
    std::string s;
    while (s.size() < 1000) s += kText160;
    return s.substr(0, 1000);
  }();
  static const std::map<std::string, std::function<std::size_t()>> operations = {
      {"encode160", [] { return messages::EncodeSubmit(kNumber, kText160, {}, 0)[0].pdu.size(); }},
      {"encode-ucs2", [] { return messages::EncodeSubmit(kNumber, ucs2, {}, 0)[0].pdu.size(); }},
      {"encode-mixed", [] { return messages::EncodeSubmit(kNumber, kMixed, {}, 0)[0].pdu.size(); }},
      {"encode-long", [] { return messages::EncodeSubmit(kNumber, long_text, {}, 7).size(); }},
      {"plan-long", [] { return static_cast<std::size_t>(messages::Plan(long_text).parts); }},
      {"decode5", [] { return messages::DecodePdu(kDeliver5).text.size(); }},
      {"decode160", [] { return messages::DecodePdu(deliver160).text.size(); }},
      {"decode-part", [] { return messages::DecodePdu(part).text.size(); }},
  };
  return operations;
}

void Run(benchmark::State& state, const std::string& name) {
  const auto& operation = Operations().at(name);
  for (auto _ : state) benchmark::DoNotOptimize(operation());
}

}  // namespace
}  // namespace quandelstk::bench

int main(int argc, char** argv) {
  using namespace quandelstk::bench;
  if (argc == 4 && std::strcmp(argv[1], "--driver") == 0) {
    const auto found = Operations().find(argv[2]);
    if (found == Operations().end()) {
      std::fprintf(stderr, "unknown operation %s\n", argv[2]);
      return 2;
    }
    std::size_t sink = 0;
    for (long i = 0, n = std::strtol(argv[3], nullptr, 10); i < n; ++i) sink += found->second();
    std::printf("%s: %zu\n", argv[2], sink);
    return 0;
  }
  for (const auto& [name, operation] : Operations())
    benchmark::RegisterBenchmark(("Messages/" + name).c_str(),
                                 [name = name](benchmark::State& s) { Run(s, name); });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
