// The command groups of the simulated modem. Each keeps its own state and registers its commands
// in the model's table; tests read the state through the const accessors.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "modemsim/core.hpp"

namespace quandelstk::modemsim {

// Basic V.250 settings, identity, SIM PIN/PUK, signal, operator, registration, radio, audio gains.
class DeviceService final : public Service {
 public:
  using Service::Service;
  void Register(CommandTable& table) override;
  void Reset() override;
  int pin_attempts_left() const { return pin_attempts_; }
  // Every PIN or PUK entry (AT+CPIN=...), with the time and the SIM's state before it.
  struct PinEntry {
    TimeMs at = 0;
    std::string state_before;
  };
  const std::vector<PinEntry>& PinEntries() const { return pin_entries_; }
  int puk_attempts_left() const { return puk_attempts_; }

 private:
  void Pin(const Command& c, Reply& r);
  void RegisterSimSecurity(CommandTable& table);
  // A PIN given to +CLCK or +CPWD: a wrong one costs a try, as with +CPIN.
  bool CheckPin(const std::string& given, Reply& r);
  void Clock(const Command& c, Reply& r);
  void Operator(const Command& c, Reply& r);
  void Radio(const Command& c, Reply& r);

  std::string pin_ = core_.scenario.sim.pin;
  int pin_attempts_ = core_.scenario.sim.pin_attempts;
  int puk_attempts_ = core_.scenario.sim.puk_attempts;
  int cops_format_ = 0;
  int cgreg_mode_ = 0;
  bool pin_lock_ = core_.scenario.sim.pin_lock;
  std::optional<Timestamp> clock_set_;  // AT+CCLK= sets the modem's clock, not the network's
  TimeMs clock_set_at_ = 0;
  std::map<std::string, std::string> values_;  // settings that are only stored and read back
  std::vector<PinEntry> pin_entries_;
};

struct StoredMessage {
  int index = 0;
  int status = 0;   // 0 REC UNREAD, 1 REC READ, 2 STO UNSENT, 3 STO SENT
  std::string pdu;  // hex, service-centre field first
};

struct MessageStore {
  std::string name;
  int capacity = 0;
  std::map<int, StoredMessage> messages;  // by index
};

struct SentMessage {
  int reference = 0;
  Address to;
  std::string text;  // UTF-8; 8-bit data as hex
  std::optional<Concat> concat;
  bool report_requested = false;
  std::string pdu;  // as submitted, hex
  TimeMs at = 0;
};

// One step in the life of a stored message: "stored", "listed", "read", "deleted", "lost" (full).
struct StoreEvent {
  TimeMs at = 0;
  std::string what;
  std::string storage;
  int index = 0;
};

class MessagingService final : public Service {
 public:
  explicit MessagingService(Core& core);
  void Register(CommandTable& table) override;
  void Reset() override;

  const MessageStore& Store(const std::string& name) const { return stores_.at(name); }
  const std::vector<SentMessage>& Sent() const { return sent_; }
  const std::vector<StoreEvent>& Journal() const { return journal_; }
  bool text_mode() const { return cmgf_ == 1; }
  const std::vector<int>& cnmi() const { return cnmi_; }

 private:
  void List(const Command& c, Reply& r);
  void Read(const Command& c, Reply& r);
  void Delete(const Command& c, Reply& r);
  void SendCommand(const Command& c, Reply& r);
  void Storage(const Command& c, Reply& r);
  Reply TextBody(const Address& to, const std::string& body);
  Reply PduBody(int length, const std::string& body);
  Reply Submit(const Pdu& pdu);
  void Receive(const std::string& pdu_hex, bool report);
  // The header line and the body line (none for a report) of a stored message.
  std::vector<std::string> Show(const StoredMessage& m, const std::string& head) const;
  void Note(const std::string& what, const std::string& storage, int index);
  MessageStore& Mem(int k) { return stores_.at(mem_[k]); }
  static int FreeIndex(const MessageStore& store);

  std::map<std::string, MessageStore> stores_;
  std::vector<SentMessage> sent_;
  std::vector<StoreEvent> journal_;
  std::string mem_[3] = {"SM", "SM", "SM"};  // read/delete, write/send, receive
  int cmgf_ = 0;                             // 1: text mode
  int csdh_ = 0;                             // 1: the long text-mode header
  std::vector<int> cnmi_ = {0, 0, 0, 0, 0};
  std::vector<int> csmp_ = {17, 167, 0, 0};
  int cmms_ = 0;
  Address smsc_;
  int next_reference_ = 0;
};

struct CallRecord {
  int id = 1;
  std::string number;
  CallPlan plan;
  TimeMs dialled_at = 0;
  int state = 2;      // +CLCC: 2 dialling, 3 alerting, 0 active
  std::string ended;  // "", "BUSY", "NO CARRIER", "NO ANSWER", "ATH"
  std::vector<Core::EventId> pending;
};

class CallService final : public Service {
 public:
  using Service::Service;
  void Register(CommandTable& table) override;
  const std::vector<CallRecord>& Calls() const { return calls_; }

 private:
  void Dial(const Command& c, Reply& r);
  void HangUp(Reply& r);
  void End(std::size_t call, const std::string& result);
  std::vector<CallRecord> calls_;
};

class UssdService final : public Service {
 public:
  explicit UssdService(Core& core);
  void Register(CommandTable& table) override;
  // The codes and answers sent so far, in order.
  const std::vector<std::string>& Requests() const { return requests_; }
  bool InDialogue() const { return current_ != nullptr; }

 private:
  void Request(const Command& c, Reply& r);
  std::string ResultLine(int status, const std::string& text, int dcs) const;
  const UssdNode* current_ = nullptr;  // the menu waiting for an answer
  int presentation_ = 0;
  std::vector<std::string> requests_;
};

class PhonebookService final : public Service {
 public:
  explicit PhonebookService(Core& core);
  void Register(CommandTable& table) override;
  const std::map<int, PhonebookEntry>& Entries(const std::string& storage = "SM") const {
    return books_.at(storage);
  }

 private:
  void ReadEntries(const Command& c, Reply& r);
  void Write(const Command& c, Reply& r);
  std::map<std::string, std::map<int, PhonebookEntry>> books_;
  std::string selected_ = "SM";
  int Capacity() const { return selected_ == "SM" ? core_.scenario.phonebook.capacity : 100; }
};

class ToolkitService final : public Service {
 public:
  explicit ToolkitService(Core& core);
  void Register(CommandTable& table) override;
  int Pending() const { return pending_; }  // -1: nothing yet
  int Mode() const { return mode_; }
  const std::vector<std::string>& Inputs() const { return inputs_; }

 private:
  void Configure(const Command& c, Reply& r);
  void GetInformation(const Command& c, Reply& r);
  void GiveResponse(const Command& c, Reply& r);
  // Moves the session to a node (nullptr ends it) and announces it after the OK of r.
  void Go(const StkNode* node, Reply& r);
  void Announce(int type, Reply* r);
  std::string Text(const std::string& utf8) const;
  const StkNode* ItemOf(const StkNode& menu, std::optional<int> id) const;

  int mode_ = 0;
  std::string profile_ = "5FFFFFFF7F";
  int timeout_ = 3, autoresponse_ = 0;
  bool menu_ready_ = false;
  int pending_ = -1;
  const StkNode* current_ = nullptr;
  std::optional<Core::EventId> timeout_event_;
  std::vector<std::string> inputs_;
};

}  // namespace quandelstk::modemsim
