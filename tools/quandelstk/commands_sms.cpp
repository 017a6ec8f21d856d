// sms send / read / report / online. One SMS object lives as long as the CLI (or the shell): an
// SMS object's destruction closes the thread's port, so commands must not make short-lived ones.
#include <fmt/core.h>

#include <cctype>
#include <string>
#include <vector>

#include "charset.hpp"
#include "cli.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/sms.hpp"

namespace quandelstk::cli {

namespace {

constexpr std::size_t kPartLength = 153;

nlohmann::json Properties(const SMS& sms) {
  nlohmann::json dr_status = nullptr;
  try {
    dr_status = static_cast<std::int32_t>(sms.DRStatus());
  } catch (const RuntimeError&) {
    // never stored: reading it is a type mismatch, shown as null
  }
  const MessageValue& to_message = sms.ToMessage();
  nlohmann::json message = nullptr;
  if (to_message.IsText()) message = Cp1252ToUtf8(to_message.Text());
  else if (to_message.IsNumber()) message = to_message.Number();
  const auto u = [](const std::string& s) { return Cp1252ToUtf8(s); };
  return {{"IDD", u(sms.IDD())},
          {"MN", u(sms.MN())},
          {"Msg", u(sms.Msg())},
          {"SMSC", u(sms.SMSC())},
          {"SCTS", u(sms.SCTS())},
          {"MR", u(sms.MR())},
          {"DRMsgRef", u(sms.DRMsgRef())},
          {"DRMNRecipient", u(sms.DRMNRecipient())},
          {"DRRDate", u(sms.DRRDate())},
          {"DRRTime", u(sms.DRRTime())},
          {"DRFDate", u(sms.DRFDate())},
          {"DRFTime", u(sms.DRFTime())},
          {"DRStatus", dr_status},
          {"ToNumber", u(sms.ToNumber())},
          {"ToMessage", message},
          {"IsLMS", sms.IsLMS()},
          {"LMS_Reference", sms.LMS_Reference()},
          {"LMS_Total", sms.LMS_Total()},
          {"LMS_Sequence", sms.LMS_Sequence()}};
}

// The properties each call sets when it succeeds.
const std::vector<std::string> kSent = {"MR"};
const std::vector<std::string> kRead = {"MN", "Msg", "SMSC", "SCTS"};
const std::vector<std::string> kReadPdu = {"MN",    "Msg",           "SMSC",      "SCTS",
                                           "IsLMS", "LMS_Reference", "LMS_Total", "LMS_Sequence"};
const std::vector<std::string> kReport = {"DRMsgRef", "DRMNRecipient", "DRRDate", "DRRTime",
                                          "DRFDate",  "DRFTime",       "DRStatus"};

// What a successful call set: each of these properties with its value after the call, whether or
// not it had that value before; and beside a raw text that carries line ends ("MR": "0\r\n\r\n")
// its parsed value under the lower-case name ("mr": 0). Nothing for a call that failed.
nlohmann::json SetBy(bool success, const std::vector<std::string>& names, const nlohmann::json& after) {
  nlohmann::json set = nlohmann::json::object();
  if (!success) return set;
  for (const std::string& key : names) {
    const nlohmann::json& value = after.at(key);
    set[key] = value;
    if (!value.is_string()) continue;
    const std::string raw = value.get<std::string>();
    if (raw.find_first_of("\r\n") == std::string::npos) continue;
    std::string text = raw;
    const auto b = text.find_first_not_of(" \r\n");
    text = b == std::string::npos ? "" : text.substr(b, text.find_last_not_of(" \r\n") - b + 1);
    std::string lower = key;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool number = !text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string::npos;
    set[lower] = number ? nlohmann::json(std::stoi(text)) : nlohmann::json(text);
  }
  return set;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

void Send(Cli& cli, const std::string& number_utf8, const std::string& text_utf8, const std::string& mode, int ref,
          bool hex) {
  SMS& sms = cli.Sms();
  const std::string number = Utf8ToCp1252(number_utf8);
  bool r = false;
  if (mode == "text") {
    r = sms.SendSMS(number, Utf8ToCp1252(text_utf8));
  } else if (mode == "7bit") {
    r = sms.SendSMSText(number, Utf8ToCp1252(text_utf8));
  } else if (mode == "ucs2") {
    std::string message = hex ? text_utf8 : Utf8ToUcs2Hex(text_utf8);
    if (hex && message.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
      throw UsageError("--hex: the text must be UCS2 hex, four digits per character (for example 00480069)");
    r = sms.SendSMSUnicode(number, message);
  } else {
    const std::string text = Utf8ToCp1252(text_utf8);
    const std::size_t parts = (text.size() + kPartLength - 1) / kPartLength;
    if (parts > 255) throw UsageError(fmt::format("the text needs {} parts; a long message has at most 255", parts));
    cli.out.Progress(fmt::format("sending {} part{} of up to 153 characters", parts, parts == 1 ? "" : "s"));
    r = sms.SendLMSText(number, text, static_cast<std::int16_t>(ref));
  }
  cli.Report("sms send", r, r,
             r ? fmt::format("true: sent, message reference {}", Trimmed(Cp1252ToUtf8(sms.MR())))
               : cli.LastModemError() ? "false: not sent"  // the modem's error is named beside it
                                      : "false: not sent (--trace shows the modem's answer)",
             SetBy(r, kSent, Properties(sms)));
}

void Read(Cli& cli, bool pdu) {
  SMS& sms = cli.Sms();
  const bool r = pdu ? sms.ReadSMSText() : sms.ReadSMS();
  std::string human = "false: no message read";
  if (r) {
    human = fmt::format("From     {}\nSent     {}\nCentre   {}\nText     {}", Cp1252ToUtf8(sms.MN()),
                        Cp1252ToUtf8(sms.SCTS()), Cp1252ToUtf8(sms.SMSC()), Cp1252ToUtf8(sms.Msg()));
    if (pdu && sms.IsLMS())
      human += fmt::format("\nPart     {} of {} (reference {})", sms.LMS_Sequence(), sms.LMS_Total(),
                           sms.LMS_Reference());
  }
  cli.Report(pdu ? "sms read --pdu" : "sms read", r, r, human, SetBy(r, pdu ? kReadPdu : kRead, Properties(sms)));
}

void Report(Cli& cli, const std::string& what) {
  SMS& sms = cli.Sms();
  if (what == "on" || what == "off") {
    const bool r = what == "on" ? sms.DeliveryReportOn() : sms.DeliveryReportOff();
    cli.Report("sms report " + what, r, r, r ? "true" : "false", nlohmann::json::object());
    return;
  }
  const bool r = sms.GetDeliveryReport();
  std::string human = "false: no report fetched";
  if (r) {
    std::string status = "(none)";
    try {
      switch (sms.DRStatus()) {
        case DeliveryStatus::Delivered: status = "Delivered"; break;
        case DeliveryStatus::Undelivered: status = "Undelivered"; break;
        default: status = "Unknown"; break;
      }
    } catch (const RuntimeError&) {
    }
    human = fmt::format("Reference  {}\nRecipient  {}\nSubmitted  {} {}\nDone       {} {}\nStatus     {}",
                        Cp1252ToUtf8(sms.DRMsgRef()), Cp1252ToUtf8(sms.DRMNRecipient()), sms.DRRDate(),
                        sms.DRRTime(), sms.DRFDate(), sms.DRFTime(), status);
  }
  cli.Report("sms report get", r, r, human, SetBy(r, kReport, Properties(sms)));
}

void Online(Cli& cli, const std::string& number_utf8, int wait) {
  std::string number = Utf8ToCp1252(number_utf8);
  std::int16_t seconds = static_cast<std::int16_t>(wait);
  cli.out.Progress(fmt::format("calling {} and waiting {} s", number_utf8, wait));
  const bool r = cli.Sms().IsOnline(number, seconds);
  cli.Report("sms online", r, r, r ? "true: the number rings or answers" : "false: not reachable",
             nlohmann::json::object());
}

}  // namespace

void AddSmsCommands(CLI::App& app, Cli& cli) {
  auto* sms = app.add_subcommand("sms", "Send and read short messages, delivery reports, the call test");
  sms->require_subcommand(1);

  auto* send = sms->add_subcommand("send", "Send a message");
  send->add_option("NUMBER", "destination number, for example +15550100123")->required()->check(PhoneNumber());
  send->add_option("TEXT", "the message (UTF-8)")->required();
  send->add_option("--mode",
                   "text (text mode, the modem codes it), 7bit (one PDU, 160 characters), ucs2 (one PDU, 70 "
                   "characters, any script), long (concatenated 7-bit parts of 153 characters)")
      ->default_val("text")
      ->check(CLI::IsMember({"text", "7bit", "ucs2", "long"}));
  send->add_option("--ref", "concatenation reference of a long message, 0 to 255")
      ->default_val(0)
      ->check(WholeNumber(0, 255));
  send->add_flag("--hex")->description("with --mode ucs2: TEXT is UCS2 hex already, passed as it is");
  send->callback([&cli, send] {
    cli.Run("sms send", true, [&cli, send] {
      Send(cli, send->get_option("NUMBER")->as<std::string>(), send->get_option("TEXT")->as<std::string>(),
           send->get_option("--mode")->as<std::string>(), send->get_option("--ref")->as<int>(),
           send->get_option("--hex")->as<bool>());
    });
  });

  auto* read = sms->add_subcommand("read", "Read the first stored message and delete it from the SIM");
  read->add_flag("--pdu")->description("read in PDU mode (decodes UCS2 and concatenated parts)");
  read->callback([&cli, read] {
    cli.Run("sms read", true, [&cli, read] { Read(cli, read->get_option("--pdu")->as<bool>()); });
  });

  auto* report = sms->add_subcommand("report", "Delivery reports: on, off, or get the first stored one");
  report->add_option("WHAT", "on, off or get")->required()->check(CLI::IsMember({"on", "off", "get"}));
  report->callback([&cli, report] {
    cli.Run("sms report", true, [&cli, report] { Report(cli, report->get_option("WHAT")->as<std::string>()); });
  });

  auto* online = sms->add_subcommand("online", "Call a number to see whether it rings or answers, then hang up");
  online->add_option("NUMBER", "the number to call")->required()->check(PhoneNumber());
  online->add_option("--wait", "seconds to wait before asking for the call state, 0 to 32")
      ->default_val(10)
      ->check(WholeNumber(0, 32));
  online->callback([&cli, online] {
    cli.Run("sms online", true, [&cli, online] {
      Online(cli, online->get_option("NUMBER")->as<std::string>(), online->get_option("--wait")->as<int>());
    });
  });
}

}  // namespace quandelstk::cli
