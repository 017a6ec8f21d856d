#include "modemsim/sms_pdu.hpp"

#include <cstdio>

#include "modemsim/gsm_text.hpp"

namespace quandelstk::modemsim {

namespace {

constexpr char kBcdDigits[] = "0123456789*#abc";

bool IsInternational(int type) {
  return ((type >> 4) & 7) == 1;
}
bool IsAlphanumeric(int type) {
  return ((type >> 4) & 7) == 5;
}

// Reads octets from the front of a TPDU; running past the end is a malformed PDU.
class Reader {
 public:
  explicit Reader(std::string_view octets) : data_(octets) {}
  int Octet() {
    Need(1);
    return static_cast<unsigned char>(data_[pos_++]);
  }
  std::string Take(std::size_t n) {
    Need(n);
    std::string out(data_.substr(pos_, n));
    pos_ += n;
    return out;
  }
  std::string Rest() { return Take(data_.size() - pos_); }

 private:
  void Need(std::size_t n) const {
    if (pos_ + n > data_.size()) throw PduError("PDU ends early");
  }
  std::string_view data_;
  std::size_t pos_ = 0;
};

std::string DecodeBcd(std::string_view octets, std::size_t digits) {
  std::string out;
  for (std::size_t i = 0; i < digits && i / 2 < octets.size(); ++i) {
    const auto b = static_cast<unsigned char>(octets[i / 2]);
    const int nibble = i % 2 == 0 ? (b & 15) : (b >> 4);
    if (nibble == 15) break;
    out += kBcdDigits[nibble];
  }
  return out;
}

std::string EncodeBcd(std::string_view digits) {
  std::string out;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    auto nibble = [&](std::size_t k) {
      if (k >= digits.size()) return 15;
      const char* p = std::char_traits<char>::find(kBcdDigits, 15, digits[k]);
      return p ? static_cast<int>(p - kBcdDigits) : 0;
    };
    out += static_cast<char>(nibble(i) | (nibble(i + 1) << 4));
  }
  return out;
}

// Address field of the TPDU: length in digits (semi-octets), type, digits.
Address ReadAddress(Reader& r) {
  const int length = r.Octet();
  Address a;
  a.type = r.Octet();
  const std::string digits = r.Take((length + 1) / 2);
  if (IsAlphanumeric(a.type)) {
    a.number = Utf16ToUtf8(FromGsmSeptets(UnpackSeptets(digits, length * 4 / 7)));
  } else {
    a.number = (IsInternational(a.type) ? "+" : "") + DecodeBcd(digits, length);
  }
  return a;
}

std::string WriteAddress(const Address& a) {
  if (IsAlphanumeric(a.type)) {  // packed septets; the length counts the semi-octets they fill
    const Septets septets = ToGsmSeptetsLossy(Utf8ToUtf16(a.number));
    return std::string(1, static_cast<char>((septets.size() * 7 + 3) / 4)) + static_cast<char>(a.type) +
           PackSeptets(septets);
  }
  const std::string digits = !a.number.empty() && a.number[0] == '+' ? a.number.substr(1) : a.number;
  return std::string(1, static_cast<char>(digits.size())) + static_cast<char>(a.type) + EncodeBcd(digits);
}

int SwappedBcd(int octet) {
  return (octet & 15) * 10 + ((octet >> 4) & 15);
}
char ToSwappedBcd(int value) {
  return static_cast<char>((value % 10) << 4 | (value / 10 % 10));
}

Timestamp ReadTimestamp(Reader& r) {
  Timestamp t;
  t.year = SwappedBcd(r.Octet());
  t.month = SwappedBcd(r.Octet());
  t.day = SwappedBcd(r.Octet());
  t.hour = SwappedBcd(r.Octet());
  t.minute = SwappedBcd(r.Octet());
  t.second = SwappedBcd(r.Octet());
  const int z = r.Octet();
  t.zone = SwappedBcd(z & ~0x08) * ((z & 0x08) ? -1 : 1);  // bit 3 carries the sign
  return t;
}

std::string WriteTimestamp(const Timestamp& t) {
  std::string out;
  for (int v : {t.year, t.month, t.day, t.hour, t.minute, t.second}) out += ToSwappedBcd(v);
  char zone = ToSwappedBcd(t.zone < 0 ? -t.zone : t.zone);
  if (t.zone < 0) zone = static_cast<char>(zone | 0x08);
  return out + zone;
}

std::size_t UserDataOctets(int dcs, int udl) {
  return AlphabetOf(dcs) == Alphabet::kGsm7 ? (static_cast<std::size_t>(udl) * 7 + 7) / 8 : udl;
}

void ReadUserData(Reader& r, Tpdu& t) {
  t.udl = r.Octet();
  t.ud = r.Take(UserDataOctets(t.dcs, t.udl));
}

// Days from 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's civil algorithms).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

Address Address::FromText(std::string_view number) {
  return Address{std::string(number), !number.empty() && number[0] == '+' ? 145 : 129};
}

std::string Timestamp::Text() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%02d,%02d:%02d:%02d%c%02d", year % 100, month, day, hour, minute,
                second, zone < 0 ? '-' : '+', zone < 0 ? -zone : zone);
  return buf;
}

std::optional<Timestamp> Timestamp::Parse(std::string_view text) {
  Timestamp t;
  char sign = 0;
  int n = 0;
  const std::string s(text);
  if (std::sscanf(s.c_str(), "%2d/%2d/%2d,%2d:%2d:%2d%c%2d%n", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                  &t.second, &sign, &t.zone, &n) != 8 ||
      static_cast<std::size_t>(n) != s.size() || (sign != '+' && sign != '-'))
    return std::nullopt;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 || t.second > 59)
    return std::nullopt;
  if (sign == '-') t.zone = -t.zone;
  return t;
}

Timestamp Timestamp::PlusSeconds(std::int64_t seconds) const {
  std::int64_t total = (DaysFromCivil(2000 + year, month, day) * 86400) + hour * 3600 + minute * 60 + second;
  total += seconds;
  std::int64_t days = total / 86400, rest = total % 86400;
  if (rest < 0) rest += 86400, --days;
  Timestamp t = *this;
  CivilFromDays(days, t.year, t.month, t.day);
  t.year -= 2000;
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

Alphabet AlphabetOf(int dcs) {
  const int group = dcs >> 4;
  if (group <= 7) {                           // general coding, with or without automatic deletion
    if (dcs & 0x20) return Alphabet::kEight;  // compressed: not for us to read
    const int alphabet = (dcs >> 2) & 3;
    return alphabet == 0 ? Alphabet::kGsm7 : alphabet == 2 ? Alphabet::kUcs2 : Alphabet::kEight;
  }
  if (group == 0xC || group == 0xD) return Alphabet::kGsm7;  // message waiting, GSM text
  if (group == 0xE) return Alphabet::kUcs2;
  if (group == 0xF) return (dcs & 0x04) ? Alphabet::kEight : Alphabet::kGsm7;
  return Alphabet::kEight;  // reserved groups
}

UserData Tpdu::Decoded() const {
  UserData out;
  std::size_t header_octets = 0;
  if (HasHeader()) {
    if (ud.empty()) throw PduError("user data header flagged but no user data");
    header_octets = static_cast<unsigned char>(ud[0]) + 1;
    if (header_octets > ud.size()) throw PduError("user data header longer than the user data");
    out.header = ud.substr(1, header_octets - 1);
    for (std::size_t i = 0; i + 1 < out.header.size();) {
      const int id = static_cast<unsigned char>(out.header[i]);
      const std::size_t len = static_cast<unsigned char>(out.header[i + 1]);
      const std::string_view v = std::string_view(out.header).substr(i + 2, len);
      auto at = [&](std::size_t k) { return static_cast<unsigned char>(v[k]); };
      if (id == 0x00 && v.size() == 3) out.concat = Concat{at(0), at(1), at(2)};
      if (id == 0x08 && v.size() == 4) out.concat = Concat{at(0) << 8 | at(1), at(2), at(3), true};
      i += 2 + len;
    }
  }
  if (AlphabetOf(dcs) == Alphabet::kGsm7) {
    const std::size_t header_bits = header_octets * 8;
    const int fill = static_cast<int>((7 - header_bits % 7) % 7);
    const std::size_t header_septets = (header_bits + fill) / 7;
    const std::size_t count = udl > static_cast<int>(header_septets) ? udl - header_septets : 0;
    out.text = FromGsmSeptets(UnpackSeptets(std::string_view(ud).substr(header_octets), count, fill));
    return out;
  }
  out.octets = ud.substr(header_octets);
  if (AlphabetOf(dcs) == Alphabet::kUcs2) out.text = OctetsToUcs2(out.octets);
  return out;
}

void Tpdu::SetText(std::u16string_view text, std::optional<Concat> concat) {
  std::string header;
  if (concat) {
    header = concat->wide ? std::string("\x06\x08\x04", 3) + static_cast<char>(concat->reference >> 8) +
                                static_cast<char>(concat->reference & 0xFF)
                          : std::string("\x05\x00\x03", 3) + static_cast<char>(concat->reference);
    header += std::string(1, static_cast<char>(concat->total)) + static_cast<char>(concat->sequence);
    first_octet |= 0x40;
  }
  if (auto septets = ToGsmSeptets(text)) {
    dcs = 0;
    const int fill = header.empty() ? 0 : static_cast<int>((7 - header.size() * 8 % 7) % 7);
    const int header_septets = static_cast<int>((header.size() * 8 + fill) / 7);
    ud = header + PackSeptets(*septets, fill);
    udl = header_septets + static_cast<int>(septets->size());
  } else {
    dcs = 8;
    ud = header + Ucs2ToOctets(text);
    udl = static_cast<int>(ud.size());
  }
}

Tpdu DecodeTpdu(std::string_view octets) {
  Reader r(octets);
  Tpdu t;
  t.first_octet = r.Octet();
  switch (t.first_octet & 3) {
    case 0:
      t.type = PduType::kDeliver;
      t.address = ReadAddress(r);
      t.pid = r.Octet();
      t.dcs = r.Octet();
      t.scts = ReadTimestamp(r);
      ReadUserData(r, t);
      break;
    case 1: {
      t.type = PduType::kSubmit;
      t.reference = r.Octet();
      t.address = ReadAddress(r);
      t.pid = r.Octet();
      t.dcs = r.Octet();
      const int vpf = (t.first_octet >> 3) & 3;  // none, enhanced, relative, absolute
      t.validity = r.Take(vpf == 0 ? 0 : vpf == 2 ? 1 : 7);
      ReadUserData(r, t);
      break;
    }
    case 2:
      t.type = PduType::kStatusReport;
      t.reference = r.Octet();
      t.address = ReadAddress(r);
      t.scts = ReadTimestamp(r);
      t.discharge = ReadTimestamp(r);
      t.status = r.Octet();
      r.Rest();  // the optional parameters are not needed here
      break;
    default:
      throw PduError("reserved message type");
  }
  return t;
}

Pdu DecodePdu(std::string_view hex) {
  const auto octets = FromHex(hex);
  if (!octets || octets->empty()) throw PduError("not hex text");
  Reader r(*octets);
  Pdu p;
  const int length = r.Octet();
  if (length > 0) {
    p.smsc.type = r.Octet();
    const std::string digits = r.Take(length - 1);
    p.smsc.number = (IsInternational(p.smsc.type) ? "+" : "") + DecodeBcd(digits, digits.size() * 2);
  }
  p.tpdu = DecodeTpdu(r.Rest());
  return p;
}

std::string EncodeTpdu(const Tpdu& t) {
  std::string out(1, static_cast<char>(t.first_octet));
  switch (t.type) {
    case PduType::kDeliver:
      out += WriteAddress(t.address) + static_cast<char>(t.pid) + static_cast<char>(t.dcs) +
             WriteTimestamp(t.scts);
      break;
    case PduType::kSubmit:
      out += static_cast<char>(t.reference) + WriteAddress(t.address) + static_cast<char>(t.pid) +
             static_cast<char>(t.dcs) + t.validity;
      break;
    case PduType::kStatusReport:
      return out + static_cast<char>(t.reference) + WriteAddress(t.address) + WriteTimestamp(t.scts) +
             WriteTimestamp(t.discharge) + static_cast<char>(t.status);
  }
  return out + static_cast<char>(t.udl) + t.ud;
}

std::string EncodePdu(const Pdu& p) {
  std::string sca;
  if (!p.smsc.number.empty()) {
    const std::string digits = p.smsc.number[0] == '+' ? p.smsc.number.substr(1) : p.smsc.number;
    const std::string bcd = EncodeBcd(digits);
    sca = std::string(1, static_cast<char>(bcd.size() + 1)) + static_cast<char>(p.smsc.type) + bcd;
  } else {
    sca = std::string(1, '\0');
  }
  return ToHex(sca + EncodeTpdu(p.tpdu));
}

}  // namespace quandelstk::modemsim
