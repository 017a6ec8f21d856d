// Messages as people write them, beside the five classes: text in UTF-8 both ways, the whole GSM
// default alphabet with its extension table or UCS2 (surrogate pairs included), long texts split
// into concatenated parts and joined again, every stored message listed and decoded, status reports
// decoded as reports. The classes and their codec are untouched by any of this.
//
//   auto plan = messages::Plan("Café €5 [ok]");            // GSM 7-bit, 1 part, 15 septets
//   messages::Messages box;                                   // after Modem::Init
//   auto sent = box.Send("+15550100123", "Café €5 [ok]");     // sent.references: one per part
//   for (const auto& m : box.List()) use(m.from(), m.text);
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quandelstk/export.hpp"

namespace quandelstk::messages {

// ---------------------------------------------------------------------------------------------
// Data coding

enum class Alphabet : std::int32_t { Gsm7 = 0, EightBit = 1, Ucs2 = 2 };
QUANDELSTK_API const char* AlphabetName(Alphabet alphabet);  // "GSM 7-bit", "8-bit data", "UCS2"

struct QUANDELSTK_API MessageWaiting {
  enum class Kind : std::int32_t { Voicemail = 0, Fax = 1, Email = 2, Other = 3 };
  Kind kind = Kind::Voicemail;
  bool active = false;   // the indication is set (a message waits) or cleared
  bool discard = false;  // the message itself may be discarded (the indication is what counts)
};

// What the data coding scheme octet says: the alphabet, the class, compression, automatic
// deletion and message waiting. A reserved coding (a reserved alphabet, a reserved group, a
// reserved bit set) is read as the GSM 7-bit default alphabet, as 3GPP TS 23.038 has a receiver do.
struct QUANDELSTK_API DataCoding {
  int octet = 0;
  Alphabet alphabet = Alphabet::Gsm7;
  std::optional<int> message_class;  // 0 flash (shown, not stored), 1 phone, 2 SIM, 3 terminal
  bool compressed = false;
  bool auto_delete = false;
  bool reserved = false;  // a coding group no standard fills yet
  std::optional<MessageWaiting> waiting;
};
QUANDELSTK_API DataCoding ReadDataCoding(int octet);

// ---------------------------------------------------------------------------------------------
// Encoding

struct QUANDELSTK_API SendOptions {
  bool status_report = false;                    // ask the network for a status report
  std::optional<std::chrono::minutes> validity;  // relative validity, 5 min to 63 weeks; none when unset
  std::string service_centre;                    // empty: the one the modem has stored
  bool flash = false;                            // class 0: shown at once, not stored
  bool wide_reference = false;                   // 16-bit concatenation reference
  std::optional<int> reference;  // concatenation reference; Messages::Send picks one when unset
};

// How a text travels, known before it is sent (what phones show while one types).
struct QUANDELSTK_API TextPlan {
  Alphabet alphabet = Alphabet::Gsm7;
  int characters = 0;  // as people count them (code points)
  int units = 0;       // septets (an extension character takes two) or UCS2 code units
  int parts = 0;       // 1 for a text that fits one message
  int per_part = 0;    // units one part holds (160/70 alone, 153/67 or 152/66 when concatenated)
  int left = 0;        // units still free in the last part
};

// Throws RuntimeError 5 when utf8 is not UTF-8 or the text needs more than 255 parts.
QUANDELSTK_API TextPlan Plan(std::string_view utf8, const SendOptions& options = {});

struct QUANDELSTK_API SubmitPart {
  int sequence = 1;
  std::string pdu;      // hex, service-centre field first
  int tpdu_length = 0;  // octets after the service-centre field: the number AT+CMGS takes
  std::string text;     // the part's share of the text (UTF-8)
};

// The SMS-SUBMIT PDUs of a text to a number ("+" and digits, or a national number). reference is
// the concatenation reference (0-255, or 0-65535 with wide_reference); unused for one part.
// Throws RuntimeError 5 for a number with other characters, a text that is not UTF-8, an empty text
// or one of more than 255 parts.
QUANDELSTK_API std::vector<SubmitPart> EncodeSubmit(std::string_view number, std::string_view utf8,
                                                    const SendOptions& options, int reference);

// ---------------------------------------------------------------------------------------------
// Decoding

// A received PDU of the reserved message type (3) is read as an SMS-DELIVER, as 3GPP TS 23.040 has a
// receiver do; its pdu keeps it exactly as it came.
enum class MessageType : std::int32_t { Deliver = 0, Submit = 1, StatusReport = 2 };
QUANDELSTK_API const char* MessageTypeName(MessageType type);  // "SMS-DELIVER", ...

// A service-centre time stamp: local time of the centre and its offset from UTC.
struct QUANDELSTK_API Timestamp {
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int zone_minutes = 0;  // east of Greenwich positive, in quarter hours

  std::string Text() const;  // "2024-05-17 09:08:07 +08:00"
  friend bool operator==(const Timestamp&, const Timestamp&) = default;
};

struct QUANDELSTK_API Validity {
  enum class Format : std::int32_t { None = 0, Relative = 1, Absolute = 2, Enhanced = 3 };
  Format format = Format::None;
  std::int64_t seconds = 0;  // relative and enhanced
  Timestamp absolute;        // absolute
  bool single_shot = false;  // enhanced: one delivery attempt only

  std::string Text() const;  // "", "relative 1 day", "until 2024-05-17 09:08:07 +08:00"
};

struct QUANDELSTK_API Concatenation {
  int reference = 0;
  int total = 0;
  int sequence = 0;
  bool wide_reference = false;  // 16-bit reference
};

struct QUANDELSTK_API InformationElement {
  int id = 0;
  std::string data;  // raw octets
};

struct QUANDELSTK_API Message {
  MessageType type = MessageType::Deliver;
  std::string service_centre;
  // The sender of an SMS-DELIVER, the destination of a stored SMS-SUBMIT, the recipient a status
  // report is about. A "+" in front for an international number; an alphanumeric sender as text.
  std::string address;
  int address_type = 0x81;
  int protocol_identifier = 0;
  DataCoding coding;
  std::optional<Timestamp> time;       // deliver and report: the centre's time stamp
  std::optional<Timestamp> discharge;  // report: when the message was delivered (or given up)
  int status = 0;                      // report: the status octet
  int reference = 0;                   // submit and report: the message reference
  Validity validity;                   // submit
  bool report_requested = false;       // submit: report asked for; deliver: a report will go back
  bool reply_path = false;
  bool more_to_send = false;  // deliver: the centre has more messages waiting
  std::optional<Concatenation> concatenation;
  std::vector<InformationElement> elements;  // every element of the user data header, in order
  std::string text;                          // UTF-8; empty for 8-bit data
  std::string data;                          // 8-bit user data after the header (raw octets)
  std::string problem;  // why it could not be decoded in full ("" when it could); never dropped
  std::string pdu;      // the hex as it came
  // GSM 7-bit text whose last septet is an escape: the character it begins ends in the next part
  // (another sender's splitting), where joining the parts completes it.
  bool escape_at_end = false;
  // A concatenated part's text as it came, for joining it with its neighbours: its septets (one an
  // octet) in GSM 7-bit, its octets in UCS2; empty otherwise. A character split between two parts (an
  // escape and its code, a surrogate pair) comes out whole only from both parts' units together. The
  // text of a part that ends in a high surrogate leaves that half out, as it does a final escape.
  std::string units;

  bool Decoded() const { return problem.empty(); }
  bool IsReport() const { return type == MessageType::StatusReport; }
};

// Never throws: a PDU that cannot be read keeps what was read, with the reason in problem.
QUANDELSTK_API Message DecodePdu(std::string_view hex, bool with_service_centre = true);

// Status reports: what the status octet says.
enum class DeliveryState : std::int32_t { Delivered = 0, Pending = 1, Failed = 2 };
QUANDELSTK_API DeliveryState StateOfStatus(int status);
QUANDELSTK_API std::string StatusText(int status);  // "delivered", "still trying: recipient busy", ...

// ---------------------------------------------------------------------------------------------
// Reassembly

// A message as the host sees it: one whole text, however many parts carried it.
struct QUANDELSTK_API AssembledMessage {
  Message first;               // the first part present (sender, time, coding, report fields)
  std::string text;            // the parts' texts joined in sequence order (UTF-8)
  std::string data;            // the parts' 8-bit data joined
  int total = 1;               // parts it should have
  std::vector<int> sequences;  // parts present, ascending
  bool complete = true;
  std::string storage;       // where its first part was found ("SM", "SR"), "" when it arrived directly
  std::vector<int> indexes;  // storage indexes of every part and duplicate, for deleting it
  std::vector<std::string> storages;  // the storage of each index (parts may lie in different ones)
  std::vector<int> statuses;          // storage status of each index (0 unread, 1 read, 2 unsent, 3 sent)
  std::vector<Message> parts;         // in sequence order, duplicates left out
  // What joining the parts found ("" when nothing): a character split between parts that one of them
  // does not complete (half a surrogate pair left alone).
  std::string join_problem;

  const std::string& from() const { return first.address; }
  std::string Problem() const;  // the first part's problem, which parts are missing, or join_problem
};

// Joins the parts of concatenated messages by (type, address, reference and its width, total), in any
// order. A part whose sequence a set already holds is a duplicate when its content is the same, and
// begins another set when it is not (references wrap, and some senders always use the same one). A
// set still incomplete after the time limit is released marked incomplete. Time comes from the
// injected clock (milliseconds; the platform's monotonic clock by default).
class QUANDELSTK_API Reassembler {
 public:
  explicit Reassembler(std::chrono::milliseconds limit = std::chrono::minutes(5),
                       std::function<std::int64_t()> now_ms = {});

  // Returns what is whole now: the message itself when it is not a part (or cannot be decoded),
  // else the set it completes, if any. index is where it is stored (0 is an index, as some modems
  // number from 0); -1 when it is not stored.
  std::vector<AssembledMessage> Add(const Message& message, const std::string& storage = "", int index = -1,
                                    int status = 0);
  // Releases, marked incomplete, every set whose first part came longer than the limit ago.
  std::vector<AssembledMessage> Expire();
  // Releases every set still waiting, marked incomplete (the end of a listing).
  std::vector<AssembledMessage> Flush();
  std::size_t Waiting() const { return sets_.size(); }
  // When the oldest waiting set falls due (monotonic ms), none when nothing waits.
  std::optional<std::int64_t> NextDue() const;

  // A stored copy of a part whose set was already released whole (within the time limit), the same
  // content again, is not a new message: it is kept here, with where it was stored, so that a host
  // can delete it too. Copies that are not stored (index -1) have nothing to delete: not kept.
  struct LateCopy {
    Message part;
    std::string storage;
    int index = -1;
    int status = 0;
  };
  std::vector<LateCopy> TakeLateCopies() { return std::exchange(late_, {}); }
  // Two copies of one part: the same set and sequence, and the same content.
  static bool SamePart(const Message& a, const Message& b);

 private:
  struct Set {
    std::string key;
    AssembledMessage message;
    std::map<int, Message> parts;
    std::int64_t started = 0;
  };
  struct Released {
    std::string key;
    std::map<int, std::string> contents;  // each part's content, by sequence
    std::int64_t at = 0;
  };
  AssembledMessage Release(Set& set, bool complete) const;
  std::int64_t Now() const;

  std::chrono::milliseconds limit_;
  std::function<std::int64_t()> now_ms_;
  std::vector<Set> sets_;           // waiting, oldest first; several may share a key
  std::vector<Released> released_;  // sets released whole within the limit
  std::vector<LateCopy> late_;
};

// ---------------------------------------------------------------------------------------------
// Matching reports to what was sent

struct QUANDELSTK_API SentMessage {
  std::string to;
  std::string text;             // UTF-8
  std::vector<int> references;  // one per part, in part order
  std::string when;             // free text for people (the CLI writes local time)
};

struct QUANDELSTK_API ReportMatch {
  std::size_t sent = 0;  // index into the list given
  int part = 1;          // which part the report is about (1-based)
};

// The most recent sent message to the report's recipient with the report's reference.
QUANDELSTK_API std::optional<ReportMatch> MatchReport(const Message& report,
                                                      const std::vector<SentMessage>& sent);
// Numbers compared as people mean them: "+15550100999" and "15550100999" match.
QUANDELSTK_API bool SameNumber(std::string_view a, std::string_view b);

// ---------------------------------------------------------------------------------------------
// The modem: the thread's port, which Modem::Init opened. Every exchange goes through the
// channel's primitives; each call switches to PDU mode and back to text mode, as the classes expect.
// A modem that refuses PDU mode ends the call there (an error, nothing else written), still in text
// mode.

struct QUANDELSTK_API SendResult {
  bool ok = false;
  TextPlan plan;
  std::vector<int> references;  // of the parts sent, in order
  std::string error;            // what went wrong, when not ok
};

class QUANDELSTK_API Messages {
 public:
  // Sends every part; progress(part, total) before each. Stops at the first part the modem
  // refuses (error says which and why); the parts before it stay sent. A prompt that never came is
  // cancelled with ESC, so that a late one cannot take the next command for a message.
  SendResult Send(const std::string& number, std::string_view utf8, const SendOptions& options = {},
                  const std::function<void(int, int)>& progress = {});

  // Every message on the SIM ("SM") and every stored status report ("SR"), decoded and joined.
  // Throws RuntimeError 5 when the modem refuses PDU mode or to list.
  std::vector<AssembledMessage> List();
  // One stored message by index, not deleted; none when the index is empty. Throws RuntimeError 5
  // when the modem refuses PDU mode, the storage or the read.
  std::optional<Message> Read(int index, const std::string& storage = "SM");
  // Each selects its storage first (AT+CPMS), the SIM's too, and leaves the SIM's selected.
  bool Delete(int index, const std::string& storage = "SM");
  bool DeleteAll(const std::string& storage = "SM");
  // Every index of a message (its parts and their stored copies), each in its own storage; false
  // when any of them could not be deleted.
  bool Delete(const AssembledMessage& message);
  // Lists, hands each message to accept, and deletes the indexes of those it accepted, each in its
  // own storage: nothing is deleted that the host does not have. Returns how many were deleted.
  int Collect(const std::function<bool(const AssembledMessage&)>& accept);

  // New-message indications: Watch reads the indication settings in force (AT+CNMI?), switches them
  // on (+CMTI for messages, +CDS for reports) and PDU mode; Wait returns what arrived complete within
  // max (or what the time limit released); StopWatching restores the settings Watch found (Init's,
  // or the one of Init's two the modem takes, when they cannot be read) and text mode.
  bool Watch(std::chrono::milliseconds part_limit = std::chrono::minutes(5));
  std::vector<AssembledMessage> Wait(std::chrono::milliseconds max);
  void StopWatching();
  bool Watching() const { return watching_; }
  // Stored copies of parts of messages Wait already returned whole (the same content again): where
  // they are, so that a host that deletes what it was given can delete these too. Kept until taken,
  // the latest kMaxDuplicates at most; StopWatching drops them.
  static constexpr std::size_t kMaxDuplicates = 256;
  std::vector<Reassembler::LateCopy> TakeDuplicates() { return std::exchange(duplicates_, {}); }

  // The last exchange's answer, for --trace-less diagnosis.
  const std::string& LastAnswer() const { return last_answer_; }

 private:
  bool Exchange(const std::string& command, int timeout_seconds);
  bool SelectStorage(const std::string& storage);  // AT+CPMS
  // One stored message; none when the index is empty, or when the modem refused the storage or the
  // read, which why then tells.
  std::optional<Message> ReadStored(int index, const std::string& storage, std::string& why);
  // Keeps the indications an answer held, for the next Wait.
  void NoteIndications(const std::string& text);
  std::vector<AssembledMessage> ListStorage(const std::string& storage, Reassembler& joiner);
  void HandleIndications(std::vector<AssembledMessage>& out);

  std::string last_answer_;
  // The start of an indication that an answer or a wait ended inside, joined with what comes next.
  std::string pending_input_;
  std::string noted_;  // indications found in answers, as whole lines
  std::optional<Reassembler> watch_joiner_;
  std::vector<Reassembler::LateCopy> duplicates_;
  std::vector<std::string> restore_indications_;  // the AT+CNMI commands StopWatching tries, in order
  bool watching_ = false;
};

}  // namespace quandelstk::messages
