// GSM 7-bit packing of message text.
#include <array>

#include "channel/session.hpp"
#include "channel/text.hpp"
#include "pdu/field_writers.hpp"
#include "pdu/hex_text.hpp"
#include "pdu/pdu.hpp"

namespace quandelstk::pdu {

namespace {

constexpr int GsmCode(int code) {
  switch (code) {
    case 64:
      return 0x00;  // @
    case 163:
      return 0x01;  // pound sign
    case 36:
      return 0x02;  // $
    case 165:
      return 0x03;  // yen sign
    case 232:
      return 0x04;  // e grave
    case 233:
      return 0x05;  // e acute
    case 249:
      return 0x06;  // u grave
    case 236:
      return 0x07;  // i grave
    case 242:
      return 0x08;  // o grave
    case 199:
      return 0x09;  // C cedilla
    case 10:
      return 0x0A;  // line feed
    case 216:
      return 0x0B;  // O stroke
    case 248:
      return 0x0C;  // o stroke
    case 13:
      return 0x0D;  // carriage return
    case 197:
      return 0x0E;  // A ring
    case 229:
      return 0x0F;  // a ring
    case 95:
      return 0x11;  // _
    default:
      return code;
  }
}

// The septet each 8-bit code packs to: its GSM code, low seven bits kept.
constexpr std::array<std::uint8_t, 256> MakeSeptetTable() {
  std::array<std::uint8_t, 256> table{};
  for (int code = 0; code < 256; ++code) table[static_cast<std::size_t>(code)] = GsmCode(code) & 0x7F;
  return table;
}

constexpr std::array<std::uint8_t, 256> kSeptetOf = MakeSeptetTable();

}  // namespace

std::int16_t Convert_To_GSM(std::int16_t code) {
  return static_cast<std::int16_t>(GsmCode(code));
}

void AppendPacked7Bit(std::string& out, std::string_view text, int fill_bits) {
  AppendPackedSeptetsWith(out, text.size(), fill_bits,
                          [text](std::size_t k) { return kSeptetOf[static_cast<unsigned char>(text[k])]; });
}

std::string Encode_7_bit(const std::string& text) {
  std::string hex;
  AppendPacked7Bit(hex, text, 0);
  return hex;
}

std::string Encode_7_bit_LMS(const std::string& text) {
  std::int16_t& septets = channel::CurrentSession().SeptetCount;
  septets = 0;
  // The count is a 16-bit integer: a text longer than it can count overflows.
  const std::int16_t count = text::Len16(text);
  // One zero fill bit first, so that the septets that follow start on a septet boundary after the
  // six header octets; the first septet then fills its octet exactly and the rest packs afresh.
  std::string hex;
  AppendPacked7Bit(hex, text, 1);
  septets = count;
  return hex;
}

}  // namespace quandelstk::pdu
