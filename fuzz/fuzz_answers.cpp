// Every answer parser of the five classes, driven through their public methods on a modem that
// answers with the fuzzer's bytes. The first byte picks the call, the second its argument, the rest
// is the modem's side (see fuzzed_modem.hpp). Each call must return one of its documented values, or
// (without a trap) raise a RuntimeError with a documented number, and no exchange may outlast its
// limit on the virtual clock.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "channel/session.hpp"
#include "fuzz_support.hpp"
#include "quandelstk/enums.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/phonebook.hpp"
#include "quandelstk/sms.hpp"
#include "quandelstk/stk.hpp"
#include "quandelstk/ussd.hpp"
#include "support/exchange_limits.hpp"

namespace quandelstk::fuzzing {

namespace {

constexpr const char* kNumber = "+15550100123";

void RequireTimely(Bench& bench, int listen_seconds, const char* call) {
  std::vector<testing::HeardLine> lines;
  for (const auto& l : bench.Modem().Lines()) lines.push_back({l.at, l.slept, l.text});
  auto& p = bench.Platform();
  const std::string overrun = testing::OverrunExchange(lines, 0, p.NowMs(), p.SleptMs(), listen_seconds);
  Require(overrun.empty(), std::string(call) + ": " + overrun);
}

template <typename F>
void Trapped(const char* call, F f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    Fail(std::string(call) + " let error " + std::to_string(e.Number()) + " through: " + e.Description());
  }
}

template <typename F>
void Untrapped(const char* call, F f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    RequireNumber(e, kParseErrors, call);
  }
}

bool IsStatus(STKStatus s) {
  switch (s) {
    case STKStatus::STKMainMenu: case STKStatus::STKResponse: case STKStatus::STKInputRequest:
    case STKStatus::STKSubMenu: case STKStatus::STKSMSSent: case STKStatus::STKTimeOut:
    case STKStatus::STKSessionEnd: case STKStatus::STKUnknown:
      return true;
  }
  return false;
}

struct Call {
  const char* name;
  bool opens_port;  // Init and the port search open the port themselves
  std::function<void(std::uint8_t arg, int& listen_seconds)> run;
};

std::vector<Call> Calls() {
  auto sms = [](auto f) { return [f](std::uint8_t a, int&) { SMS s; f(s, a); }; };
  auto stk = [](auto f) { return [f](std::uint8_t a, int&) { SIMToolKit t; f(t, a); }; };
  auto book = [](auto f) { return [f](std::uint8_t a, int&) { Phonebook b; f(b, a); }; };
  const std::string long_text(200, 'x');
  return {
      {"Init", true, [](std::uint8_t a, int&) {
         Trapped("Init", [&] {
           const InitStatus s = Modem().Init(1, a & 1 ? "1234" : "");
           Require(static_cast<int>(s) >= 0 && static_cast<int>(s) <= 5, "Init: status out of range");
         });
       }},
      {"ShutDown", false, [](std::uint8_t, int&) { Trapped("ShutDown", [] { Modem().ShutDown(); }); }},
      {"Reboot", false, [](std::uint8_t, int&) { Untrapped("Reboot", [] { Modem().Reboot(); }); }},
      {"SignalStrength", false, [](std::uint8_t, int&) {
         Trapped("SignalStrength", [] {
           const std::int16_t s = Modem().SignalStrength();
           Require(s >= -1 && s <= 3, "SignalStrength out of range: " + std::to_string(s));
         });
       }},
      {"OperatorName", false, [](std::uint8_t, int&) { Trapped("OperatorName", [] { Modem().OperatorName(); }); }},
      {"FindCOMPort", true, [](std::uint8_t a, int&) {
         std::int16_t first = 1, last = static_cast<std::int16_t>(1 + a % 2);
         const std::int16_t found = Modem().FindCOMPort(first, last);  // skips every failure
         Require(found == 0 || found == 1, "FindCOMPort found a port it was not given");
         Require(!channel::Gsm().PortOpen(), "FindCOMPort left the port open");
       }},
      {"IsConnectToGSM", false, [](std::uint8_t, int&) { Trapped("IsConnectToGSM", [] { Modem().IsConnectToGSM(); }); }},
      {"GetIMSI", false, [](std::uint8_t a, int&) {
         if (a & 1) channel::CurrentSession().ModemMaker = "WAVECOM";
         Untrapped("GetIMSI", [] { Modem().GetIMSI(); });
       }},
      {"GetMSISDN", false, [](std::uint8_t a, int&) {
         if (a & 1) channel::CurrentSession().ModemMaker = "WAVECOM";
         Untrapped("GetMSISDN", [] { Modem().GetMSISDN(); });
       }},
      {"ReadSMS", false, sms([](SMS& s, std::uint8_t) { Trapped("ReadSMS", [&] { s.ReadSMS(); }); })},
      {"ReadSMSText", false, sms([](SMS& s, std::uint8_t) { Trapped("ReadSMSText", [&] { s.ReadSMSText(); }); })},
      {"SendSMS", false, sms([](SMS& s, std::uint8_t) { Untrapped("SendSMS", [&] { s.SendSMS(kNumber, "hello"); }); })},
      {"SendSMSText", false,
       sms([](SMS& s, std::uint8_t) { Untrapped("SendSMSText", [&] { s.SendSMSText(kNumber, "hello"); }); })},
      {"SendSMSUnicode", false,
       sms([](SMS& s, std::uint8_t) { Untrapped("SendSMSUnicode", [&] { s.SendSMSUnicode(kNumber, "00480069"); }); })},
      {"SendLMSText", false, sms([long_text](SMS& s, std::uint8_t a) {
         Untrapped("SendLMSText", [&] { s.SendLMSText(kNumber, long_text, a); });
       })},
      {"DeliveryReportOn", false,
       sms([](SMS& s, std::uint8_t) { Untrapped("DeliveryReportOn", [&] { s.DeliveryReportOn(); }); })},
      {"DeliveryReportOff", false,
       sms([](SMS& s, std::uint8_t) { Untrapped("DeliveryReportOff", [&] { s.DeliveryReportOff(); }); })},
      {"GetDeliveryReport", false, sms([](SMS& s, std::uint8_t) {
         Untrapped("GetDeliveryReport", [&] {
           if (s.GetDeliveryReport()) {
             const auto st = static_cast<int>(s.DRStatus());
             Require(st >= 0 && st <= 2, "DRStatus out of range");
           }
         });
       })},
      {"IsOnline", false, sms([](SMS& s, std::uint8_t a) {
         std::string number = kNumber;
         std::int16_t wait = static_cast<std::int16_t>(a % 40) - 2;  // a few outside 0 to 32 raise 5
         Untrapped("IsOnline", [&] { s.IsOnline(number, wait); });
       })},
      {"STKStatusGet", false,
       stk([](SIMToolKit& t, std::uint8_t) { Trapped("STKStatusGet", [&] { Require(IsStatus(t.STKStatusGet()), "STKStatusGet: no status"); }); })},
      {"MainMenuDisplay", false, stk([](SIMToolKit& t, std::uint8_t) { Trapped("MainMenuDisplay", [&] { t.MainMenuDisplay(); }); })},
      {"MainMenuSelect", false,
       stk([](SIMToolKit& t, std::uint8_t a) { Trapped("MainMenuSelect", [&] { t.MainMenuSelect(a); }); })},
      {"SubMenuDisplay", false, stk([](SIMToolKit& t, std::uint8_t) { Trapped("SubMenuDisplay", [&] { t.SubMenuDisplay(); }); })},
      {"SubMenuSelect", false, stk([](SIMToolKit& t, std::uint8_t a) { Trapped("SubMenuSelect", [&] { t.SubMenuSelect(a); }); })},
      {"InputRequestDisplay", false,
       stk([](SIMToolKit& t, std::uint8_t) { Trapped("InputRequestDisplay", [&] { t.InputRequestDisplay(); }); })},
      {"InputSubmit", false, stk([](SIMToolKit& t, std::uint8_t a) {
         Trapped("InputSubmit", [&] { t.InputSubmit(a & 1 ? "ok" : "1234"); });
       })},
      {"ResponseDisplay", false, stk([](SIMToolKit& t, std::uint8_t) { Trapped("ResponseDisplay", [&] { t.ResponseDisplay(); }); })},
      {"SMSSentDisplay", false, stk([](SIMToolKit& t, std::uint8_t) { Trapped("SMSSentDisplay", [&] { t.SMSSentDisplay(); }); })},
      {"ActivateSTK", false, stk([](SIMToolKit& t, std::uint8_t) { Trapped("ActivateSTK", [&] { t.ActivateSTK(); }); })},
      {"CloseSTK", false, stk([](SIMToolKit& t, std::uint8_t) { Trapped("CloseSTK", [&] { t.CloseSTK(); }); })},
      {"DeactivateSTK", false, stk([](SIMToolKit& t, std::uint8_t) { Trapped("DeactivateSTK", [&] { t.DeactivateSTK(); }); })},
      {"USSD.Send", false, [](std::uint8_t, int&) { USSD u; Trapped("USSD.Send", [&] { u.Send("*100#"); }); }},
      {"USSDListen", false, [](std::uint8_t a, int& listen) {
         USSD u;
         const auto seconds = static_cast<std::int16_t>(a % 22 - 1);
         listen = seconds == 0 ? 7 : seconds;
         const std::string before = u.USSDNotification();
         Trapped("USSDListen", [&] {
           if (!u.USSDListen(seconds)) Require(u.USSDNotification() == before, "USSDListen changed the text on false");
         });
       }},
      {"USSD.Cancel", false, [](std::uint8_t, int&) { USSD u; Trapped("USSD.Cancel", [&] { u.Cancel(); }); }},
      {"TotalSpace", false, book([](Phonebook& b, std::uint8_t) {
         Untrapped("TotalSpace", [&] { Require(b.TotalSpace() >= -1, "TotalSpace below -1"); });
       })},
      {"TotalUsed", false, book([](Phonebook& b, std::uint8_t) {
         Untrapped("TotalUsed", [&] { Require(b.TotalUsed() >= -1, "TotalUsed below -1"); });
       })},
      {"PhonebookDelete", false,
       book([](Phonebook& b, std::uint8_t a) { Untrapped("PhonebookDelete", [&] { b.PhonebookDelete(a); }); })},
      {"PhonebookWrite", false, book([](Phonebook& b, std::uint8_t a) {
         Untrapped("PhonebookWrite", [&] { b.PhonebookWrite(a, kNumber, "Anna"); });
       })},
      {"PhonebookRead", false, book([](Phonebook& b, std::uint8_t a) {
         b.PhonebookNumber("before");
         b.PhonebookName("before");
         Untrapped("PhonebookRead", [&] {
           if (!b.PhonebookRead(a))
             Require(b.PhonebookNumber() == "before" && b.PhonebookName() == "before",
                     "PhonebookRead changed the entry on false");
         });
       })},
  };
}

}  // namespace

}  // namespace quandelstk::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quandelstk::fuzzing;
  static const std::vector<Call> calls = Calls();
  if (size < 2) return 0;
  const Call& call = calls[data[0] % calls.size()];
  Bench bench(std::string_view(reinterpret_cast<const char*>(data + 2), size - 2));
  if (!call.opens_port) bench.OpenPort();
  int listen_seconds = 0;
  call.run(data[1], listen_seconds);
  RequireTimely(bench, listen_seconds, call.name);
  Require(quandelstk::channel::CurrentSession().ReceiveBuffer.empty(),
          std::string(call.name) + " left text in the receive buffer");
  return 0;
}
