// Decode_PDU and the stored SMS-SUBMIT decoder on any text. A PDU that cannot be decoded raises a
// RuntimeError with a documented number (5 for an unknown coding, the cut errors for a text too
// short); nothing else may come out, and the LMS fields keep their ranges.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "pdu/pdu.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quandelstk;
  using namespace quandelstk::fuzzing;
  if (size < 1) return 0;
  Bench bench("");  // the 7-bit decoder logs its trace; the code table is read for UCS2
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    if (data[0] & 1) {
      const DecodedPdu d = pdu::Decode_PDU(text);
      // A 7-bit message without a header says so in every concatenation field.
      if (d.IsLMS && !*d.IsLMS)
        Require(d.LMS_Total == 0 && d.LMS_Reference == -1 && d.LMS_Sequence == -1, "a single message with parts");
    } else {
      DecodedPdu d;
      pdu::Decode_Submit_PDU(text, static_cast<std::int16_t>(data[0]), d);
    }
  } catch (const RuntimeError& e) {
    RequireNumber(e, kParseErrors, "Decode_PDU");
  }
  return 0;
}
