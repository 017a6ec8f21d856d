// GSM 7-bit unpacking, with the trace records it leaves in the diagnostic log.
#include <cstring>
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

template <std::size_t N>
inline char* PutLabel(char* p, const char (&label)[N]) {
  std::memcpy(p, label, N - 1);
  return p + N - 1;
}

// The trace records of one decode, kept per thread between decodes so that their texts reuse their
// storage: a decode then formats its records without allocating. Records beyond the ones a decode
// needs wait in spare, so that the list handed to the log holds exactly this decode's records.
struct TraceRecords {
  std::vector<std::string> records;
  std::vector<std::string> spare;
  std::size_t used = 0;

  void Start() { used = 0; }
  std::string& Next() {
    if (used == records.size()) {
      if (spare.empty()) {
        records.emplace_back();
      } else {
        records.push_back(std::move(spare.back()));
        spare.pop_back();
      }
    }
    return records[used++];
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
  trace.Next().assign(line, end);

  std::string text;
  const std::size_t most = octets + octets / 7;
  text.reserve(septets > 0 ? std::min<std::size_t>(most, static_cast<std::size_t>(septets)) : 0);
  int push_back = 0;
  for (std::size_t n = 0; n < octets && static_cast<int>(text.size()) < septets; ++n) {
    const int bit_count = static_cast<int>(n % 7);
    const int temp = OctetAt(hex, n);
    const int low_mask = (1 << (7 - bit_count)) - 1;
    const char c = FromSeptet(((temp & low_mask) << bit_count) + push_back);
    const int front = 255 - low_mask;
    push_back = (temp & front) >> (7 - bit_count);
    text += c;

    char* p = PutDecimal(PutLabel(line, "N = "), static_cast<int>(n));
    p = PutDecimal(PutLabel(p, "\r\niBitCount = "), bit_count);
    p = PutDecimal(PutLabel(p, "\r\niTemp = "), temp);
    p = PutDecimal(PutLabel(p, "\r\nbit_data = "), static_cast<unsigned char>(c));
    p = PutDecimal(PutLabel(p, "\r\nfront = "), front);
    p = PutDecimal(PutLabel(p, "\r\niPushBack = "), push_back);
    p = PutLabel(p, "\r\nDecode_7_bit = ");
    std::string& record = trace.Next();
    record.assign(line, p);
    record += text;

    // After the seventh octet of a group the carry holds a whole eighth septet.
    if (bit_count == 6 && static_cast<int>(text.size()) < septets) {
      text += FromSeptet(push_back);
      push_back = 0;
      std::string& eighth = trace.Next();
      eighth.assign("iBitCount = 6; so Decode_7_Bit = ");
      eighth += text;
      eighth += "\r\n";
    }
  }

  channel::WriteLogs(trace.Finish());
  return text;
}

}  // namespace quandelstk::pdu
