// What a gateway thread asks of its modem. The library's classes do the work on the thread's own
// session; tests put a scripted modem in its place to run the loop in virtual time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "quandelstk/messages.hpp"

namespace quandelstk::gateway {

struct ModemStatus {
  int signal = 99;  // AT+CSQ rssi
  int registration = -1;
  std::string operator_name;
};

class ModemLink {
 public:
  virtual ~ModemLink() = default;
  // Opens and initialises the modem: "" when it is ready, else why not.
  virtual std::string Open() = 0;
  virtual void Close() = 0;
  // The modem answers a plain "AT".
  virtual bool Alive() = 0;
  // Called after each part the modem took, with the part's number and reference; false stops the
  // send there (the claim passed to someone else), the result then not ok.
  using PartSent = std::function<bool(int part, int reference)>;
  // Sends parts first_part to the last (1 sends the whole message); options.reference is the
  // concatenation reference, the same as the parts already sent carried, so the phone joins
  // them all. references in the result are those of the parts sent now.
  virtual messages::SendResult Send(const std::string& to, const std::string& text,
                                    const messages::SendOptions& options, int first_part = 1,
                                    const PartSent& on_part = {}) = 0;
  // Throws RuntimeError when the modem cannot list.
  virtual std::vector<messages::AssembledMessage> List() = 0;
  virtual bool Delete(int index, const std::string& storage) = 0;
  virtual ModemStatus Status() = 0;
  // Waits up to ms for the next round (real time; on the built-in simulator its clock moves too).
  virtual void Idle(std::int64_t ms) = 0;
};

struct ModemConfig {
  std::string name;
  std::string device;  // /dev/PATH, a port number, "sim" or "sim:SCENARIO.json"
  std::string pin;
  int per_minute = 0;  // 0: no limit
  friend bool operator==(const ModemConfig&, const ModemConfig&) = default;
};

// The real thing, for the calling thread: made on the thread that will use it.
std::unique_ptr<ModemLink> MakeLibraryLink(const ModemConfig& config, std::int16_t port_number);

}  // namespace quandelstk::gateway
