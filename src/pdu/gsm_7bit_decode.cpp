// GSM 7-bit unpacking, with the trace records it leaves in the diagnostic log.
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "channel/log.hpp"
#include "channel/text.hpp"
#include "pdu/hex_text.hpp"
#include "pdu/pdu.hpp"

namespace quandelstk::pdu {

namespace {

// The decoder turns back only three septets into their own characters; every other septet becomes
// the character whose code equals it (septet 1 stays code 1, not the pound sign).
inline char FromSeptet(int septet) {
  switch (septet) {
    case 0:
      return '@';
    case 2:
      return '$';
    case 17:
      return '_';
    default:
      return static_cast<char>(septet);
  }
}

inline int OctetAt(const std::string& hex, std::size_t index) {
  const int high = HexDigitValue(static_cast<unsigned char>(hex[2 * index]));
  const int low = HexDigitValue(static_cast<unsigned char>(hex[2 * index + 1]));
  return (high < 0 || low < 0) ? 0 : high * 16 + low;
}

// Writes v in plain decimal at p and returns the end.
char* PutDecimal(char* p, int v) {
  if (v < 0) {
    *p++ = '-';
    v = -v;
  }
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) *p++ = digits[--n];
  return p;
}

// Octet values written as decimal text, ready to be copied: the trace writes four of them per octet.
struct SmallDecimal {
  char digits[4];
  std::uint8_t length;
};
constexpr std::array<SmallDecimal, 256> MakeSmallDecimals() {
  std::array<SmallDecimal, 256> table{};
  for (int v = 0; v < 256; ++v) {
    SmallDecimal& d = table[static_cast<std::size_t>(v)];
    if (v >= 100) d.digits[d.length++] = static_cast<char>('0' + v / 100);
    if (v >= 10) d.digits[d.length++] = static_cast<char>('0' + v / 10 % 10);
    d.digits[d.length++] = static_cast<char>('0' + v % 10);
  }
  return table;
}
constexpr std::array<SmallDecimal, 256> kSmallDecimals = MakeSmallDecimals();

inline char* PutOctetValue(char* p, int v) {
  const SmallDecimal& d = kSmallDecimals[static_cast<std::size_t>(v)];
  std::memcpy(p, d.digits, 4);
  return p + d.length;
}

template <std::size_t N>
inline char* PutLabel(char* p, const char (&label)[N]) {
  std::memcpy(p, label, N - 1);
  return p + N - 1;
}

// The trace lines that depend on the octet's place in its group of seven only (iBitCount and front).
constexpr char kBitCountLines[7][26] = {
    "\r\niBitCount = 0\r\niTemp = ", "\r\niBitCount = 1\r\niTemp = ", "\r\niBitCount = 2\r\niTemp = ",
    "\r\niBitCount = 3\r\niTemp = ", "\r\niBitCount = 4\r\niTemp = ", "\r\niBitCount = 5\r\niTemp = ",
    "\r\niBitCount = 6\r\niTemp = "};
constexpr char kFrontLines[7][28] = {
    "\r\nfront = 128\r\niPushBack = ", "\r\nfront = 192\r\niPushBack = ", "\r\nfront = 224\r\niPushBack = ",
    "\r\nfront = 240\r\niPushBack = ", "\r\nfront = 248\r\niPushBack = ", "\r\nfront = 252\r\niPushBack = ",
    "\r\nfront = 254\r\niPushBack = "};

// The trace records of one decode, kept per thread between decodes so that their texts reuse their
// storage: a decode then formats its records without allocating. Records beyond the ones a decode
// needs wait in spare, so that the list handed to the log holds exactly this decode's records.
struct TraceRecords {
  std::vector<std::string> records;
  std::vector<std::string> spare;
  std::size_t used = 0;

  void Start() { used = 0; }
  // The next record: the pieces joined. A record keeps its storage from one decode to the next, and
  // mostly its length too, so this is a few copies.
  void Next(std::string_view a, std::string_view b, std::string_view c = {}) {
    if (used == records.size()) {
      if (spare.empty()) {
        records.emplace_back();
      } else {
        records.push_back(std::move(spare.back()));
        spare.pop_back();
      }
    }
    std::string& record = records[used++];
    record.resize(a.size() + b.size() + c.size());
    char* p = record.data();
    std::memcpy(p, a.data(), a.size());
    if (!b.empty()) std::memcpy(p + a.size(), b.data(), b.size());
    if (!c.empty()) std::memcpy(p + a.size() + b.size(), c.data(), c.size());
  }
  // Keeps the storage of ordinary messages only (a received message has at most 255 septets).
  void Release() {
    if (records.size() + spare.size() <= 512) return;
    records = {};
    spare = {};
  }
  const std::vector<std::string>& Finish() {
    while (records.size() > used) {
      spare.push_back(std::move(records.back()));
      records.pop_back();
    }
    return records;
  }
};

}  // namespace

std::string Decode_7_bit(std::int16_t septets, const std::string& hex) {
  thread_local TraceRecords trace;
  trace.Start();

  const std::size_t octets = hex.size() / 2;
  char line[160];
  char* end =
      PutDecimal(PutLabel(line, "iCounter = "), text::CheckedInt16(static_cast<std::int64_t>(octets) - 1));
  trace.Next(std::string_view(line, static_cast<std::size_t>(end - line)), {});

  std::string text;
  const std::size_t most = octets + octets / 7;
  text.reserve(septets > 0 ? std::min<std::size_t>(most, static_cast<std::size_t>(septets)) : 0);
  int push_back = 0;
  int bit_count = 0;
  for (std::size_t n = 0; n < octets && static_cast<int>(text.size()) < septets; ++n) {
    const int temp = OctetAt(hex, n);
    const int low_bits = 7 - bit_count;
    const int low_mask = (1 << low_bits) - 1;
    const char c = FromSeptet(((temp & low_mask) << bit_count) + push_back);
    push_back = temp >> low_bits;  // (temp AND front) divided by 2^(7 - iBitCount)
    text += c;

    char* p = PutLabel(line, "N = ");
    p = n < 256 ? PutOctetValue(p, static_cast<int>(n)) : PutDecimal(p, static_cast<int>(n));
    p = PutLabel(p, kBitCountLines[bit_count]);
    p = PutOctetValue(p, temp);
    p = PutOctetValue(PutLabel(p, "\r\nbit_data = "), static_cast<unsigned char>(c));
    p = PutLabel(p, kFrontLines[bit_count]);
    p = PutOctetValue(p, push_back);
    p = PutLabel(p, "\r\nDecode_7_bit = ");
    trace.Next(std::string_view(line, static_cast<std::size_t>(p - line)), text);

    // After the seventh octet of a group the carry holds a whole eighth septet.
    if (bit_count == 6) {
      if (static_cast<int>(text.size()) < septets) {
        text += FromSeptet(push_back);
        push_back = 0;
        trace.Next("iBitCount = 6; so Decode_7_Bit = ", text, "\r\n");
      }
      bit_count = 0;
    } else {
      ++bit_count;
    }
  }

  channel::WriteLogs(trace.Finish());
  trace.Release();
  return text;
}

}  // namespace quandelstk::pdu
