// Readers of the modem's information answers for the operator's commands (identify, pin, network,
// smsc, clock): the standard forms and the common makers' own. Pure functions over answer text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quandelstk::cli::answers {

// The information lines of an answer: without the echo of command, blank lines and final results.
std::vector<std::string> InfoLines(std::string_view answer, std::string_view command);

struct Field {
  std::string text;  // without its quotes
  bool quoted = false;
};
// The fields of a line after its prefix ("+CREG:"), split at commas outside quotes.
std::vector<Field> Fields(std::string_view line, std::string_view prefix);
// The fields of the last line that starts with prefix; none when no line does.
std::optional<std::vector<Field>> LastFields(const std::vector<std::string>& lines, std::string_view prefix);

// The value of an identity query: its first line, without a "+CGMI: " style prefix and quotes.
std::string IdentityValue(const std::vector<std::string>& lines);

// A whole number of at most 9 digits, none for anything else.
std::optional<int> Number(std::string_view text);

struct Registration {
  int mode = -1;   // the reporting mode (+CREG=n)
  int state = -1;  // 0 to 5 (and the newer 6 to 10)
  std::string lac, ci;
  int act = -1;
};
// The read answer "+CREG: n,stat[,lac,ci[,AcT]]" (prefix "+CREG:", "+CGREG:" or "+CEREG:"); a
// line the modem reported by itself ("+CREG: stat,...") in between is not taken for it.
std::optional<Registration> ParseRegistration(const std::vector<std::string>& lines, std::string_view prefix);
const char* RegistrationStateName(int state);
const char* AccessTechnologyName(int act);
bool IsRegistered(int state);

struct Operator {
  int mode = -1, format = -1, act = -1;
  std::string name;  // in the format given
};
std::optional<Operator> ParseOperator(const std::vector<std::string>& lines);
// "00101" -> MCC "001", MNC "01"; none for a code of other than 5 or 6 digits.
std::optional<std::pair<std::string, std::string>> SplitPlmn(std::string_view code);

struct Signal {
  int rssi = 99, ber = 99;
};
std::optional<Signal> ParseSignal(const std::vector<std::string>& lines);
// -113 for 0, -111 for 1, -109 to -53 for 2 to 30, -51 for 31; none for 99 (unknown).
std::optional<int> RssiDbm(int rssi);
// The bit error rate class as a range of percentages ("0.2 to 0.4 %"), none for 99.
std::optional<std::string> BerText(int ber);

// "+CPIN: SIM PIN" -> "SIM PIN"; none when the answer holds no state.
std::optional<std::string> ParsePinState(const std::vector<std::string>& lines);

struct PinRetries {
  std::optional<int> pin, puk, pin2, puk2;
  bool Any() const { return pin || puk || pin2 || puk2; }
};
// The standard "+CPINR: SIM PIN,3,3" lines.
PinRetries ParseCpinr(const std::vector<std::string>& lines);
// WAVECOM "+CPINC: pin,pin2,puk,puk2".
PinRetries ParseCpinc(const std::vector<std::string>& lines);
// Quectel "+QPINC: "SC",pin,puk" and "+QPINC: "P2",pin2,puk2".
PinRetries ParseQpinc(const std::vector<std::string>& lines);
// SIMCom "+SPIC: pin,pin2,puk,puk2".
PinRetries ParseSpic(const std::vector<std::string>& lines);
// Huawei "^CPIN: code,times,puk,pin,puk2,pin2".
PinRetries ParseHuaweiCpin(const std::vector<std::string>& lines);

struct ServiceCentre {
  std::string number;
  int type = -1;
};
std::optional<ServiceCentre> ParseServiceCentre(const std::vector<std::string>& lines);

// The SIM's ICCID from "+CCID:", "+QCCID:", "+ICCID:", "^ICCID:" or a plain digits line, and from
// the EF ICCID read by "+CRSM: 144,0,"98..."" (swapped digits, F filler).
std::optional<std::string> ParseIccid(const std::vector<std::string>& lines);

// The own numbers of "+CNUM:" lines.
std::vector<std::string> ParseOwnNumbers(const std::vector<std::string>& lines);

struct ModemTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::optional<int> quarters;  // time zone in quarters of an hour
  std::string Iso() const;      // "2026-12-04T10:00:00+01:00" (no zone when none)
};
// "+CCLK: "yy/MM/dd,hh:mm:ss±zz"" (the zone may be missing).
std::optional<ModemTime> ParseClock(const std::vector<std::string>& lines);
// The text AT+CCLK= takes: "yy/MM/dd,hh:mm:ss±zz".
std::string ClockText(const ModemTime& t);
// A zone of quarters of an hour as ±hh:mm.
std::string ZoneText(int quarters);

}  // namespace quandelstk::cli::answers
