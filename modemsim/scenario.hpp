// What the simulated modem is and does, as a JSON scenario describes it. Every key is optional;
// the defaults are a healthy registered WAVECOM modem with a READY SIM.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quandelstk::modemsim {

using TimeMs = std::int64_t;

// A bad scenario: the message names the origin (file or "<text>") and the offending key.
class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Command-line patterns of "delays", "chunking", "silent" and "unsolicited": the exact line, or a
// prefix ending in '*' ("AT+CMGR=*"), or "*" for every line.
bool LineMatches(std::string_view pattern, std::string_view line);

struct StoredSpec {
  std::string storage = "SM";
  int index = 0;    // 0: the first free one
  int status = 0;   // 0 REC UNREAD, 1 REC READ, 2 STO UNSENT, 3 STO SENT
  std::string pdu;  // hex, service-centre field first
};

struct PhonebookEntry {
  int index = 0;
  std::string number;
  int type = 129;
  std::string name;  // UTF-8
};

struct CallPlan {
  enum class Kind { kAnswer, kRing, kBusy, kReject, kNoAnswer } kind = Kind::kAnswer;
  TimeMs after_ms = 3000;  // from the dial
  TimeMs alert_ms = 1000;  // dialling until the far end rings
};

struct UssdNode {
  int status = 0;
  std::string text;  // UTF-8
  int dcs = 15;
  bool before_ok = false;                // the +CUSD line comes before the OK
  TimeMs delay_ms = 100;                 // after the OK (or the command) to the +CUSD line
  std::map<std::string, UssdNode> next;  // answers while status is 1
};

struct UssdNotification {
  TimeMs at_ms = 0;
  int status = 0;
  std::string text;
  int dcs = 15;
};

struct StkNode {
  enum class Kind { kMenu, kDisplay, kInput, kSms, kEnd } kind = Kind::kEnd;
  int id = 0;
  std::string label;  // as an item of its parent menu
  std::string title;  // menu
  std::string text;   // display text, input prompt or SMS notice; "{input}" is the last input
  int min = 0, max = 160, format = 0, echo = 1;  // input
  std::string to;                                // SMS: recorded as sent to this number when given
  std::vector<StkNode> items;
  std::shared_ptr<StkNode> then;  // after display, input or SMS; none ends the session
};

struct Timing {
  TimeMs ms = 0;        // to the information lines (and the prompt)
  TimeMs final_ms = 0;  // to the final result
};

struct Chunking {
  std::size_t size = 1;
  TimeMs gap_ms = 0;
};

struct TimedLine {
  TimeMs at_ms = -1;  // since start, or
  std::string after;  // after each matching command line, once
  TimeMs delay_ms = 0;
  std::string bytes;  // sent as they stand
};

// A faulty line and modem, until until_ms (-1: for the whole run).
struct Faults {
  TimeMs until_ms = -1;
  int garbage_every = 0;      // every n-th answer is preceded by the garbage bytes
  std::string garbage;
  int interleave_every = 0;   // every n-th answer of several lines gets the next line inside it
  std::vector<std::string> interleave;
  int silence_every = 0;      // every n-th command line is neither carried out nor answered
  std::vector<TimeMs> resets_ms;        // the modem restarts: settings lost, a PIN SIM locked again
  TimeMs gone_from_ms = -1, gone_to_ms = -1;  // the device is gone: opens, reads and writes fail
};

struct Scenario {
  std::string maker = "WAVECOM MODEM";
  std::string model = "MULTIBAND  900E  1800";
  std::string revision = "641b09gg.Q2406B 1266500 012208 17:06";
  std::string imei = "351234567890125";
  bool echo = true;
  int cmee = 1;
  // How the "GSM" character set shows on the line: "septets", one byte per GSM alphabet code, or
  // "latin1", the same characters by their ISO 8859-1 codes, as some modems present it.
  std::string gsm_text = "septets";
  std::optional<long> baud;                    // hears the host only at this line speed
  std::string clock = "26/12/04,10:00:00+04";  // network time at start
  // Whose answer forms beside the standard ones: "wavecom" (AT+CPINC, AT+CCID) or "quectel"
  // (AT+QPINC, AT+QCCID, the access technology in +CREG and +COPS, no AT+CPINR).
  std::string dialect = "wavecom";

  struct Sim {
    std::string state = "READY";  // READY, SIM PIN, SIM PUK, absent
    std::string pin = "1234", puk = "12345678";
    int pin_attempts = 3, puk_attempts = 10;
    std::string imsi = "001010123456789";
    std::string msisdn = "+15550100999";
    std::string smsc = "+15550100123";
    TimeMs busy_ms = 0;  // SIM commands answer +CME ERROR: 515 until then
    std::string iccid = "8900101201234567890";
    bool pin_lock = true;  // AT+CLCK="SC"
  } sim;
  int csms_not_ready = 0;  // first N "AT+CSMS=0" get +CMS ERROR: 515

  struct Network {
    int registration = 1;  // +CREG status when the SIM is ready and the radio on
    std::string operator_name = "Quandel Mobile";
    std::string operator_code = "00101";
    int signal = 15, ber = 99;
    std::string lac = "00C3", ci = "0A1B";
    int act = -1;  // access technology shown in +CREG and +COPS; -1: none (a GSM-only modem)
    TimeMs restart_ms = 0;  // AT+CFUN=1 drops the registration this long
  } network;

  struct Sms {
    std::map<std::string, int> capacity{{"SM", 20}, {"ME", 50}, {"SR", 20}};
    std::vector<StoredSpec> messages;
    TimeMs report_delay_ms = 2000;
    int report_status = 0;
    TimeMs loopback_delay_ms = 1000;
    bool delete_empty_ok = false;
    // Messages arriving from the network: the time since start and the SMS-DELIVER (hex, service
    // centre first), in the order they arrive; a long message's parts may come out of order or twice.
    std::vector<std::pair<TimeMs, std::string>> deliveries;
  } sms;

  struct Phonebook {
    int capacity = 250, number_length = 20, name_length = 14;
    bool empty_error = false;  // an empty location answers +CME ERROR: 22 instead of OK
    std::vector<PhonebookEntry> entries;
  } phonebook;

  std::map<std::string, CallPlan> calls;  // "*" for every other number
  std::map<std::string, UssdNode> ussd;
  std::vector<UssdNotification> ussd_notifications;

  struct Stk {
    bool supported = true;
    bool needs_restart = false;          // the menu comes only after AT+CFUN=1 with the toolkit on
    std::optional<std::string> profile;  // reported by AT+STSF? whatever was configured
    TimeMs timeout_ms = 0;               // a pending command left unanswered this long: +STIN: 98
    TimeMs stin_delay_ms = 0;            // from the OK of a response to the next +STIN:
    int csms_not_ready_after_off = 0;    // "AT+CSMS=0" answers 515 this often after AT+STSF=0
    StkNode menu;
  } stk;

  std::map<std::string, std::string> responses;  // exact command line -> literal answer
  std::vector<std::string> silent;
  std::vector<std::pair<std::string, Timing>> delays;
  std::vector<std::pair<std::string, Chunking>> chunking;
  std::vector<TimedLine> unsolicited;
  Faults faults;

  Scenario();  // fills the default messages-free SIM, USSD codes and toolkit menu
};

Scenario LoadScenarioFile(const std::string& path);
Scenario LoadScenarioText(std::string_view json, const std::string& origin = "<text>");

}  // namespace quandelstk::modemsim
