// pdu encode / pdu decode: the PDU codec offline, no modem needed.
#include <fmt/core.h>

#include <cctype>

#include "channel/session.hpp"
#include "charset.hpp"
#include "cli.hpp"
#include "message_view.hpp"
#include "pdu/pdu.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/messages.hpp"

namespace quandelstk::cli {

namespace {

constexpr std::size_t kPartLength = 153;

void CheckHex(const std::string& hex) {
  if (hex.empty()) throw UsageError("the PDU is empty");
  const auto bad = hex.find_first_not_of("0123456789ABCDEFabcdef");
  if (bad != std::string::npos)
    throw UsageError(fmt::format("\"{}\" at position {} is not a hex digit", hex[bad], bad + 1));
  if (hex.size() % 2 != 0) throw UsageError(fmt::format("the PDU has {} hex digits; octets need an even number", hex.size()));
}

nlohmann::json Part(int length, const std::string& pdu) { return {{"length", length}, {"pdu", pdu}}; }

void Encode(Cli& cli, const std::string& number, const std::string& utf8_text, bool ucs2, bool long_message,
            int ref) {
  if (number.empty()) throw UsageError("the number is empty");
  nlohmann::json parts = nlohmann::json::array();
  std::string human;
  if (long_message) {
    const std::string text = Utf8ToCp1252(utf8_text);
    if (text.empty()) throw UsageError("the text is empty");
    const std::size_t total = (text.size() + kPartLength - 1) / kPartLength;
    if (total > 255) throw UsageError(fmt::format("the text needs {} parts; a long message has at most 255", total));
    for (std::size_t i = 0; i < total; ++i) {
      const std::string part = text.substr(i * kPartLength, kPartLength);
      if (!pdu::Build_LMS_PDU(number, part, static_cast<std::int16_t>(ref), static_cast<std::int16_t>(total),
                              static_cast<std::int16_t>(i + 1)))
        throw UsageError(fmt::format("part {} could not be built", i + 1));
      const auto& s = channel::CurrentSession();
      parts.push_back(Part(s.LMS_PDU_Length, s.LMS_PDU));
      human += fmt::format("part {} of {}: length {}\n{}\n", i + 1, total, s.LMS_PDU_Length, s.LMS_PDU);
    }
  } else {
    const std::string text = ucs2 ? Utf8ToUcs2Hex(utf8_text) : Utf8ToCp1252(utf8_text);
    std::uint8_t length = 0;
    std::string pdu;
    if (!pdu::Build_SMS_PDU(text, number, ucs2 ? 16 : 7, length, pdu)) {
      const std::size_t chars = ucs2 ? text.size() / 4 : text.size();
      const std::string why = fmt::format("the text has {} characters; one {} message holds at most {}{}", chars,
                                          ucs2 ? "UCS2" : "7-bit", ucs2 ? 70 : 160, ucs2 ? "" : " (use --long to split it)");
      // With --json the failure is still the one object of the command.
      if (cli.out.Structured()) cli.Report("pdu encode", false, false, why);
      else fmt::print(stderr, "quandelstk pdu encode: {}\n", why);
      cli.exit_code = kFailureValue;
      return;
    }
    parts.push_back(Part(length, pdu));
    human = fmt::format("length {}\n{}\n", length, pdu);
  }
  human.pop_back();
  cli.Report("pdu encode", nlohmann::json{{"parts", parts}}, true, human);
}

template <typename T>
nlohmann::json Optional(const std::optional<T>& v) {
  return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

template <typename T>
std::string OptionalText(const std::optional<T>& v) {
  if (!v) return "(unset)";
  if constexpr (std::is_same_v<T, bool>) return *v ? "true" : "false";
  else return std::to_string(*v);
}

// The class keeps the time zone as the PDU holds it, two swapped semi-octets after a "+"
// ("19:37:41+84"): quarters of an hour, the tens digit's high bit the sign. Shown as ±hh:mm.
nlohmann::json TimeZoneOf(const std::string& stamp_time) {
  const auto plus = stamp_time.rfind('+');
  if (plus == std::string::npos || plus + 3 != stamp_time.size()) return nullptr;
  const auto digit = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) ? std::stoi(std::string(1, c), nullptr, 16) : -1; };
  const int tens = digit(stamp_time[plus + 1]), units = digit(stamp_time[plus + 2]);
  if (tens < 0 || units < 0 || units > 9 || (tens & 7) > 9) return nullptr;
  const int quarters = (tens & 7) * 10 + units;
  return fmt::format("{}{:02}:{:02}", tens & 8 ? '-' : '+', quarters / 4, quarters % 4 * 15);
}

std::string Clock(const std::string& stamp_time) {
  const auto plus = stamp_time.rfind('+');
  return plus == std::string::npos ? stamp_time : stamp_time.substr(0, plus);
}

// The exact decoder's reading, then the standards-complete one's: a PDU the first refuses still
// gets the second.
void DecodeBoth(Cli& cli, const std::string& hex);

void Decode(Cli& cli, std::string hex, bool full) {
  CheckHex(hex);
  for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (full) {
    DecodeBoth(cli, hex);
    return;
  }
  const DecodedPdu d = pdu::Decode_PDU(hex);
  const nlohmann::json result = {
      {"ServiceCentre", Cp1252ToUtf8(d.ServiceCentre)}, {"Originator", Cp1252ToUtf8(d.Originator)},
      {"StampDate", d.StampDate},                        {"StampTime", d.StampTime},
      {"TimeZone", TimeZoneOf(d.StampTime)},
      {"Text", Cp1252ToUtf8(d.Text)},                    {"IsLMS", Optional(d.IsLMS)},
      {"LMS_Reference", Optional(d.LMS_Reference)},      {"LMS_Total", Optional(d.LMS_Total)},
      {"LMS_Sequence", Optional(d.LMS_Sequence)}};
  const nlohmann::json zone = TimeZoneOf(d.StampTime);
  const std::string human = fmt::format(
      "ServiceCentre  {}\nOriginator     {}\nStampDate      {}\nStampTime      {}\nTimeZone       {}\nText           {}\n"
      "IsLMS          {}\nLMS_Reference  {}\nLMS_Total      {}\nLMS_Sequence   {}",
      Cp1252ToUtf8(d.ServiceCentre), Cp1252ToUtf8(d.Originator), d.StampDate, Clock(d.StampTime),
      zone.is_null() ? "--" : zone.get<std::string>(),
      EscapeControls(Cp1252ToUtf8(d.Text)), OptionalText(d.IsLMS), OptionalText(d.LMS_Reference),
      OptionalText(d.LMS_Total), OptionalText(d.LMS_Sequence));
  cli.Report("pdu decode", result, true, human);
}

void DecodeBoth(Cli& cli, const std::string& hex) {
  nlohmann::json exact;
  std::string exact_human;
  try {
    const DecodedPdu d = pdu::Decode_PDU(hex);
    exact = {{"ServiceCentre", Cp1252ToUtf8(d.ServiceCentre)}, {"Originator", Cp1252ToUtf8(d.Originator)},
             {"StampDate", d.StampDate},                        {"StampTime", d.StampTime},
             {"Text", Cp1252ToUtf8(d.Text)},                    {"IsLMS", Optional(d.IsLMS)},
             {"LMS_Reference", Optional(d.LMS_Reference)},      {"LMS_Total", Optional(d.LMS_Total)},
             {"LMS_Sequence", Optional(d.LMS_Sequence)}};
    exact["TimeZone"] = TimeZoneOf(d.StampTime);
    exact_human = fmt::format("  Originator {}  {} {} {}\n  Text       {}", Cp1252ToUtf8(d.Originator), d.StampDate,
                              Clock(d.StampTime), exact["TimeZone"].is_null() ? "" : exact["TimeZone"].get<std::string>(),
                              EscapeControls(Cp1252ToUtf8(d.Text)));
  } catch (const RuntimeError& e) {
    exact = {{"error", {{"number", e.Number()}, {"description", Cp1252ToUtf8(e.Description())}}}};
    exact_human = fmt::format("  refused: run-time error {}: {}", e.Number(), Cp1252ToUtf8(e.Description()));
  }
  const messages::Message m = messages::DecodePdu(hex);
  std::string full_human = fmt::format("  {}{}\n{}", messages::MessageTypeName(m.type),
                                       m.service_centre.empty() ? "" : ", centre " + m.service_centre, MessageText(m, -1, "PDU"));
  if (m.concatenation)
    full_human += fmt::format("\n  part {} of {}, reference {} ({}-bit)", m.concatenation->sequence,
                              m.concatenation->total, m.concatenation->reference,
                              m.concatenation->wide_reference ? 16 : 8);
  if (m.type == messages::MessageType::Submit && m.validity.format != messages::Validity::Format::None)
    full_human += "\n  valid " + m.validity.Text();
  cli.Report("pdu decode", {{"exact", exact}, {"full", MessageJson(m)}}, true,
             "The SMS class's decoder:\n" + exact_human + "\nThe standards-complete decoder:\n" + full_human);
}

}  // namespace

void AddPduCommands(CLI::App& app, Cli& cli) {
  auto* pdu = app.add_subcommand("pdu", "Encode and decode SMS PDUs offline (no modem needed)");
  pdu->require_subcommand(1);

  auto* encode = pdu->add_subcommand("encode", "Build the SMS-SUBMIT PDU(s) for a number and a text");
  encode->add_option("NUMBER", "destination number, for example +15550100123")->required()->check(PhoneNumber());
  encode->add_option("TEXT", "the message text (UTF-8)")->required();
  encode->add_flag("--ucs2")->description("code the text as UCS2 (70 characters at most)");
  auto* long_flag = encode->add_flag("--long")->description("split the text into concatenated 7-bit parts of 153 characters");
  encode->add_option("--ref", "concatenation reference, 0 to 255")->default_val(0)->check(WholeNumber(0, 255))->needs(long_flag);
  encode->get_option("--ucs2")->excludes(long_flag);
  encode->callback([&cli, encode] {
    cli.Run("pdu encode", false, [&cli, encode] {
      Encode(cli, encode->get_option("NUMBER")->as<std::string>(), encode->get_option("TEXT")->as<std::string>(),
             encode->get_option("--ucs2")->as<bool>(), encode->get_option("--long")->as<bool>(),
             encode->get_option("--ref")->as<int>());
    });
  });

  auto* decode = pdu->add_subcommand("decode", "Decode a stored message PDU (SMS-DELIVER or SMS-SUBMIT)");
  decode->add_option("HEX", "the PDU as hex text, service-centre field first")->required();
  decode->add_flag("--full")->description(
      "also decode it with the standards-complete decoder (every coding, status reports, UTF-8), side by side");
  decode->callback([&cli, decode] {
    cli.Run("pdu decode", false, [&cli, decode] {
      Decode(cli, decode->get_option("HEX")->as<std::string>(), decode->get_option("--full")->as<bool>());
    });
  });
}

}  // namespace quandelstk::cli
