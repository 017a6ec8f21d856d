// The messages layer on the modem: sending, listing, reading, deleting and watching, every byte
// through the channel's exchange primitives. Each call leaves the modem in text mode with Init's
// indication settings, which the classes rely on.
#include <algorithm>
#include <string_view>
#include <utility>

#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "messages/modem_answers.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/messages.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::messages {

namespace {

constexpr std::int16_t kDefault = 0;      // the channel's 7 seconds
constexpr std::int16_t kSendLimit = 60;   // a submission waits for the network
constexpr std::int16_t kListLimit = 60;   // a full SIM takes a while to list
constexpr std::int16_t kEscapeLimit = 1;  // the answer to ESC after a missing prompt, if any
// What Init leaves: reports stored ("SR") and announced, received messages stored silently; and
// what it sets instead when the modem refuses that.
constexpr const char* kInitIndications = "AT+CNMI=2,0,0,2,0";
constexpr const char* kInitFallbackIndications = "AT+CNMI=0,0,0,0,0";

std::string Brief(const std::string& answer) {
  std::string out;
  for (const std::string& line : AnswerLines(answer)) {
    if (line.rfind("AT", 0) == 0) continue;  // the echo
    out += (out.empty() ? "" : " ") + line;
  }
  return out.empty() ? "no answer" : out;
}

bool IsEmptyIndex(const std::string& answer) {
  return answer.find("+CMS ERROR: 321") != std::string::npos;
}

// Switches to PDU mode now and back to text mode on every way out. A modem that refuses the switch
// is still in text mode: Switched() says so, and nothing is restored.
class PduMode {
 public:
  explicit PduMode(std::function<bool(const std::string&)> exchange) : exchange_(std::move(exchange)) {
    switched_ = exchange_("AT+CMGF=0");
  }
  ~PduMode() {
    if (!switched_) return;
    try {
      exchange_("AT+CMGF=1");
    } catch (const RuntimeError&) {
      // the port went away: there is nothing to restore
    }
  }
  PduMode(const PduMode&) = delete;
  PduMode& operator=(const PduMode&) = delete;
  bool Switched() const { return switched_; }

 private:
  std::function<bool(const std::string&)> exchange_;
  bool switched_ = false;
};

std::string PduModeRefused(const std::string& answer) {
  return "the modem refused PDU mode (AT+CMGF=0: " + Brief(answer) + ")";
}

// The start of an indication, or of its line: "+CMTI:", "+CDSI:", "+CDS:", "+CMT:" or the first
// characters of one, after line ends.
bool MayBeginIndication(std::string_view rest) {
  while (!rest.empty() && (rest.front() == '\r' || rest.front() == '\n')) rest.remove_prefix(1);
  if (rest.empty()) return false;
  for (const std::string_view prefix : {"+CMTI:", "+CDSI:", "+CDS:", "+CMT:"})
    if (rest.substr(0, prefix.size()) == prefix.substr(0, rest.size())) return true;
  return false;
}

// "AT+CNMI=<settings>" from the answer to AT+CNMI? ("+CNMI: 2,0,0,2,0"); "" when it holds none.
std::string IndicationsCommand(const std::string& answer) {
  for (const std::string& line : AnswerLines(answer)) {
    if (line.rfind("+CNMI:", 0) != 0) continue;
    std::string settings;
    for (const char c : line.substr(6))
      if (c != ' ') settings += c;
    if (settings.empty() || settings.find_first_not_of("0123456789,") != std::string::npos) return "";
    return "AT+CNMI=" + settings;
  }
  return "";
}

// An indication as whole lines, as FindIndications reads them.
std::string IndicationLines(const Indication& i) {
  switch (i.kind) {
    case Indication::Kind::StoredMessage:
      return "+CMTI: \"" + i.storage + "\"," + std::to_string(i.index) + "\r\n";
    case Indication::Kind::StoredReport:
      return "+CDSI: \"" + i.storage + "\"," + std::to_string(i.index) + "\r\n";
    case Indication::Kind::Report:
      return "+CDS: 0\r\n" + i.pdu + "\r\n";
    case Indication::Kind::Message:
      return "+CMT: ,0\r\n" + i.pdu + "\r\n";
  }
  return "";
}

int NextReference() {
  thread_local int next = -1;
  if (next < 0) next = static_cast<int>(CurrentPlatform().MonotonicMs() & 0xFF);
  next = (next + 1) & 0xFF;
  return next;
}

}  // namespace

bool Messages::Exchange(const std::string& command, int timeout_seconds) {
  last_answer_.clear();
  const bool ok = channel::SendATCommand(command, last_answer_, static_cast<std::int16_t>(timeout_seconds));
  NoteIndications(last_answer_);
  return ok;
}

void Messages::NoteIndications(const std::string& text) {
  // What an earlier text ended inside comes first: this text holds the rest of it.
  const std::string all = std::exchange(pending_input_, std::string()) + text;
  std::size_t consumed = 0;
  for (const Indication& i : FindIndications(all, &consumed)) noted_ += IndicationLines(i);
  // An indication cut at the end (an answer's last bytes, or a wait's): kept, to be joined with
  // what arrives next.
  const std::string_view rest = std::string_view(all).substr(consumed);
  if (MayBeginIndication(rest)) pending_input_ = std::string(rest);
}

SendResult Messages::Send(const std::string& number, std::string_view utf8, const SendOptions& options,
                          const std::function<void(int, int)>& progress) {
  SendResult r;
  r.plan = Plan(utf8, options);
  int reference = NextReference();
  if (options.wide_reference) reference = reference << 8 | NextReference();
  if (options.reference) reference = *options.reference;
  const std::vector<SubmitPart> parts = EncodeSubmit(number, utf8, options, reference);
  if (!channel::IsPortOpen()) {
    r.error = "the port is not open; initialise the modem first";
    return r;
  }
  PduMode mode([this](const std::string& c) { return Exchange(c, kDefault); });
  if (!mode.Switched()) {
    r.error = PduModeRefused(last_answer_) + "; nothing was sent";
    return r;
  }
  const int total = static_cast<int>(parts.size());
  for (const SubmitPart& part : parts) {
    if (progress) progress(part.sequence, total);
    std::string answer;
    const bool prompted =
        channel::SendATForPrompt("AT+CMGS=" + std::to_string(part.tpdu_length), answer, kDefault);
    NoteIndications(answer);
    if (!prompted) {
      r.error = "part " + std::to_string(part.sequence) + " of " + std::to_string(total) +
                ": the modem gave no prompt for the message (" + Brief(answer) + ")";
      // A prompt that came late would take the next command line for the message: ESC cancels it
      // (a modem at its command line ignores the character).
      Exchange("\x1B", kEscapeLimit);
      return r;
    }
    if (!Exchange(part.pdu + "\x1A", kSendLimit)) {
      r.error = "part " + std::to_string(part.sequence) + " of " + std::to_string(total) +
                ": the modem refused it (" + Brief(last_answer_) + ")";
      return r;
    }
    r.references.push_back(ParseSubmitReference(last_answer_).value_or(-1));
  }
  r.ok = true;
  return r;
}

std::vector<AssembledMessage> Messages::ListStorage(const std::string& storage, Reassembler& joiner) {
  std::vector<AssembledMessage> out;
  if (!Exchange("AT+CPMS=\"" + storage + "\"", kDefault)) {
    if (storage == "SM")
      throw RuntimeError(err::kInvalidProcedureCall,
                         "the modem cannot select the SIM's message storage (" + Brief(last_answer_) + ")");
    return out;  // no status-report storage: nothing to list there
  }
  if (!Exchange("AT+CMGL=4", kListLimit)) {
    if (storage == "SM")
      throw RuntimeError(err::kInvalidProcedureCall,
                         "the modem refused to list the messages (" + Brief(last_answer_) + ")");
    return out;
  }
  for (const ListedPdu& p : ParseListing(last_answer_))
    for (AssembledMessage& m : joiner.Add(DecodePdu(p.pdu), storage, p.index, p.status))
      out.push_back(std::move(m));
  for (AssembledMessage& m : joiner.Flush()) out.push_back(std::move(m));
  return out;
}

std::vector<AssembledMessage> Messages::List() {
  if (!channel::IsPortOpen())
    throw RuntimeError(err::kPortNotOpen, "the port is not open; initialise the modem first");
  PduMode mode([this](const std::string& c) { return Exchange(c, kDefault); });
  if (!mode.Switched()) throw RuntimeError(err::kInvalidProcedureCall, PduModeRefused(last_answer_));
  Reassembler joiner;
  std::vector<AssembledMessage> all = ListStorage("SM", joiner);
  std::vector<AssembledMessage> reports = ListStorage("SR", joiner);
  Exchange("AT+CPMS=\"SM\"", kDefault);
  // A stored copy of a part of a message already joined (the same content again) belongs to that
  // message, wherever it is stored: deleting the message deletes the copy too.
  for (const Reassembler::LateCopy& copy : joiner.TakeLateCopies()) {
    for (std::vector<AssembledMessage>* list : {&all, &reports}) {
      const auto owner = std::find_if(list->begin(), list->end(), [&copy](const AssembledMessage& m) {
        return std::any_of(m.parts.begin(), m.parts.end(),
                           [&copy](const Message& p) { return Reassembler::SamePart(p, copy.part); });
      });
      if (owner == list->end()) continue;
      owner->indexes.push_back(copy.index);
      owner->storages.push_back(copy.storage);
      owner->statuses.push_back(copy.status);
      break;
    }
  }
  // In storage order, each message where its first stored part is.
  auto first_index = [](const AssembledMessage& m) {
    return m.indexes.empty() ? 0 : *std::min_element(m.indexes.begin(), m.indexes.end());
  };
  auto by_index = [&](const AssembledMessage& a, const AssembledMessage& b) {
    return first_index(a) < first_index(b);
  };
  std::stable_sort(all.begin(), all.end(), by_index);
  std::stable_sort(reports.begin(), reports.end(), by_index);
  all.insert(all.end(), std::make_move_iterator(reports.begin()), std::make_move_iterator(reports.end()));
  return all;
}

std::optional<Message> Messages::Read(int index, const std::string& storage) {
  if (!channel::IsPortOpen())
    throw RuntimeError(err::kPortNotOpen, "the port is not open; initialise the modem first");
  std::optional<PduMode> mode;
  if (!watching_) {
    mode.emplace([this](const std::string& c) { return Exchange(c, kDefault); });
    if (!mode->Switched()) throw RuntimeError(err::kInvalidProcedureCall, PduModeRefused(last_answer_));
  }
  std::string why;
  std::optional<Message> m = ReadStored(index, storage, why);
  if (!why.empty()) throw RuntimeError(err::kInvalidProcedureCall, why);
  return m;
}

std::optional<Message> Messages::ReadStored(int index, const std::string& storage, std::string& why) {
  why.clear();
  if (!SelectStorage(storage)) {
    why = "the modem cannot select the storage " + storage + " (" + Brief(last_answer_) + ")";
    return std::nullopt;
  }
  const bool ok = Exchange("AT+CMGR=" + std::to_string(index), kDefault);
  const std::string answer = last_answer_;
  if (storage != "SM") Exchange("AT+CPMS=\"SM\"", kDefault);
  if (!ok) {
    if (!IsEmptyIndex(answer))
      why = "the modem could not read message " + std::to_string(index) + " (" + Brief(answer) + ")";
    return std::nullopt;
  }
  const auto read = ParseRead(answer);
  if (!read) return std::nullopt;
  return DecodePdu(read->pdu);
}

bool Messages::SelectStorage(const std::string& storage) {
  return Exchange("AT+CPMS=\"" + storage + "\"", kDefault);
}

bool Messages::Delete(int index, const std::string& storage) {
  if (!channel::IsPortOpen()) return false;
  if (!SelectStorage(storage)) return false;
  const bool ok = Exchange("AT+CMGD=" + std::to_string(index), kDefault);
  if (storage != "SM") {
    const std::string answer = last_answer_;  // the delete's, for the host
    SelectStorage("SM");
    last_answer_ = answer;
  }
  return ok;
}

bool Messages::DeleteAll(const std::string& storage) {
  if (!channel::IsPortOpen()) return false;
  if (!SelectStorage(storage)) return false;
  const bool ok = Exchange("AT+CMGD=1,4", kDefault);
  if (storage != "SM") {
    const std::string answer = last_answer_;
    SelectStorage("SM");
    last_answer_ = answer;
  }
  return ok;
}

bool Messages::Delete(const AssembledMessage& message) {
  bool all = true;
  for (std::size_t k = 0; k < message.indexes.size(); ++k) {
    const std::string storage =
        k < message.storages.size() && !message.storages[k].empty() ? message.storages[k] : "SM";
    all = Delete(message.indexes[k], storage) && all;
  }
  return all;
}

int Messages::Collect(const std::function<bool(const AssembledMessage&)>& accept) {
  int deleted = 0;
  for (const AssembledMessage& m : List()) {
    if (accept(m) && Delete(m)) ++deleted;
  }
  return deleted;
}

bool Messages::Watch(std::chrono::milliseconds part_limit) {
  if (!channel::IsPortOpen()) return false;
  // Indications noted before the watch are old: what they announced is stored, and List finds it.
  noted_.clear();
  pending_input_.clear();
  // The settings to restore: the ones in force now, else Init's in the order Init tries them (it
  // falls back to the second when the modem refuses the first).
  restore_indications_ = {kInitIndications, kInitFallbackIndications};
  if (Exchange("AT+CNMI?", kDefault))
    if (const std::string now = IndicationsCommand(last_answer_); !now.empty())
      restore_indications_.insert(restore_indications_.begin(), now);
  if (!Exchange("AT+CMGF=0", kDefault)) return false;  // still in text mode
  // Messages announced by storage index, reports shown at once; a modem that cannot show reports
  // stores them and announces their index instead.
  if (!Exchange("AT+CNMI=2,1,0,1,0", kDefault) && !Exchange("AT+CNMI=2,1,0,2,0", kDefault)) {
    Exchange("AT+CMGF=1", kDefault);
    return false;
  }
  watch_joiner_.emplace(part_limit);
  watching_ = true;
  return true;
}

void Messages::StopWatching() {
  if (!watching_) return;
  watching_ = false;
  watch_joiner_.reset();
  duplicates_.clear();
  try {
    for (const std::string& command : restore_indications_)
      if (Exchange(command, kDefault)) break;
    Exchange("AT+CMGF=1", kDefault);
  } catch (const RuntimeError&) {
    // the port went away while watching: nothing left to restore
  }
  // Nothing noted so far is for the next watch (the restore's answers included).
  noted_.clear();
  pending_input_.clear();
}

void Messages::HandleIndications(std::vector<AssembledMessage>& out) {
  // The message an indication is about, read from its storage or decoded from the line itself, into
  // the joiner. One the modem will not read is handed over with its index and the reason, as a
  // listing shows one, and the watch goes on.
  auto handle = [&](const Indication& ind) {
    Message m;
    std::string storage;
    int index = -1;
    switch (ind.kind) {
      case Indication::Kind::StoredMessage:
      case Indication::Kind::StoredReport: {
        storage =
            ind.storage.empty() ? (ind.kind == Indication::Kind::StoredReport ? "SR" : "SM") : ind.storage;
        index = ind.index;
        if (index < 0) return;  // no index to read
        std::string why;
        std::optional<Message> read = ReadStored(index, storage, why);
        if (!why.empty())
          m.problem = why;
        else if (!read)
          return;  // gone before we came to it
        else
          m = std::move(*read);
        break;
      }
      case Indication::Kind::Report:
      case Indication::Kind::Message:
        m = DecodePdu(ind.pdu);
        break;
    }
    for (AssembledMessage& a : watch_joiner_->Add(m, storage, index, 0)) out.push_back(std::move(a));
  };
  // Reading a stored message is an exchange whose answer may note more indications: take the
  // noted ones first, then look again.
  while (!noted_.empty()) {
    const std::vector<Indication> batch = FindIndications(std::exchange(noted_, std::string()));
    for (std::size_t k = 0; k < batch.size(); ++k) {
      try {
        handle(batch[k]);
      } catch (...) {
        // The port failed: this indication and the ones after it wait for the next Wait.
        std::string rest;
        for (std::size_t j = k; j < batch.size(); ++j) rest += IndicationLines(batch[j]);
        noted_ = rest + noted_;
        throw;
      }
    }
  }
}

std::vector<AssembledMessage> Messages::Wait(std::chrono::milliseconds max) {
  std::vector<AssembledMessage> out;
  if (!watching_) return out;
  Platform& platform = CurrentPlatform();
  const std::int64_t deadline = platform.MonotonicMs() + max.count();
  for (;;) {
    channel::ProcessPendingEvents();
    NoteIndications(channel::Gsm().Input());
    HandleIndications(out);
    // Copies of parts of messages already returned: kept for the host to delete, the latest only.
    for (Reassembler::LateCopy& copy : watch_joiner_->TakeLateCopies())
      duplicates_.push_back(std::move(copy));
    if (duplicates_.size() > kMaxDuplicates)
      duplicates_.erase(duplicates_.begin(), duplicates_.begin() + static_cast<std::ptrdiff_t>(
                                                                       duplicates_.size() - kMaxDuplicates));
    for (AssembledMessage& a : watch_joiner_->Expire()) out.push_back(std::move(a));
    const std::int64_t now = platform.MonotonicMs();
    if (!out.empty() || now >= deadline) return out;
    std::int64_t wait = std::min<std::int64_t>(100, deadline - now);
    if (const auto due = watch_joiner_->NextDue())
      wait = std::max<std::int64_t>(0, std::min(wait, *due - now));
    channel::Gsm().WaitForInput(static_cast<std::int32_t>(std::max<std::int64_t>(wait, 1)));
  }
}

}  // namespace quandelstk::messages
