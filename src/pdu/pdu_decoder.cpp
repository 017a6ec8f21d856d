// Stored message PDUs: SMS-DELIVER decoded in full, stored SMS-SUBMIT handed to its own decoder.
#include "pdu/hex_text.hpp"
#include "pdu/pdu.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::pdu {

namespace {

// Reads the PDU from the front. A field cut past the end of the text comes out short or empty.
class HexReader {
 public:
  explicit HexReader(std::string_view hex) : rest_(hex) {}

  std::string_view Take(std::size_t digits) {
    const std::string_view piece = rest_.substr(0, std::min(digits, rest_.size()));
    rest_.remove_prefix(piece.size());
    return piece;
  }
  int Octet() { return HexValue(Take(2)); }
  void Skip(std::size_t octets) { Take(2 * octets); }
  std::string_view Rest() const { return rest_; }

  // A number field: its length first, in digits rounded up to even, then (when that is not 0) its
  // type of address and its digits. A length of 0 consumes no type of address.
  std::string Address() {
    int digits = Octet();
    digits += digits % 2;
    if (digits == 0) return {};
    const std::string type(Take(2));
    return Decode_Semi_Octets(std::string(Take(static_cast<std::size_t>(digits))), type);
  }

  // One time stamp octet, its two digits taken second first.
  std::string Swapped() {
    const std::string_view octet = Take(2);
    std::string digits;
    if (octet.size() > 1) digits += octet[1];
    if (!octet.empty()) digits += octet[0];
    return digits;
  }

 private:
  std::string_view rest_;
};

enum class Coding { kNone, k7Bit, k8Bit, kUcs2 };

struct DataCoding {
  Coding coding = Coding::kNone;
  bool multimedia = false;  // the octet was F5
};

DataCoding ClassifyDeliver(std::string_view octet) {
  if (octet == "00") return {Coding::k7Bit, false};
  if (octet == "04") return {Coding::k8Bit, false};
  if (octet == "F5") return {Coding::kUcs2, true};
  if (octet == "08") return {Coding::kUcs2, false};
  return {};
}

DataCoding ClassifySubmit(std::string_view octet) {
  if (octet == "00") return {Coding::k7Bit, false};
  if (octet == "F6") return {Coding::k8Bit, false};
  if (octet == "F5") return {Coding::kUcs2, true};
  if (octet == "08") return {Coding::kUcs2, false};
  return {};
}

constexpr int kUserDataHeaderFlag = 64;
constexpr int kSubmitFlag = 1;
constexpr int kRelativeValidityFlag = 16;

// An 8-bit or UCS2 text behind a user data header: the header (its length octet and that many
// octets) is left out; the 8-bit count shrinks by the same number of octets.
std::string DecodeAfterHeader(Coding coding, int length, std::string_view user_data) {
  const int header_octets = HexValue(user_data.substr(0, 2)) + 1;
  const std::string_view text =
      user_data.substr(std::min(user_data.size(), 2 * static_cast<std::size_t>(header_octets)));
  if (coding == Coding::k8Bit)
    return Decode_8_bit(static_cast<std::int16_t>(length - header_octets), std::string(text));
  return Decode_Unicode(std::string(text));
}

}  // namespace

DecodedPdu Decode_PDU(const std::string& pdu) {
  DecodedPdu record;
  HexReader in(pdu);

  const int centre_length = in.Octet();
  if (centre_length > 0) {
    const std::string type(in.Take(2));
    record.ServiceCentre =
        Decode_Semi_Octets(std::string(in.Take(2 * static_cast<std::size_t>(centre_length - 1))), type);
  }

  const int first_octet = in.Octet();
  if (first_octet & kSubmitFlag) {
    Decode_Submit_PDU(std::string(in.Rest()), static_cast<std::int16_t>(first_octet), record);
    return record;
  }
  const bool has_header = (first_octet & kUserDataHeaderFlag) != 0;

  record.Originator = in.Address();
  in.Skip(1);  // protocol identifier
  const std::string_view coding_octet = in.Take(2);
  const DataCoding coding = ClassifyDeliver(coding_octet);

  const std::string year = in.Swapped();
  const std::string month = in.Swapped();
  const std::string day = in.Swapped();
  record.StampDate = day + "-" + month + "-" + year;
  const std::string hour = in.Swapped();
  const std::string minute = in.Swapped();
  const std::string second = in.Swapped();
  const std::string zone = in.Swapped();
  // The zone octet is shown as it stands: its sign bit and quarter-hour unit are not interpreted.
  record.StampTime = hour + ":" + minute + ":" + second + "+" + zone;

  const int length = in.Octet();
  const std::string user_data(in.Rest());

  if (coding.coding == Coding::kNone)
    throw RuntimeError(err::kInvalidProcedureCall,
                       "Cannot decode the received message: its data coding scheme \"" +
                           std::string(coding_octet) + "\" is not supported");

  if (coding.multimedia) {
    record.Text = "Multi media message";
  } else if (has_header && coding.coding == Coding::k7Bit) {
    // The concatenation fields are read at fixed places of the header, whatever its element.
    const int header_length = HexValue(std::string_view(user_data).substr(0, 2));
    const std::string header =
        user_data.substr(0, std::min<std::size_t>(user_data.size(), header_length + 7));
    const std::string_view h = header;
    if (h.substr(std::min<std::size_t>(2, h.size()), 2) == "00") record.IsLMS = true;
    record.LMS_Reference =
        static_cast<std::int16_t>(HexValue(h.substr(std::min<std::size_t>(6, h.size()), 2)));
    record.LMS_Total = static_cast<std::int16_t>(HexValue(h.substr(std::min<std::size_t>(8, h.size()), 2)));
    record.LMS_Sequence =
        static_cast<std::int16_t>(HexValue(h.substr(std::min<std::size_t>(10, h.size()), 2)));
    // The six header octets and the fill bit decode to exactly seven characters.
    const std::string all = Decode_7_bit(static_cast<std::int16_t>(length), user_data);
    record.Text = all.size() > 7 ? all.substr(7) : std::string();
  } else if (has_header) {
    record.Text = DecodeAfterHeader(coding.coding, length, user_data);
  } else if (coding.coding == Coding::k7Bit) {
    record.IsLMS = false;
    record.LMS_Total = 0;
    record.LMS_Reference = -1;
    record.LMS_Sequence = -1;
    record.Text = Decode_7_bit(static_cast<std::int16_t>(length), user_data);
  } else if (coding.coding == Coding::k8Bit) {
    record.Text = Decode_8_bit(static_cast<std::int16_t>(length), user_data);
  } else {
    record.Text = Decode_Unicode(user_data);
  }
  return record;
}

void Decode_Submit_PDU(const std::string& rest, std::int16_t first_octet, DecodedPdu& record) {
  HexReader in(rest);
  in.Skip(1);  // message reference
  record.Originator = in.Address();
  in.Skip(1);  // protocol identifier
  const DataCoding coding = ClassifySubmit(in.Take(2));
  if (first_octet & kRelativeValidityFlag) in.Skip(1);
  const int length = in.Octet();
  const std::string user_data(in.Rest());

  if (coding.multimedia) {
    record.Text = "Multi media mes,sage";
    return;
  }
  const bool has_header = (first_octet & kUserDataHeaderFlag) != 0;
  switch (coding.coding) {
    case Coding::k7Bit: {
      std::string all = Decode_7_bit(static_cast<std::int16_t>(length), user_data);
      if (has_header) {
        // The header octets and the fill bits up to the next septet boundary.
        const std::size_t header_bits =
            8 * (static_cast<std::size_t>(HexValue(std::string_view(user_data).substr(0, 2))) + 1);
        all.erase(0, std::min(all.size(), (header_bits + 6) / 7));
      }
      record.Text = std::move(all);
      break;
    }
    case Coding::k8Bit:
    case Coding::kUcs2:
      if (has_header) {
        record.Text = DecodeAfterHeader(coding.coding, length, user_data);
      } else if (coding.coding == Coding::k8Bit) {
        record.Text = Decode_8_bit(static_cast<std::int16_t>(length), user_data);
      } else {
        record.Text = Decode_Unicode(user_data);
      }
      break;
    case Coding::kNone:
      break;  // an unknown coding of a stored outgoing message leaves the text empty
  }
}

}  // namespace quandelstk::pdu
