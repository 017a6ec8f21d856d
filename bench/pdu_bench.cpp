// Speed of the PDU codec: SUBMIT building, 7-bit packing, and decoding with the 7-bit trace written
// to a log folder on tmpfs and to /dev/null.
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

// Runs decode in a loop with the trace going to the target; a log on tmpfs is emptied every so
// often, outside the timed part.
template <typename Decode>
void WithLog(benchmark::State& state, LogTarget target, Decode decode) {
  auto platform = std::make_shared<BenchPlatform>(target);
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
  state.SetLabel(std::string("log to ") + LogTargetName(target));
}

void DecodeDeliver5(benchmark::State& state, LogTarget target) {
  WithLog(state, target, [] { benchmark::DoNotOptimize(pdu::Decode_PDU(kDeliver5)); });
}
BENCHMARK_CAPTURE(DecodeDeliver5, tmpfs, LogTarget::kTmpfs);
BENCHMARK_CAPTURE(DecodeDeliver5, devnull, LogTarget::kDevNull);

void DecodeDeliver160(benchmark::State& state, LogTarget target) {
  const std::string deliver = Deliver160();
  WithLog(state, target, [&] { benchmark::DoNotOptimize(pdu::Decode_PDU(deliver)); });
}
BENCHMARK_CAPTURE(DecodeDeliver160, tmpfs, LogTarget::kTmpfs);
BENCHMARK_CAPTURE(DecodeDeliver160, devnull, LogTarget::kDevNull);

void DecodeConcatenatedPart(benchmark::State& state, LogTarget target) {
  const std::string part = ConcatenatedPart();
  WithLog(state, target, [&] { benchmark::DoNotOptimize(pdu::Decode_PDU(part)); });
}
BENCHMARK_CAPTURE(DecodeConcatenatedPart, tmpfs, LogTarget::kTmpfs);
BENCHMARK_CAPTURE(DecodeConcatenatedPart, devnull, LogTarget::kDevNull);

void Decode7Bit160(benchmark::State& state, LogTarget target) {
  const std::string packed = pdu::Encode_7_bit(kText160);
  WithLog(state, target, [&] { benchmark::DoNotOptimize(pdu::Decode_7_bit(160, packed)); });
}
BENCHMARK_CAPTURE(Decode7Bit160, tmpfs, LogTarget::kTmpfs);

}  // namespace
}  // namespace quandelstk::bench

BENCHMARK_MAIN();
