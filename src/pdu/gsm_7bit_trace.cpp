#include "pdu/gsm_7bit_trace.hpp"

#include <array>
#include <cstring>

#include "channel/log_batch.hpp"
#include "channel/log_mask.hpp"
#include "pdu/hex_text.hpp"

namespace quandelstk::pdu {

namespace {

// The longest a record is without the text it repeats.
constexpr std::size_t kMostLabels = 128;

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

// Octet values written as decimal text, ready to be copied: a record shows four of them.
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

// The lines that depend on the octet's place in its group of seven only (iBitCount and front).
constexpr char kBitCountLines[7][26] = {
    "\r\niBitCount = 0\r\niTemp = ", "\r\niBitCount = 1\r\niTemp = ", "\r\niBitCount = 2\r\niTemp = ",
    "\r\niBitCount = 3\r\niTemp = ", "\r\niBitCount = 4\r\niTemp = ", "\r\niBitCount = 5\r\niTemp = ",
    "\r\niBitCount = 6\r\niTemp = "};
constexpr char kFrontLines[7][28] = {
    "\r\nfront = 128\r\niPushBack = ", "\r\nfront = 192\r\niPushBack = ", "\r\nfront = 224\r\niPushBack = ",
    "\r\nfront = 240\r\niPushBack = ", "\r\nfront = 248\r\niPushBack = ", "\r\nfront = 252\r\niPushBack = ",
    "\r\nfront = 254\r\niPushBack = "};

// The values of octet n, which gave the character c: everything of its record before the text.
char* PutOctetLines(char* p, std::size_t n, std::size_t bit_count, int temp, char c) {
  p = PutLabel(p, "N = ");
  p = n < 256 ? PutOctetValue(p, static_cast<int>(n)) : PutDecimal(p, static_cast<int>(n));
  p = PutLabel(p, kBitCountLines[bit_count]);
  p = PutOctetValue(p, temp);
  p = PutOctetValue(PutLabel(p, "\r\nbit_data = "), static_cast<unsigned char>(c));
  p = PutLabel(p, kFrontLines[bit_count]);
  p = PutOctetValue(p, temp >> (7 - bit_count));  // the carry for the next septet
  return PutLabel(p, "\r\nDecode_7_bit = ");
}

// Our labels hold no two token characters in a row and end in a blank, so a record holds a mask
// token exactly when the part of the text it repeats does. The records up to the first token, all
// of them in most messages, go into the batch as they are formatted; the later ones are built whole
// and masked.
class TraceRecords {
 public:
  TraceRecords(channel::LogBatch& batch, std::string_view text)
      : batch_(batch), unmasked_(channel::MaskTokenFreePrefix(text)) {}

  // Room for a record that repeats `shown` characters of the text.
  char* Start(std::size_t shown) {
    shown_ = shown;
    if (shown <= unmasked_) return batch_.StartUnmaskedRecord(kMostLabels + shown);
    if (scratch_.size() < kMostLabels + shown) scratch_.resize(kMostLabels + shown);
    return scratch_.data();
  }
  void End(char* end) {
    if (shown_ <= unmasked_) return batch_.EndUnmaskedRecord(end);
    batch_.Add(std::string_view(scratch_.data(), static_cast<std::size_t>(end - scratch_.data())));
  }

 private:
  channel::LogBatch& batch_;
  std::size_t unmasked_;
  std::size_t shown_ = 0;
  std::string scratch_;
};

}  // namespace

void Write7BitTrace(std::int16_t last_octet, const std::string& hex, std::string_view text) {
  thread_local channel::LogBatch batch;
  batch.Begin();
  TraceRecords records(batch, text);
  records.End(PutDecimal(PutLabel(records.Start(0), "iCounter = "), last_octet));
  // `shown` counts the characters decoded so far: each octet gives one, and the seventh of a group
  // also the eighth septet, from the carry.
  std::size_t bit_count = 0;
  for (std::size_t n = 0, shown = 1; shown <= text.size(); ++n, ++shown) {
    char* p = PutOctetLines(records.Start(shown), n, bit_count, OctetAt(hex, n), text[shown - 1]);
    std::memcpy(p, text.data(), shown);
    records.End(p + shown);
    if (bit_count < 6) {
      ++bit_count;
      continue;
    }
    bit_count = 0;
    if (shown < text.size()) {
      p = PutLabel(records.Start(++shown), "iBitCount = 6; so Decode_7_Bit = ");
      std::memcpy(p, text.data(), shown);
      records.End(PutLabel(p + shown, "\r\n"));
    }
  }
  batch.Write();
}

}  // namespace quandelstk::pdu
