// The data coding scheme octet of short messages, every group. A reserved coding is read as the GSM
// 7-bit default alphabet: 3GPP TS 23.038 has a receiving entity assume that alphabet for any
// reserved coding.
#include "quandelstk/messages.hpp"

namespace quandelstk::messages {

const char* AlphabetName(Alphabet alphabet) {
  switch (alphabet) {
    case Alphabet::Gsm7:
      return "GSM 7-bit";
    case Alphabet::EightBit:
      return "8-bit data";
    case Alphabet::Ucs2:
      return "UCS2";
  }
  return "?";
}

DataCoding ReadDataCoding(int octet) {
  DataCoding c;
  c.octet = octet & 0xFF;
  const int group = c.octet >> 4;
  if (group <= 0x7) {  // general data coding; 01xx also marks the message for automatic deletion
    c.auto_delete = (group & 0x4) != 0;
    c.compressed = (c.octet & 0x20) != 0;
    if (c.octet & 0x10) c.message_class = c.octet & 0x3;
    switch ((c.octet >> 2) & 0x3) {
      case 0:
        c.alphabet = Alphabet::Gsm7;
        break;
      case 1:
        c.alphabet = Alphabet::EightBit;
        break;
      case 2:
        c.alphabet = Alphabet::Ucs2;
        break;
      default:  // a reserved alphabet
        c.alphabet = Alphabet::Gsm7;
        c.reserved = true;
    }
  } else if (group <= 0xB) {  // reserved groups
    c.alphabet = Alphabet::Gsm7;
    c.reserved = true;
  } else if (c.octet & (group <= 0xE ? 0x04 : 0x08)) {  // a reserved bit set: a reserved coding
    c.alphabet = Alphabet::Gsm7;
    c.reserved = true;
    if (group == 0xF) c.message_class = c.octet & 0x3;
  } else if (group <= 0xE) {  // message waiting: discard (C), store in GSM 7-bit (D), store in UCS2 (E)
    MessageWaiting w;
    w.discard = group == 0xC;
    w.active = (c.octet & 0x08) != 0;
    w.kind = static_cast<MessageWaiting::Kind>(c.octet & 0x3);
    c.waiting = w;
    c.alphabet = group == 0xE ? Alphabet::Ucs2 : Alphabet::Gsm7;
  } else {  // data coding and message class
    c.alphabet = (c.octet & 0x04) ? Alphabet::EightBit : Alphabet::Gsm7;
    c.message_class = c.octet & 0x3;
  }
  return c;
}

}  // namespace quandelstk::messages
