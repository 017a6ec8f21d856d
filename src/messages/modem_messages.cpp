// The messages layer on the modem: sending, listing, reading, deleting and watching, every byte
// through the channel's exchange primitives. Each call leaves the modem in text mode with Init's
// indication settings, which the classes rely on.
#include <algorithm>
#include <utility>

#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "messages/modem_answers.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/messages.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::messages {

namespace {

constexpr std::int16_t kDefault = 0;     // the channel's 7 seconds
constexpr std::int16_t kSendLimit = 60;  // a submission waits for the network
constexpr std::int16_t kListLimit = 60;  // a full SIM takes a while to list
// What Init leaves: reports stored ("SR") and announced, received messages stored silently.
constexpr const char* kInitIndications = "AT+CNMI=2,0,0,2,0";

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

// Switches to PDU mode now and back to text mode on every way out.
class PduMode {
 public:
  explicit PduMode(std::function<bool(const std::string&)> exchange) : exchange_(std::move(exchange)) {
    exchange_("AT+CMGF=0");
  }
  ~PduMode() {
    try {
      exchange_("AT+CMGF=1");
    } catch (const RuntimeError&) {
      // the port went away: there is nothing to restore
    }
  }
  PduMode(const PduMode&) = delete;
  PduMode& operator=(const PduMode&) = delete;

 private:
  std::function<bool(const std::string&)> exchange_;
};

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
  for (const Indication& i : FindIndications(text)) {
    switch (i.kind) {
      case Indication::Kind::StoredMessage:
        noted_ += "+CMTI: \"" + i.storage + "\"," + std::to_string(i.index) + "\r\n";
        break;
      case Indication::Kind::StoredReport:
        noted_ += "+CDSI: \"" + i.storage + "\"," + std::to_string(i.index) + "\r\n";
        break;
      case Indication::Kind::Report:
        noted_ += "+CDS: 0\r\n" + i.pdu + "\r\n";
        break;
      case Indication::Kind::Message:
        noted_ += "+CMT: ,0\r\n" + i.pdu + "\r\n";
        break;
    }
  }
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
  // A stored copy of a part of a message already joined belongs to that message: deleting it
  // deletes the copy too.
  for (const Reassembler::LateCopy& copy : joiner.TakeLateCopies()) {
    for (AssembledMessage& m : out) {
      const auto& c = m.first.concatenation;
      if (c && m.first.address == copy.part.address && c->reference == copy.part.concatenation->reference &&
          c->total == copy.part.concatenation->total) {
        m.indexes.push_back(copy.index);
        m.statuses.push_back(copy.status);
        break;
      }
    }
  }
  return out;
}

std::vector<AssembledMessage> Messages::List() {
  if (!channel::IsPortOpen())
    throw RuntimeError(err::kPortNotOpen, "the port is not open; initialise the modem first");
  PduMode mode([this](const std::string& c) { return Exchange(c, kDefault); });
  Reassembler joiner;
  std::vector<AssembledMessage> all = ListStorage("SM", joiner);
  std::vector<AssembledMessage> reports = ListStorage("SR", joiner);
  Exchange("AT+CPMS=\"SM\"", kDefault);
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
  if (!watching_) mode.emplace([this](const std::string& c) { return Exchange(c, kDefault); });
  if (storage != "SM" && !Exchange("AT+CPMS=\"" + storage + "\"", kDefault))
    throw RuntimeError(err::kInvalidProcedureCall,
                       "the modem cannot select the storage " + storage + " (" + Brief(last_answer_) + ")");
  const bool ok = Exchange("AT+CMGR=" + std::to_string(index), kDefault);
  const std::string answer = last_answer_;
  if (storage != "SM") Exchange("AT+CPMS=\"SM\"", kDefault);
  if (!ok) {
    if (IsEmptyIndex(answer)) return std::nullopt;
    throw RuntimeError(err::kInvalidProcedureCall, "the modem could not read message " +
                                                       std::to_string(index) + " (" + Brief(answer) + ")");
  }
  const auto read = ParseRead(answer);
  if (!read) return std::nullopt;
  return DecodePdu(read->pdu);
}

bool Messages::Delete(int index, const std::string& storage) {
  if (!channel::IsPortOpen()) return false;
  if (storage != "SM" && !Exchange("AT+CPMS=\"" + storage + "\"", kDefault)) return false;
  const bool ok = Exchange("AT+CMGD=" + std::to_string(index), kDefault);
  if (storage != "SM") Exchange("AT+CPMS=\"SM\"", kDefault);
  return ok;
}

bool Messages::DeleteAll(const std::string& storage) {
  if (!channel::IsPortOpen()) return false;
  if (storage != "SM" && !Exchange("AT+CPMS=\"" + storage + "\"", kDefault)) return false;
  const bool ok = Exchange("AT+CMGD=1,4", kDefault);
  if (storage != "SM") Exchange("AT+CPMS=\"SM\"", kDefault);
  return ok;
}

int Messages::Collect(const std::function<bool(const AssembledMessage&)>& accept) {
  int deleted = 0;
  for (const AssembledMessage& m : List()) {
    if (!accept(m)) continue;
    bool all = true;
    for (const int index : m.indexes) all = Delete(index, m.storage.empty() ? "SM" : m.storage) && all;
    if (all) ++deleted;
  }
  return deleted;
}

bool Messages::Watch(std::chrono::milliseconds part_limit) {
  if (!channel::IsPortOpen()) return false;
  Exchange("AT+CMGF=0", kDefault);
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
  pending_input_.clear();
  try {
    Exchange(kInitIndications, kDefault);
    Exchange("AT+CMGF=1", kDefault);
  } catch (const RuntimeError&) {
    // the port went away while watching: nothing left to restore
  }
}

namespace {

// The message an indication is about: read from its storage, or decoded from the line itself.
std::optional<Message> Announced(Messages& box, const Indication& ind, std::string& storage, int& index) {
  Message m;
  switch (ind.kind) {
    case Indication::Kind::StoredMessage:
    case Indication::Kind::StoredReport: {
      storage =
          ind.storage.empty() ? (ind.kind == Indication::Kind::StoredReport ? "SR" : "SM") : ind.storage;
      index = ind.index;
      return box.Read(index, storage);  // none when it was gone before we came to it
    }
    case Indication::Kind::Report:
    case Indication::Kind::Message:
      m = DecodePdu(ind.pdu);
      break;
  }
  return m;
}

}  // namespace

void Messages::HandleIndications(std::vector<AssembledMessage>& out) {
  // Reading a stored message is an exchange whose answer may note more indications: take the
  // noted ones first, then look again.
  while (!noted_.empty()) {
    const std::string noted = std::exchange(noted_, std::string());
    for (const Indication& ind : FindIndications(noted)) {
      std::string storage;
      int index = 0;
      const std::optional<Message> m = Announced(*this, ind, storage, index);
      if (!m) continue;
      for (AssembledMessage& a : watch_joiner_->Add(*m, storage, index, 0)) out.push_back(std::move(a));
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
    pending_input_ += channel::Gsm().Input();
    std::size_t consumed = 0;
    FindIndications(pending_input_, &consumed);
    noted_ += pending_input_.substr(0, consumed);
    pending_input_.erase(0, consumed);
    HandleIndications(out);
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
