// The Modem class: opens and initialises the modem, queries it, restarts it and closes the port.
// Every object of one thread shares that thread's single serial port; the class keeps no state.
//
// Ordinary failures are results (false, -1, "", an InitStatus). Run-time errors (RuntimeError) are
// turned into those results by Init, ShutDown, SignalStrength, OperatorName and IsConnectToGSM;
// Reboot, GetIMSI and GetMSISDN let them through; FindCOMPort skips each failing step.
#pragma once

#include <cstdint>
#include <string>

#include "quandelstk/enums.hpp"
#include "quandelstk/export.hpp"

namespace quandelstk {

class QUANDELSTK_API Modem {
 public:
  // Opens port intPort, probes the speed (115200, then 9600 three times), learns the maker,
  // settles the SIM PIN and leaves the modem in text mode. Any status but OK leaves the port closed.
  // On POSIX the port number selects a device through the port table (AssignPort).
  // A run-time error gives Fail and one record in the diagnostic log. The serial control refuses a
  // new port number while its port is open, so call ShutDown before initialising again.
  InitStatus Init(std::int16_t intPort, const std::string& PIN = "");
  // Closes the port: false when it was not open.
  bool ShutDown();
  // Restarts the radio ("AT+CFUN=1") and waits up to twelve times a second for registration.
  bool Reboot();
  // 0 to 3, -1 when unknown.
  std::int16_t SignalStrength();
  // The long alphanumeric operator name, "" when not registered.
  std::string OperatorName();
  // The first port from iStart to iEnd whose modem names WAVECOM as its maker, 0 for none.
  // The arguments are read, never changed. The port is left closed and the maker is not recorded.
  std::int16_t FindCOMPort(std::int16_t& iStart, std::int16_t& iEnd);
  // Registered to the home network or roaming (three tries, a second apart).
  bool IsConnectToGSM();
  // "" unless the modem's maker is WAVECOM.
  std::string GetIMSI();
  // "" unless the modem's maker is WAVECOM; error 9 when the SIM stores no own number.
  std::string GetMSISDN();
};

}  // namespace quandelstk
