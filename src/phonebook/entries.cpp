// Reading, writing and deleting one phonebook entry.
#include "channel/exchange.hpp"
#include "channel/text.hpp"
#include "phonebook/answer_cuts.hpp"
#include "quandelstk/phonebook.hpp"

namespace quandelstk {

using text::Add16;
using text::Find;
using text::Str;

bool Phonebook::PhonebookDelete(std::int16_t intLocation) {
  if (!SelectPhonebookStorage()) return false;
  // A write that carries only the location empties it.
  std::string response;
  return channel::SendATCommand("AT+CPBW=" + Str(intLocation), response, 0);
}

bool Phonebook::PhonebookWrite(std::int16_t intLocation, const std::string& strNumber,
                               const std::string& strName) {
  if (!SelectPhonebookStorage()) return false;
  // The type field stays empty: the modem then takes international for a number with a leading "+",
  // national otherwise.
  std::string response;
  return channel::SendATCommand("AT+CPBW=" + Str(intLocation) + ",\"" + strNumber + "\",,\"" + strName + "\"",
                                response, 0);
}

bool Phonebook::PhonebookRead(std::int16_t intLocation) {
  if (!SelectPhonebookStorage()) return false;
  std::string r;
  if (!channel::SendATCommand("AT+CPBR=" + Str(intLocation), r, 0)) return false;
  // An empty location is answered by OK alone.
  const std::int16_t p = Find(r, "+CPBR:");
  if (p == 0) return false;
  // +CPBR: <location>,"<number>",<type>,"<name>": the name runs to the line end, commas and all.
  const std::int16_t c1 = Find(r, ",", Add16(p, 1));
  const std::int16_t c2 = Find(r, ",", Add16(c1, 1));
  const std::int16_t c3 = Find(r, ",", Add16(c2, 1));
  const std::int16_t e = Find(r, "\r\n", Add16(c3, 1));
  // Both are cut before either is stored, so that an answer too short to cut changes neither.
  std::string number = text::Trim(text::Replace(phonebook::Between(r, c1, c2), "\"", ""));
  std::string name = text::Trim(text::Replace(phonebook::Between(r, c3, e), "\"", ""));
  number_ = std::move(number);
  name_ = std::move(name);
  return true;
}

}  // namespace quandelstk
