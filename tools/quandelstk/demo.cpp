// demo: a guided tour of what the library does, against the built-in simulated modem by default.
#include <fmt/core.h>

#include "charset.hpp"
#include "cli.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/platform.hpp"
#include "quandelstk/sms.hpp"
#include "quandelstk/stk.hpp"
#include "stk_view.hpp"

namespace quandelstk::cli {

namespace {

void Step(const Cli& cli, const std::string& title) {
  if (!cli.opts.json) fmt::print("\n== {}\n", title);
}

void Show(const Cli& cli, const std::string& what, const std::string& value) {
  if (!cli.opts.json) fmt::print("   {:<28} {}\n", what, value);
}

std::string Shown(const std::string& bytes) {
  std::string text = Cp1252ToUtf8(bytes);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return EscapeControls(text);
}

// The simulated network hands a message sent to the SIM's own number back after a moment.
void WaitForDelivery(Cli& cli, int seconds) {
  cli.out.Progress(fmt::format("waiting {} s for the network to deliver", seconds));
  CurrentPlatform().Sleep(seconds * 1000);
}

void ShowRead(Cli& cli, const SMS& sms, bool pdu) {
  Show(cli, "MN (sender)", Cp1252ToUtf8(sms.MN()));
  Show(cli, "SCTS (time stamp)", Cp1252ToUtf8(sms.SCTS()));
  Show(cli, "SMSC (service centre)", Cp1252ToUtf8(sms.SMSC()));
  Show(cli, "Msg", Shown(sms.Msg()));
  if (pdu)
    Show(cli, "IsLMS / reference / part",
         fmt::format("{} / {} / {} of {}", sms.IsLMS() ? "true" : "false", sms.LMS_Reference(), sms.LMS_Sequence(),
                     sms.LMS_Total()));
}

void SmsTour(Cli& cli, const std::string& own) {
  SMS& sms = cli.Sms();

  Step(cli, "SMS.SendSMS (text mode) to the SIM's own number, then SMS.ReadSMS");
  Show(cli, "SendSMS", sms.SendSMS(own, "Hello from QuandelSTK6") ? "true, MR " + Shown(sms.MR()) : "false");
  WaitForDelivery(cli, 3);
  Show(cli, "ReadSMS", sms.ReadSMS() ? "true (read, then deleted from the SIM)" : "false");
  ShowRead(cli, sms, false);

  Step(cli, "SMS.SendLMSText: 400 characters as concatenated parts, read back with SMS.ReadSMSText");
  std::string long_text;
  for (int i = 0; long_text.size() < 400; ++i) long_text += fmt::format("Part of a long message, line {}. ", i + 1);
  long_text.resize(400);
  Show(cli, "SendLMSText (reference 42)", sms.SendLMSText(own, long_text, 42) ? "true: 3 parts" : "false");
  WaitForDelivery(cli, 3);
  for (int part = 1; part <= 3; ++part) {
    Show(cli, fmt::format("ReadSMSText #{}", part), sms.ReadSMSText() ? "true" : "false");
    ShowRead(cli, sms, true);
  }

  Step(cli, "SMS.SendSMSUnicode: a UCS2 message, read back in PDU mode");
  const std::string ucs2 = Utf8ToUcs2Hex("Grüße, 1 € — UCS2");
  Show(cli, "SendSMSUnicode", sms.SendSMSUnicode(own, ucs2) ? "true (" + ucs2 + ")" : "false");
  WaitForDelivery(cli, 3);
  Show(cli, "ReadSMSText", sms.ReadSMSText() ? "true" : "false");
  ShowRead(cli, sms, false);  // a message without a header leaves the concatenation properties as they were

  Step(cli, "Delivery reports: SMS.DeliveryReportOn, a message, SMS.GetDeliveryReport");
  Show(cli, "DeliveryReportOn", sms.DeliveryReportOn() ? "true" : "false");
  const bool sent = sms.SendSMS("+15550100456", "Please confirm delivery");
  const std::string reference = Shown(sms.MR());
  Show(cli, "SendSMS", sent ? "true, MR " + reference : "false");
  WaitForDelivery(cli, 5);
  // The PDU sends above asked for reports too, and stored ones come oldest first: each read takes
  // (and deletes) one, until the report for this message's reference is the one read.
  bool got = false;
  int skipped = 0;
  while (sent && skipped < 8 && (got = sms.GetDeliveryReport()) && Shown(sms.DRMsgRef()) != reference) ++skipped;
  got = got && Shown(sms.DRMsgRef()) == reference;
  Show(cli, "GetDeliveryReport",
       got ? fmt::format("true: the report for MR {} ({} older report{} read first)", reference, skipped,
                         skipped == 1 ? "" : "s")
           : "false");
  if (got) {
    Show(cli, "DRMsgRef", Shown(sms.DRMsgRef()));
    Show(cli, "DRMNRecipient", Shown(sms.DRMNRecipient()));
    Show(cli, "DRRDate DRRTime", sms.DRRDate() + " " + sms.DRRTime());
    Show(cli, "DRFDate DRFTime", sms.DRFDate() + " " + sms.DRFTime());
    Show(cli, "DRStatus", sms.DRStatus() == DeliveryStatus::Delivered ? "Delivered" : "not delivered");
  }
  Show(cli, "DeliveryReportOff", sms.DeliveryReportOff() ? "true" : "false");

  Step(cli, "SMS.IsOnline: a reachability test by call");
  std::string number = "+15550100456";
  std::int16_t wait = 5;
  Show(cli, "IsOnline +15550100456 (5 s)", sms.IsOnline(number, wait) ? "true: it rings or answers" : "false");
}

// The simulated SIM's menu: "Services" (2) holds "Top up" (2), which asks for a voucher code.
void StkTour(Cli& cli) {
  SIMToolKit& stk = cli.Toolkit();
  const auto yes_no = [](bool r) { return std::string(r ? "true" : "false"); };
  const auto menu = [](const std::string& name, const std::string& list) {
    std::string items;
    for (const MenuItem& item : MenuItems(list)) items += (items.empty() ? "" : ", ") + item.id + " " + item.label;
    return "\"" + Cp1252ToUtf8(name) + "\": " + items;
  };
  Step(cli, "SIMToolKit: activate, main menu, a sub menu, an input request, the response, deactivate");
  Show(cli, "ActivateSTK", yes_no(stk.ActivateSTK()));
  Show(cli, "MainMenuDisplay", yes_no(stk.MainMenuDisplay()));
  Show(cli, "MainMenuName / MainMenuList", menu(stk.MainMenuName(), stk.MainMenuList()));
  Show(cli, "MainMenuSelect 2", yes_no(stk.MainMenuSelect(2)));
  Show(cli, "STKStatusGet", StatusName(stk.STKStatusGet()));
  Show(cli, "SubMenuDisplay", yes_no(stk.SubMenuDisplay()));
  Show(cli, "SubMenuName / SubMenuList", menu(stk.SubMenuName(), stk.SubMenuList()));
  Show(cli, "SubMenuSelect 2", yes_no(stk.SubMenuSelect(2)));
  Show(cli, "STKStatusGet", StatusName(stk.STKStatusGet()));
  Show(cli, "InputRequestDisplay", Cp1252ToUtf8(stk.InputRequestDisplay()));
  Show(cli, "InputSubmit 1234", yes_no(stk.InputSubmit("1234")));
  Show(cli, "STKStatusGet", StatusName(stk.STKStatusGet()));
  Show(cli, "ResponseDisplay", Cp1252ToUtf8(stk.ResponseDisplay()));
  Show(cli, "InputSubmit OK (confirms it)", yes_no(stk.InputSubmit("OK")));
  Show(cli, "STKStatusGet", StatusName(stk.STKStatusGet()));
  Show(cli, "DeactivateSTK", yes_no(stk.DeactivateSTK()) + " (message settings restored)");
  if (!cli.opts.json) fmt::print("   (quandelstk stk browse walks the same menus interactively)\n");
}

void RunDemo(Cli& cli) {
  cli.Connect();
  if (!cli.opts.json)
    fmt::print("QuandelSTK6 guided tour on {}.\n",
               cli.OnSimulator() ? "the built-in simulated modem (virtual time: pauses cost no real time)"
                                 : "port " + cli.opts.port);

  Step(cli, "Modem.Init: speed probe, maker, SIM PIN, message settings");
  if (!cli.Initialise()) return;
  Show(cli, "Init", "OK");

  Step(cli, "Modem queries");
  Modem modem;
  static const char* const kLevels[] = {"0 (-113 dBm or less)", "1 (-111 dBm)", "2 (-109 to -53 dBm)",
                                        "3 (-51 dBm or more)"};
  const std::int16_t signal = modem.SignalStrength();
  Show(cli, "SignalStrength", signal >= 0 ? kLevels[signal] : "-1 (unknown)");
  Show(cli, "OperatorName", Cp1252ToUtf8(modem.OperatorName()));
  Show(cli, "IsConnectToGSM", modem.IsConnectToGSM() ? "true" : "false");
  Show(cli, "GetIMSI", Cp1252ToUtf8(modem.GetIMSI()));
  const std::string own = modem.GetMSISDN();
  Show(cli, "GetMSISDN", Cp1252ToUtf8(own));

  if (cli.OnSimulator()) {
    SmsTour(cli, own);
    StkTour(cli);
    UssdAndPhonebookTour(cli);
  } else if (!cli.opts.json) {
    fmt::print("\n(The SMS, toolkit, USSD and phonebook parts of the tour run only on the simulated modem: they "
               "send messages, walk its SIM's menus, dial codes and change the SIM.)\n");
  }

  Step(cli, "Modem.ShutDown");
  Show(cli, "ShutDown", modem.ShutDown() ? "true (port closed)" : "false");
  cli.Report("demo", true, true, "\nThe tour is complete.");
}

}  // namespace

void AddDemoCommand(CLI::App& app, Cli& cli) {
  auto* cmd = app.add_subcommand("demo", "A guided tour: Init, the modem queries, and (on the simulated modem) SMS in every mode, "
                                          "the SIM toolkit, USSD and the phonebook");
  cmd->callback([&cli] { cli.Run("demo", false, [&cli] { RunDemo(cli); }); });
}

}  // namespace quandelstk::cli
