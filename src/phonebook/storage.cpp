// Selecting the SIM phonebook, and its size and use.
#include "channel/exchange.hpp"
#include "channel/text.hpp"
#include "phonebook/answer_cuts.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/phonebook.hpp"

namespace quandelstk {

using text::Add16;
using text::Find;

bool Phonebook::SelectPhonebookStorage() {
  try {
    if (!channel::IsPortOpen()) return false;
    std::string response;
    return channel::SendATCommand("AT+CPBS=\"SM\"", response, 0);
  } catch (const RuntimeError&) {
    return false;
  }
}

std::int16_t Phonebook::StorageCount(int field) {
  if (!SelectPhonebookStorage()) return -1;
  std::string r;
  if (!channel::SendATCommand("AT+CPBS?", r, 0)) return -1;
  // +CPBS: "SM",<used>,<total>
  const std::int16_t p = Find(r, "+CPBS:");
  if (p == 0) return -1;
  const std::int16_t c1 = Find(r, ",", Add16(p, 1));
  const std::int16_t c2 = Find(r, ",", Add16(c1, 1));
  const std::string count =
      field == 2 ? phonebook::Between(r, c1, c2) : phonebook::Between(r, c2, Find(r, "\r\n", Add16(c2, 1)));
  return phonebook::CountOrMinusOne(count);
}

std::int16_t Phonebook::TotalSpace() {
  return StorageCount(3);
}

std::int16_t Phonebook::TotalUsed() {
  return StorageCount(2);
}

}  // namespace quandelstk
