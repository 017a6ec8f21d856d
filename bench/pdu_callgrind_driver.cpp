// Runs one PDU operation N times, for valgrind --tool=callgrind: instructions per operation are the
// difference of two runs with different N, divided by the difference of the N.
//   pdu_callgrind_driver OPERATION N [tmpfs|devnull]
// OPERATION: submit7 submit-ucs2 pack7 decode5 decode160 decode-part unpack7; the decoders' trace goes
// to a log on tmpfs (the default) or to /dev/null.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "pdu/pdu.hpp"
#include "pdu_workload.hpp"

using namespace quandelstk;
using namespace quandelstk::bench;

int main(int argc, char** argv) {
  const std::string target = argc == 4 ? argv[3] : "tmpfs";
  if ((argc != 3 && argc != 4) || (target != "tmpfs" && target != "devnull")) {
    std::fprintf(stderr, "usage: %s OPERATION N [tmpfs|devnull]\n", argv[0]);
    return 2;
  }
  auto platform =
      std::make_shared<BenchPlatform>(target == "tmpfs" ? LogTarget::kTmpfs : LogTarget::kDevNull);
  ScopedPlatform scope(platform);

  const std::string ucs2 = Ucs2Text70(), deliver160 = Deliver160(), part = ConcatenatedPart(),
                    packed = pdu::Encode_7_bit(kText160);
  std::uint8_t length = 0;
  std::string out;
  std::size_t sink = 0;
  const std::map<std::string, std::function<void()>> operations = {
      {"submit7", [&] { pdu::Build_SMS_PDU(kText160, kNumber, 7, length, out); }},
      {"submit-ucs2", [&] { pdu::Build_SMS_PDU(ucs2, kNumber, 16, length, out); }},
      {"pack7", [&] { sink += pdu::Encode_7_bit(kText160).size(); }},
      {"decode5", [&] { sink += pdu::Decode_PDU(kDeliver5).Text.size(); }},
      {"decode160", [&] { sink += pdu::Decode_PDU(deliver160).Text.size(); }},
      {"decode-part", [&] { sink += pdu::Decode_PDU(part).Text.size(); }},
      {"unpack7", [&] { sink += pdu::Decode_7_bit(160, packed).size(); }},
  };
  const auto operation = operations.find(argv[1]);
  if (operation == operations.end()) {
    std::fprintf(stderr, "unknown operation %s\n", argv[1]);
    return 2;
  }
  const long n = std::strtol(argv[2], nullptr, 10);
  for (long i = 0; i < n; ++i) operation->second();
  std::printf("%s x %ld: %zu %zu\n", argv[1], n, sink, out.size());
  return 0;
}
