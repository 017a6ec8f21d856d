#include "modem_errors.hpp"

#include <fmt/core.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace quandelstk::cli {

namespace {

// Mobile equipment errors (3GPP TS 27.007), general and packet-domain ones.
const std::map<int, const char*>& CmeNames() {
  static const std::map<int, const char*> names = {
      {0, "phone failure"},
      {1, "no connection to phone"},
      {2, "phone-adaptor link reserved"},
      {3, "operation not allowed"},
      {4, "operation not supported"},
      {5, "PH-SIM PIN required"},
      {6, "PH-FSIM PIN required"},
      {7, "PH-FSIM PUK required"},
      {10, "SIM not inserted"},
      {11, "SIM PIN required"},
      {12, "SIM PUK required"},
      {13, "SIM failure"},
      {14, "SIM busy"},
      {15, "SIM wrong"},
      {16, "incorrect password"},
      {17, "SIM PIN2 required"},
      {18, "SIM PUK2 required"},
      {20, "memory full"},
      {21, "invalid index"},
      {22, "not found"},
      {23, "memory failure"},
      {24, "text string too long"},
      {25, "invalid characters in text string"},
      {26, "dial string too long"},
      {27, "invalid characters in dial string"},
      {30, "no network service"},
      {31, "network timeout"},
      {32, "network not allowed - emergency calls only"},
      {40, "network personalization PIN required"},
      {41, "network personalization PUK required"},
      {42, "network subset personalization PIN required"},
      {43, "network subset personalization PUK required"},
      {44, "service provider personalization PIN required"},
      {45, "service provider personalization PUK required"},
      {46, "corporate personalization PIN required"},
      {47, "corporate personalization PUK required"},
      {48, "hidden key required"},
      {49, "EAP method not supported"},
      {50, "incorrect parameters"},
      {51, "command implemented but currently disabled"},
      {52, "command aborted by user"},
      {53, "not attached to network due to MT functionality restrictions"},
      {54, "modem not allowed - MT restricted to emergency calls only"},
      {55, "operation not allowed because of MT functionality restrictions"},
      {56, "fixed dial number only allowed - called number is not a fixed dial number"},
      {57, "temporarily out of service due to other MT usage"},
      {58, "language/alphabet not supported"},
      {59, "unexpected data value"},
      {60, "system failure"},
      {61, "data missing"},
      {62, "call barred"},
      {63, "message waiting indication subscription failure"},
      {100, "unknown"},
      {103, "illegal MS"},
      {106, "illegal ME"},
      {107, "GPRS services not allowed"},
      {108, "GPRS services and non-GPRS services not allowed"},
      {111, "PLMN not allowed"},
      {112, "location area not allowed"},
      {113, "roaming not allowed in this location area"},
      {114, "GPRS services not allowed in this PLMN"},
      {115, "no suitable cells in location area"},
      {122, "congestion"},
      {125, "not authorized for this CSG"},
      {126, "insufficient resources"},
      {127, "missing or unknown APN"},
      {128, "unknown PDP address or PDP type"},
      {129, "user authentication failed"},
      {130, "activation rejected by GGSN, Serving GW or PDN GW"},
      {131, "activation rejected, unspecified"},
      {132, "service option not supported"},
      {133, "requested service option not subscribed"},
      {134, "service option temporarily out of order"},
      {140, "feature not supported"},
      {141, "semantic error in the TFT operation"},
      {142, "syntactical error in the TFT operation"},
      {143, "unknown PDP context"},
      {144, "semantic errors in packet filter(s)"},
      {145, "syntactical errors in packet filter(s)"},
      {146, "PDP context without TFT already activated"},
      {148, "unspecified GPRS error"},
      {149, "PDP authentication failure"},
      {150, "invalid mobile class"},
      {171, "last PDN disconnection not allowed"},
      {172, "semantically incorrect message"},
      {173, "invalid mandatory information"},
      {174, "message type non-existent or not implemented"},
      {175, "conditional IE error"},
      {176, "protocol error, unspecified"},
      {177, "operator determined barring"},
      {178, "maximum number of PDP contexts reached"},
      {179, "requested APN not supported in current RAT and PLMN combination"},
      {180, "request rejected, bearer control mode violation"},
      {181, "unsupported QCI value"},
      {257, "network rejected request"},
      {258, "retry operation"},
      {259, "invalid deflected to number"},
      {260, "deflected to own number"},
      {261, "unknown subscriber"},
      {262, "service not available"},
      {263, "unknown class specified"},
      {264, "unknown network message"},
  };
  return names;
}

// Message service errors (3GPP TS 27.005): 0-127 are the network's RP causes, 128-255 the service
// centre's TP failure causes, from 300 the modem's own.
const std::map<int, const char*>& CmsNames() {
  static const std::map<int, const char*> names = {
      {1, "unassigned (unallocated) number"},
      {8, "operator determined barring"},
      {10, "call barred"},
      {17, "network failure"},
      {21, "short message transfer rejected"},
      {22, "memory capacity exceeded"},
      {27, "destination out of service"},
      {28, "unidentified subscriber"},
      {29, "facility rejected"},
      {30, "unknown subscriber"},
      {38, "network out of order"},
      {41, "temporary failure"},
      {42, "congestion"},
      {47, "resources unavailable, unspecified"},
      {50, "requested facility not subscribed"},
      {69, "requested facility not implemented"},
      {81, "invalid short message transfer reference value"},
      {95, "invalid message, unspecified"},
      {96, "invalid mandatory information"},
      {97, "message type non-existent or not implemented"},
      {98, "message not compatible with short message protocol state"},
      {99, "information element non-existent or not implemented"},
      {111, "protocol error, unspecified"},
      {127, "interworking, unspecified"},
      {128, "telematic interworking not supported"},
      {129, "short message type 0 not supported"},
      {130, "cannot replace short message"},
      {143, "unspecified TP-PID error"},
      {144, "data coding scheme (alphabet) not supported"},
      {145, "message class not supported"},
      {159, "unspecified TP-DCS error"},
      {160, "command cannot be actioned"},
      {161, "command unsupported"},
      {175, "unspecified TP-Command error"},
      {176, "TPDU not supported"},
      {192, "SC busy"},
      {193, "no SC subscription"},
      {194, "SC system failure"},
      {195, "invalid SME address"},
      {196, "destination SME barred"},
      {197, "SM rejected-duplicate SM"},
      {198, "TP-VPF not supported"},
      {199, "TP-VP not supported"},
      {208, "(U)SIM SMS storage full"},
      {209, "no SMS storage capability in (U)SIM"},
      {210, "error in MS"},
      {211, "memory capacity exceeded"},
      {212, "(U)SIM Application Toolkit busy"},
      {213, "(U)SIM data download error"},
      {255, "unspecified error cause"},
      {300, "ME failure"},
      {301, "SMS service of ME reserved"},
      {302, "operation not allowed"},
      {303, "operation not supported"},
      {304, "invalid PDU mode parameter"},
      {305, "invalid text mode parameter"},
      {310, "(U)SIM not inserted"},
      {311, "(U)SIM PIN required"},
      {312, "PH-(U)SIM PIN required"},
      {313, "(U)SIM failure"},
      {314, "(U)SIM busy"},
      {315, "(U)SIM wrong"},
      {316, "(U)SIM PUK required"},
      {317, "(U)SIM PIN2 required"},
      {318, "(U)SIM PUK2 required"},
      {320, "memory failure"},
      {321, "invalid memory index"},
      {322, "memory full"},
      {330, "SMSC address unknown"},
      {331, "no network service"},
      {332, "network timeout"},
      {340, "no +CNMA acknowledgement expected"},
      {500, "unknown error"},
  };
  return names;
}

std::string Hint(ModemError::Kind kind, int code) {
  if (kind == ModemError::Kind::kCms) {
    switch (code) {
      case 305: return "text mode cannot send this text as one message: use sms send --mode long, or the message command";
      case 304: return "the modem refused the PDU: check the number and the length of the text";
      case 310: case 313: case 315: return "check that a working SIM is inserted";
      case 311: return "the SIM waits for its PIN: quandelstk pin enter PIN";
      case 316: return "the SIM waits for its PUK: quandelstk pin unblock PUK NEWPIN";
      case 314: return "the SIM is busy: try again in a few seconds";
      case 322: case 208: return "the message memory is full: read (and so delete) stored messages";
      case 330: return "no service centre is set: quandelstk smsc NUMBER";
      case 331: case 332: case 38: case 41: case 42: return "the network is not reachable now: see quandelstk network";
      case 1: case 195: return "check the destination number";
      case 50: case 193: return "the subscription does not allow it: ask the operator";
      default: break;
    }
    if (code >= 512) return "a code of the modem's maker: see its AT command manual";
    return {};
  }
  switch (code) {
    case 10: case 13: case 15: return "check that a working SIM is inserted";
    case 11: return "the SIM waits for its PIN: quandelstk pin enter PIN";
    case 12: return "the SIM waits for its PUK: quandelstk pin unblock PUK NEWPIN";
    case 14: return "the SIM is busy: try again in a few seconds";
    case 16: return "wrong PIN or PUK; quandelstk pin status shows the tries left before trying again";
    case 17: case 18: return "this needs the SIM's PIN2 (or its PUK2)";
    case 30: case 31: case 32: return "the network is not reachable now: see quandelstk network";
    case 20: return "the memory is full";
    case 4: return "this modem does not offer the command";
    default: break;
  }
  if (code >= 512) return "a code of the modem's maker: see its AT command manual";
  return {};
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\"");
  if (b == std::string_view::npos) return {};
  return std::string(s.substr(b, s.find_last_not_of(" \t\"") - b + 1));
}

ModemError Make(ModemError::Kind kind, std::optional<int> code, std::string words) {
  ModemError e;
  e.kind = kind;
  const auto& table = kind == ModemError::Kind::kCme ? CmeNames() : CmsNames();
  if (!code) {
    // The named form: find its code, matching the words without regard to case.
    const std::string wanted = Lower(words);
    for (const auto& [c, name] : table)
      if (Lower(name) == wanted) code = c;
  }
  e.code = code;
  if (code) {
    if (const auto it = table.find(*code); it != table.end()) {
      e.name = it->second;
      e.known = true;
    }
    e.hint = Hint(kind, *code);
  }
  if (!e.known) e.name = words.empty() ? "not in the table of standard codes" : words;
  return e;
}

}  // namespace

const char* CmeErrorName(int code) {
  const auto it = CmeNames().find(code);
  return it == CmeNames().end() ? nullptr : it->second;
}

const char* CmsErrorName(int code) {
  const auto it = CmsNames().find(code);
  return it == CmsNames().end() ? nullptr : it->second;
}

std::string ModemError::Text() const {
  std::string text = Marker() + ": " + (code ? std::to_string(*code) + " (" + name + ")" : name);
  if (code && !known) text = Marker() + ": " + std::to_string(*code) + " (not in the table of standard codes)";
  if (!hint.empty()) text += "\n  hint: " + hint;
  return text;
}

nlohmann::json ModemError::Json() const {
  nlohmann::json j = {{"kind", kind == Kind::kCme ? "cme" : "cms"},
                      {"code", code ? nlohmann::json(*code) : nlohmann::json(nullptr)},
                      {"name", known ? nlohmann::json(name) : nlohmann::json(nullptr)},
                      {"description", code ? Marker() + ": " + std::to_string(*code) : Marker() + ": " + name}};
  if (!hint.empty()) j["hint"] = hint;
  return j;
}

std::optional<ModemError> ErrorOfLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) line.remove_suffix(1);
  for (const auto& [marker, kind] : {std::pair{std::string_view("+CME ERROR:"), ModemError::Kind::kCme},
                                     std::pair{std::string_view("+CMS ERROR:"), ModemError::Kind::kCms}}) {
    const auto at = line.find(marker);
    if (at == std::string_view::npos) continue;
    const std::string rest = Trim(line.substr(at + marker.size()));
    if (rest.empty()) return std::nullopt;
    if (std::all_of(rest.begin(), rest.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
      if (rest.size() > 6) return std::nullopt;
      return Make(kind, std::stoi(rest), "");
    }
    return Make(kind, std::nullopt, rest);
  }
  return std::nullopt;
}

std::optional<ModemError> ErrorOfAnswer(std::string_view answer) {
  std::optional<ModemError> last;
  std::size_t start = 0;
  for (std::size_t i = 0; i < answer.size(); ++i) {
    if (answer[i] != '\r' && answer[i] != '\n') continue;
    if (auto e = ErrorOfLine(answer.substr(start, i - start))) last = e;
    start = i + 1;
  }
  return last;
}

bool NumberCharacter(char c, std::size_t i, NumberUse use) {
  if (c >= '0' && c <= '9') return true;
  if (c == '+') return i == 0;
  return use == NumberUse::kPhonebook && (c == '*' || c == '#');
}

std::string NumberProblem(std::string_view number, NumberUse use) {
  if (number.empty()) return "the number is empty";
  for (std::size_t i = 0; i < number.size(); ++i)
    if (!NumberCharacter(number[i], i, use))
      return fmt::format("\"{}\" is not a phone number: '{}' at position {} ({})", number, number[i], i + 1,
                         use == NumberUse::kPhonebook ? "a leading +, digits, * and # only"
                                                      : "a leading + and digits only");
  const std::size_t digits = number.size() - (number[0] == '+' ? 1 : 0);
  if (digits == 0) return fmt::format("\"{}\" is not a phone number: no digits", number);
  if (digits > 20) return fmt::format("\"{}\" is not a phone number: {} digits, at most 20", number, digits);
  return {};
}

}  // namespace quandelstk::cli
