// The simulated GSM modem with its SIM: bytes in, bytes out, the time given by the caller in
// milliseconds. It echoes, frames its answers with CR LF, answers each command line as the
// scenario says, and sends timed events (call progress, reports, USSD, toolkit) when they fall due.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modemsim/core.hpp"
#include "modemsim/scenario.hpp"
#include "modemsim/services.hpp"

namespace quandelstk::modemsim {

class Model {
 public:
  explicit Model(Scenario scenario = Scenario());
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  // The host opened the line, changed its speed or closed it. What the modem sends while the line
  // is closed, or at another speed than a fixed "baud", is lost.
  void Open(long baud, TimeMs now);
  void Speed(long baud, TimeMs now);
  void Close(TimeMs now);

  void Receive(std::string_view bytes, TimeMs now);
  std::string Transmit(TimeMs now);
  // When something next falls due (bytes to send or an event to run).
  std::optional<TimeMs> NextDueAt() const { return core_.NextDue(); }

  // False while the scenario's faults have the device gone.
  bool Present(TimeMs now) const {
    const Faults& f = scenario_->faults;
    return !(f.gone_from_ms >= 0 && now >= f.gone_from_ms && now < f.gone_to_ms);
  }
  // Restarts of the modem so far (the scenario's faults).
  int Resets() const { return resets_; }

  // Read-only state for tests.
  const Scenario& scenario() const { return *scenario_; }
  const Core& core() const { return core_; }
  const DeviceService& Device() const { return device_; }
  const MessagingService& Messaging() const { return messaging_; }
  const CallService& Calls() const { return calls_; }
  const UssdService& Ussd() const { return ussd_; }
  const PhonebookService& Phonebook() const { return phonebook_; }
  const ToolkitService& Toolkit() const { return toolkit_; }
  // Every command line received, with its time.
  const std::vector<std::pair<TimeMs, std::string>>& Lines() const { return lines_; }

 private:
  bool Faulty() const { return scenario_->faults.until_ms < 0 || core_.Now() < scenario_->faults.until_ms; }
  // A fault's turn: every n-th time it is asked (n 0: never).
  static bool Turn(int every, int& count) { return every > 0 && ++count % every == 0; }
  void Restart();
  bool Hears() const { return open_ && (!scenario_->baud || baud_ == *scenario_->baud); }
  void Line(const std::string& line);
  Reply Execute(std::string_view commands);
  void Emit(const Reply& reply, const std::string& line);
  void EndBody(bool cancelled);
  void SendEcho();
  void Answer(std::string info, std::string final, const std::string& line);
  // Sends bytes at a time, in the scenario's pieces when chunking is given; ready_at follows the last.
  void SendInPieces(TimeMs at, const std::string& bytes, const Chunking* chunking, TimeMs& ready_at);

  std::unique_ptr<const Scenario> scenario_;
  Core core_;
  DeviceService device_;
  MessagingService messaging_;
  CallService calls_;
  UssdService ussd_;
  PhonebookService phonebook_;
  ToolkitService toolkit_;
  CommandTable table_;

  bool open_ = true;
  long baud_ = 0;
  std::string partial_;
  std::string echo_;
  // A prompt is out: the body up to Ctrl-Z goes to this, and its answer is timed as this line's.
  std::function<Reply(const std::string&, bool)> body_handler_;
  std::string body_, body_line_;
  TimeMs ready_at_ = 0;  // answers go out one after the other
  std::vector<bool> after_fired_;
  std::vector<std::pair<TimeMs, std::string>> lines_;
  int garbage_count_ = 0, interleave_count_ = 0, interleaved_ = 0, silence_count_ = 0, resets_ = 0;
};

}  // namespace quandelstk::modemsim
