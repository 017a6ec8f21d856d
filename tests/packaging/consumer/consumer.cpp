// A program written as a user of the installed library writes one: it initialises the modem on the
// device it is given, prints the signal strength, reads the first stored message and prints its
// text in UTF-8.
#include <quandelstk/charset.hpp>
#include <quandelstk/errors.hpp>
#include <quandelstk/modem.hpp>
#include <quandelstk/platform.hpp>
#include <quandelstk/sms.hpp>
#include <quandelstk/version.hpp>

#include <iostream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " DEVICE\n";
    return 2;
  }
  std::cout << "version " << quandelstk::kVersionText << "\n";
  quandelstk::AssignPort(90, argv[1]);
  quandelstk::Modem modem;
  const quandelstk::InitStatus status = modem.Init(90);
  if (status != quandelstk::InitStatus::OK) {
    std::cout << "init failed " << static_cast<int>(status) << "\n";
    return 1;
  }
  std::cout << "signal " << modem.SignalStrength() << "\n";
  {
    quandelstk::SMS sms;  // one object for the whole reading: destroying it closes the port
    if (sms.ReadSMSText())
      std::cout << "message " << quandelstk::Windows1252ToUtf8(sms.Msg()) << "\n";
    else
      std::cout << "no message\n";
  }
  // An error raised inside the library is caught here by its type.
  try {
    quandelstk::Utf8ToWindows1252("\xCE\xA9");
    std::cout << "no error\n";
  } catch (const quandelstk::RuntimeError& e) {
    std::cout << "error " << e.Number() << "\n";
  }
  return 0;
}
