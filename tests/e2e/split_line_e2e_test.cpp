// Every class operation over a real pseudo-terminal against the simulated modem, first with whole
// answers, then with the same answers in pieces: the results must be exactly the same.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "channel/session.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/sms.hpp"
#include "support/sim_process.hpp"

namespace quandelstk::testing {
namespace {

constexpr std::int16_t kPort = 301;
const std::string kOwn = "+15550100999";

// Messages come back and reports arrive quickly; the session waits for them with plain pauses, so
// that it sends the same commands whatever the pace of the line.
const std::string kQuick = R"("sms": {"loopback_delay_ms": 100, "report_delay_ms": 200})";
constexpr std::int32_t kArrivalMs = 800;

// Every byte the host wrote, as the simulator's transcript quotes it.
std::string HostBytes(const std::string& transcript) {
  std::string bytes;
  std::istringstream lines(transcript);
  for (std::string line; std::getline(lines, line);)
    if (const auto rx = line.find(" rx \""); rx != std::string::npos) bytes += line.substr(rx + 4);
  return bytes;
}

std::string Received(const SMS& sms, bool pdu) {
  // The stamp is the network's clock: only its shape, the one of the reading mode, can be compared.
  static const std::regex text_stamp(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)");
  static const std::regex pdu_stamp(R"(\d\d-\d\d-\d\d,\d\d:\d\d:\d\d\+\d\d)");
  return sms.MN() + "|" + sms.Msg() + "|" + sms.SMSC() + "|" +
         (std::regex_match(sms.SCTS(), pdu ? pdu_stamp : text_stamp) ? "stamp" : "bad stamp " + sms.SCTS()) + "|" +
         std::to_string(sms.IsLMS()) + "," + std::to_string(sms.LMS_Reference()) + "," +
         std::to_string(sms.LMS_Total()) + "," + std::to_string(sms.LMS_Sequence());
}

// A long message's text: two parts of 153 and 47 characters.
std::string LongText() {
  std::string text;
  for (int i = 0; text.size() < 200; ++i) text += "part " + std::to_string(i) + " ";
  return text.substr(0, 200);
}

// One whole session of every class operation; what each call gave, one entry per call.
// The host's bytes come last: a cut answer that made the library ask again shows there.
std::vector<std::string> Session(const std::string& chunking) {
  SimProcess sim("{" + kQuick + (chunking.empty() ? "" : R"(, "chunking": {"*": )" + chunking + "}") + "}",
                 true);
  AssignPort(kPort, sim.DevicePath());
  channel::CurrentSession().ModemMaker.clear();
  std::vector<std::string> seen;
  auto note = [&seen](const std::string& what, const std::string& value) {
    seen.push_back(what + "=" + value);
  };
  // Each call before the properties it sets are read.
  auto read = [](SMS& sms, bool pdu) {
    CurrentPlatform().Sleep(kArrivalMs);
    const bool got = pdu ? sms.ReadSMSText() : sms.ReadSMS();
    return std::to_string(got) + " " + Received(sms, pdu);
  };

  Modem modem;
  note("Init", std::to_string(static_cast<int>(modem.Init(kPort))));
  note("SignalStrength", std::to_string(modem.SignalStrength()));
  note("OperatorName", modem.OperatorName());
  note("IsConnectToGSM", std::to_string(modem.IsConnectToGSM()));
  note("GetIMSI", modem.GetIMSI());
  note("GetMSISDN", modem.GetMSISDN());

  SMS sms;
  auto sent = [](SMS& sms, bool ok) { return std::to_string(ok) + " MR " + sms.MR(); };
  note("SendSMS", sent(sms, sms.SendSMS(kOwn, "text mode, both ways")));
  note("ReadSMS", read(sms, false));
  note("SendSMS", sent(sms, sms.SendSMS(kOwn, "text mode, read as PDU")));
  note("ReadSMSText", read(sms, true));
  note("SendSMSText", sent(sms, sms.SendSMSText(kOwn, "seven bits")));
  note("ReadSMSText", read(sms, true));
  note("SendSMSText", sent(sms, sms.SendSMSText(kOwn, "seven bits, read as text")));
  note("ReadSMS", read(sms, false));
  note("SendSMSUnicode", sent(sms, sms.SendSMSUnicode(kOwn, "00480069002000E9")));
  note("ReadSMSText", read(sms, true));
  note("SendLMSText", std::to_string(sms.SendLMSText(kOwn, LongText(), 9)));
  // Its two parts, read back with their concatenation properties.
  for (int part = 0; part < 2; ++part) note("ReadSMSText", read(sms, true));

  note("DeliveryReportOn", std::to_string(sms.DeliveryReportOn()));
  note("SendSMS", sent(sms, sms.SendSMS("+15550100456", "report me")));
  // The PDU senders asked for reports too, and when each arrives depends on the pace of the session:
  // collect reports until the one for this message is there.
  const std::string reference = sms.MR().substr(0, sms.MR().find('\r'));
  CurrentPlatform().Sleep(kArrivalMs);
  bool fetched = false;
  for (int attempt = 0; attempt < 10 && !fetched; ++attempt)
    fetched = sms.GetDeliveryReport() && sms.DRMsgRef() == reference;
  note("GetDeliveryReport", std::to_string(fetched) + " " + sms.DRMsgRef() + "|" + sms.DRMNRecipient() + "|" +
                                std::to_string(static_cast<int>(sms.DRStatus())));
  note("DeliveryReportOff", std::to_string(sms.DeliveryReportOff()));

  std::string number = "+15550100456";
  std::int16_t wait = 2;
  note("IsOnline", std::to_string(sms.IsOnline(number, wait)));
  note("ShutDown", std::to_string(modem.ShutDown()));
  ResetPortTable();
  sim.Stop();
  seen.push_back(HostBytes(sim.TranscriptText()));
  return seen;
}

// Every sender to the own number and back in both reading modes, a long message in two parts, and a
// delivery report: what the whole answers give, and the same again with the answers in pieces.
TEST(SplitLineOverPty, EveryOperationGivesTheSameResultsWithAnswersInPieces) {
  const std::vector<std::string> whole = Session("");
  ASSERT_EQ(whole.front(), "Init=1");
  for (const std::string& entry : whole) EXPECT_EQ(entry.find("bad stamp"), std::string::npos) << entry;
  // A PDU-mode read of a single message sets its reference and sequence to -1; a text-mode read
  // leaves the concatenation properties as they were.
  const std::string back = "1 " + kOwn + "|", centre = "|+15550100123|stamp|", single = "0,-1,0,-1";
  const std::string long_text = LongText();
  const std::vector<std::string> expected = {
      back + "text mode, both ways" + centre + "0,0,0,0",    back + "text mode, read as PDU" + centre + single,
      back + "seven bits" + centre + single,                 back + "seven bits, read as text" + centre + single,
      back + "Hi \xE9" + centre + single,                    back + long_text.substr(0, 153) + centre + "1,9,2,1",
      back + long_text.substr(153, 47) + centre + "1,9,2,2"};
  std::vector<std::string> got;
  for (const std::string& entry : whole)
    if (entry.rfind("ReadSMS", 0) == 0) got.push_back(entry.substr(entry.find('=') + 1));
  EXPECT_EQ(got, expected);
  // Every send succeeds, those that give a reference with one; the report is the last message's.
  for (const std::string& entry : whole) {
    if (entry.starts_with("Send") || entry.starts_with("DeliveryReportO")) {
      EXPECT_TRUE(entry.ends_with("=1") || (entry.find("=1 MR ") != std::string::npos && !entry.ends_with(" MR ")))
          << entry;
    }
    if (entry.starts_with("GetDeliveryReport=")) {
      EXPECT_TRUE(entry.starts_with("GetDeliveryReport=1 ") && entry.ends_with("|+15550100456|1")) << entry;
    }
  }
  // Pieces of one byte: every answer cut at every place, a line's end included.
  EXPECT_EQ(Session(R"({"size": 1, "gap_ms": 2})"), whole);
}

}  // namespace
}  // namespace quandelstk::testing
