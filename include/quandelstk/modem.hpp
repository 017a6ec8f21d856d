// The Modem class: opens and initialises the modem, queries it, restarts it and closes the port.
// Every object of one thread shares that thread's single serial port.
#pragma once

#include <cstdint>
#include <string>

#include "quandelstk/enums.hpp"

namespace quandelstk {

class Modem {
 public:
  // Opens port intPort, probes the speed (115200, then 9600 three times), learns the maker,
  // settles the SIM PIN and leaves the modem in text mode. Any status but OK leaves the port closed.
  // On POSIX the port number selects a device through the port table (AssignPort).
  InitStatus Init(std::int16_t intPort, const std::string& PIN = "");
  bool ShutDown();
  bool Reboot();
  // 0 to 3, -1 when unknown.
  std::int16_t SignalStrength();
  std::string OperatorName();
  // The first port from iStart to iEnd whose modem names WAVECOM as its maker, 0 for none.
  // The arguments are read, never changed.
  std::int16_t FindCOMPort(std::int16_t& iStart, std::int16_t& iEnd);
  bool IsConnectToGSM();
  std::string GetIMSI();
  std::string GetMSISDN();
};

}  // namespace quandelstk
