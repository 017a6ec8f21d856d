// The field decoders one by one: semi-octets, 7-bit, 8-bit and UCS2 text. The first byte picks the
// decoder and its count; the rest is the field's text.
#include <cstddef>
#include <cctype>
#include <cstdint>
#include <string>

#include "channel/session.hpp"
#include "fuzz_support.hpp"
#include "pdu/pdu.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quandelstk;
  using namespace quandelstk::fuzzing;
  if (size < 2) return 0;
  Bench bench("");
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  // Counts around the interesting edges: negative, zero, one octet's worth, the 8-bit limit.
  const auto count = static_cast<std::int16_t>(static_cast<std::int8_t>(data[1])) * (data[0] & 0x80 ? 129 : 1);
  try {
    switch (data[0] % 5) {
      case 0: {
        const std::string digits = pdu::Decode_Semi_Octets(text, data[1] & 1 ? "91" : "81");
        Require(digits.size() <= text.size() + 1, "more digits than the field holds");
        break;
      }
      case 1: {
        const std::string out = pdu::Decode_7_bit(count, text);
        Require(out.size() <= static_cast<std::size_t>(count < 0 ? 0 : count), "more characters than asked for");
        break;
      }
      case 2: {
        const std::string out = pdu::Decode_8_bit(count, text);
        Require(out.size() == static_cast<std::size_t>(count < 0 ? 0 : count), "8-bit count not honoured");
        break;
      }
      case 3: {
        const std::string out = pdu::Decode_Unicode(text);
        Require(out.size() == (text.size() + 3) / 4, "one character per group of four digits");
        break;
      }
      case 4: {
        // Letters, digits and blanks have the same code in the GSM alphabet: what Encode_7_bit packs,
        // Decode_7_bit gives back.
        std::string plain;
        for (char c : text)
          if (std::isalnum(static_cast<unsigned char>(c)) || c == ' ') plain += c;
        if (plain.size() > 160) plain.resize(160);
        const std::string packed = pdu::Encode_7_bit(plain);
        Require(pdu::Decode_7_bit(static_cast<std::int16_t>(plain.size()), packed) == plain,
                "7-bit round trip lost \"" + plain + "\"");
        break;
      }
    }
  } catch (const RuntimeError& e) {
    RequireNumber(e, kParseErrors, "field decoder");
  }
  return 0;
}
