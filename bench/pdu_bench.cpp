// Speed of the PDU codec: SUBMIT building, 7-bit packing, and decoding with the 7-bit trace written
// to a log folder on tmpfs.
#include <benchmark/benchmark.h>

#include "pdu/pdu.hpp"
#include "pdu_workload.hpp"

namespace quandelstk::bench {
namespace {

void BuildSubmit7Bit160(benchmark::State& state) {
  std::uint8_t length = 0;
  std::string pdu;
  for (auto _ : state) {
    pdu::Build_SMS_PDU(kText160, kNumber, 7, length, pdu);
    benchmark::DoNotOptimize(pdu);
  }
}
BENCHMARK(BuildSubmit7Bit160);

void BuildSubmitUcs2_70(benchmark::State& state) {
  const std::string text = Ucs2Text70();
  std::uint8_t length = 0;
  std::string pdu;
  for (auto _ : state) {
    pdu::Build_SMS_PDU(text, kNumber, 16, length, pdu);
    benchmark::DoNotOptimize(pdu);
  }
}
BENCHMARK(BuildSubmitUcs2_70);

void Encode7Bit160(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(pdu::Encode_7_bit(kText160));
}
BENCHMARK(Encode7Bit160);

// Runs decode in a loop with the trace going to tmpfs; the log is emptied every so often, outside
// the timed part.
template <typename Decode>
void WithTmpfsLog(benchmark::State& state, Decode decode) {
  auto platform = std::make_shared<TmpfsLogPlatform>();
  ScopedPlatform scope(platform);
  std::int64_t n = 0;
  for (auto _ : state) {
    decode();
    if (++n % 256 == 0) {
      state.PauseTiming();
      platform->ClearLog();
      state.ResumeTiming();
    }
  }
}

void DecodeDeliver5(benchmark::State& state) {
  WithTmpfsLog(state, [] { benchmark::DoNotOptimize(pdu::Decode_PDU(kDeliver5)); });
}
BENCHMARK(DecodeDeliver5);

void DecodeDeliver160(benchmark::State& state) {
  const std::string deliver = Deliver160();
  WithTmpfsLog(state, [&] { benchmark::DoNotOptimize(pdu::Decode_PDU(deliver)); });
}
BENCHMARK(DecodeDeliver160);

void DecodeConcatenatedPart(benchmark::State& state) {
  const std::string part = ConcatenatedPart();
  WithTmpfsLog(state, [&] { benchmark::DoNotOptimize(pdu::Decode_PDU(part)); });
}
BENCHMARK(DecodeConcatenatedPart);

void Decode7Bit160(benchmark::State& state) {
  const std::string packed = pdu::Encode_7_bit(kText160);
  WithTmpfsLog(state, [&] { benchmark::DoNotOptimize(pdu::Decode_7_bit(160, packed)); });
}
BENCHMARK(Decode7Bit160);

}  // namespace
}  // namespace quandelstk::bench

BENCHMARK_MAIN();
