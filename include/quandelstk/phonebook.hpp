// The Phonebook class: reads, writes and deletes entries of the SIM phonebook ("SM") and reports
// how many locations it has and how many are in use.
//
// Objects hold no port of their own: they use the thread's one serial port, which Modem::Init opens.
// Every method selects the SIM phonebook first and, when that fails (a closed port included), sends
// nothing more and returns its failure value (-1 or false). Locations go to the modem as given, in
// decimal; the modem decides which it accepts. Number and name are sent unchanged: a double quote
// in either ends the command's text early.
//
// Apart from the storage selection nothing is trapped: an answer too malformed to cut (a missing
// comma or line end) or a count beyond 16 bits reaches the caller as a RuntimeError.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "quandelstk/export.hpp"

namespace quandelstk {

class QUANDELSTK_API Phonebook {
 public:
  // The entry PhonebookRead read last; "" until then. Writing them changes nothing on the SIM.
  const std::string& PhonebookNumber() const { return number_; }
  void PhonebookNumber(std::string value) { number_ = std::move(value); }
  const std::string& PhonebookName() const { return name_; }
  void PhonebookName(std::string value) { name_ = std::move(value); }

  // Locations of the SIM phonebook, or -1 (also when the modem reports no number).
  std::int16_t TotalSpace();
  // Locations in use, or -1 (also when the modem reports no number).
  std::int16_t TotalUsed();
  // Empties the location. True when the modem accepted it.
  bool PhonebookDelete(std::int16_t intLocation);
  // Stores the number (its type left to the modem: international with a leading "+") and the name
  // at the location, replacing what was there. True when the modem accepted it.
  bool PhonebookWrite(std::int16_t intLocation, const std::string& strNumber, const std::string& strName);
  // Reads the location into PhonebookNumber and PhonebookName, quotes and surrounding blanks
  // removed. False for an empty location, and then both keep their values.
  bool PhonebookRead(std::int16_t intLocation);

 private:
  // Selects the SIM phonebook; false on a closed port or any failure.
  bool SelectPhonebookStorage();
  // Field 2 (in use) or 3 (total) of the "+CPBS:" answer, -1 when it is not a number.
  std::int16_t StorageCount(int field);

  std::string number_;
  std::string name_;
};

}  // namespace quandelstk
