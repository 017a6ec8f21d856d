// The SMS class end to end: every sender to the simulated SIM's own number and back, in both reading
// modes, over a real pseudo-terminal; delivery reports; and, in-process, the order in which the
// simulator's storage sees a message read and deleted.
#include <gtest/gtest.h>

#include <regex>

#include "channel/session.hpp"
#include "modemsim/virtual_modem.hpp"
#include "platform/virtual_platform.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/sms.hpp"
#include "support/sim_process.hpp"

namespace quandelstk::testing {
namespace {

constexpr std::int16_t kPort = 300;
const std::string kOwn = "+15550100999";
const std::string kCentre = "+15550100123";
const std::regex kTextModeStamp(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)");
const std::regex kPduModeStamp(R"(\d\d-\d\d-\d\d,\d\d:\d\d:\d\d\+\d\d)");

// The network hands a message back after a moment: read until it is there, for a bounded while.
bool ReadWhenArrived(SMS& sms, bool pdu) {
  for (int attempt = 0; attempt < 30; ++attempt) {
    if (pdu ? sms.ReadSMSText() : sms.ReadSMS()) return true;
    CurrentPlatform().Sleep(200);
  }
  return false;
}

class SmsOverPty : public ::testing::Test {
 protected:
  void SetUp() override {
    AssignPort(kPort, sim_.DevicePath());
    channel::CurrentSession().ModemMaker.clear();
    ASSERT_EQ(Modem().Init(kPort), InitStatus::OK);
  }
  void TearDown() override { Modem().ShutDown(); }

  SimProcess sim_;
};

TEST_F(SmsOverPty, EverySenderDeliversToTheOwnNumberAndReadsBackInBothModes) {
  struct Case {
    std::string name;
    std::function<bool(SMS&)> send;
    bool read_pdu;
    std::string text;
  };
  // Characters on which the GSM alphabet and the host set agree read back the same in both modes.
  const std::string hello = "Hello, world 123!";
  const std::vector<Case> cases = {
      {"SendSMS, text-mode read", [&](SMS& s) { return s.SendSMS(kOwn, hello); }, false, hello},
      {"SendSMS, PDU-mode read", [&](SMS& s) { return s.SendSMS(kOwn, hello); }, true, hello},
      {"SendSMSText, text-mode read", [&](SMS& s) { return s.SendSMSText(kOwn, hello); }, false, hello},
      {"SendSMSText, PDU-mode read", [&](SMS& s) { return s.SendSMSText(kOwn, hello); }, true, hello},
      {"SendSMSUnicode, PDU-mode read", [&](SMS& s) { return s.SendSMSUnicode(kOwn, "00480069002000E9"); }, true,
       "Hi \xE9"},
  };
  SMS sms;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.send(sms));
    EXPECT_FALSE(sms.MR().empty());
    ASSERT_TRUE(ReadWhenArrived(sms, c.read_pdu));
    EXPECT_EQ(sms.MN(), kOwn);
    EXPECT_EQ(sms.Msg(), c.text);
    EXPECT_EQ(sms.SMSC(), kCentre);
    EXPECT_TRUE(std::regex_match(sms.SCTS(), c.read_pdu ? kPduModeStamp : kTextModeStamp)) << sms.SCTS();
  }
}

TEST_F(SmsOverPty, LongMessagePartsReadBackWithTheirConcatenationProperties) {
  SMS sms;
  std::string text;
  for (int i = 0; text.size() < 200; ++i) text += "part " + std::to_string(i) + " ";
  text.resize(200);
  ASSERT_TRUE(sms.SendLMSText(kOwn, text, 77));
  std::string joined;
  for (std::int16_t sequence = 1; sequence <= 2; ++sequence) {
    ASSERT_TRUE(ReadWhenArrived(sms, true));
    EXPECT_TRUE(sms.IsLMS());
    EXPECT_EQ(sms.LMS_Reference(), 77);
    EXPECT_EQ(sms.LMS_Total(), 2);
    EXPECT_EQ(sms.LMS_Sequence(), sequence);
    EXPECT_EQ(sms.MN(), kOwn);
    joined += sms.Msg();
  }
  EXPECT_EQ(joined, text);
}

TEST_F(SmsOverPty, DeliveryReportRoundTrip) {
  SMS sms;
  ASSERT_TRUE(sms.DeliveryReportOn());
  ASSERT_TRUE(sms.SendSMS("+15550100456", "report me"));
  const std::string reference = sms.MR().substr(0, sms.MR().find('\r'));
  bool fetched = false;
  for (int attempt = 0; attempt < 30 && !fetched; ++attempt) {
    fetched = sms.GetDeliveryReport() && !sms.DRMsgRef().empty();
    if (!fetched) CurrentPlatform().Sleep(200);
  }
  ASSERT_TRUE(fetched);
  EXPECT_EQ(sms.DRMsgRef(), reference);
  EXPECT_EQ(sms.DRMNRecipient(), "+15550100456");
  EXPECT_EQ(sms.DRStatus(), DeliveryStatus::Delivered);
  EXPECT_TRUE(sms.DeliveryReportOff());
}

TEST(SmsOnSimulatorStorage, MessageIsDeletedOnlyAfterItWasRead) {
  for (const bool pdu : {false, true}) {
    SCOPED_TRACE(pdu ? "ReadSMSText" : "ReadSMS");
    auto platform = std::make_shared<platform::VirtualPlatform>();
    auto modem = std::make_shared<modemsim::VirtualModem>();
    platform->Attach(1, modem);
    const auto folder = std::filesystem::temp_directory_path() / ("quandelstk-e2e-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    platform->SetFolders(folder.string(), folder.string());
    ScopedPlatform scope(platform);
    channel::CurrentSession().ModemMaker.clear();
    ASSERT_EQ(Modem().Init(1), InitStatus::OK);
    SMS sms;
    ASSERT_TRUE(sms.SendSMS(kOwn, "read me first"));
    platform->Sleep(5000);
    ASSERT_TRUE(pdu ? sms.ReadSMSText() : sms.ReadSMS());
    EXPECT_EQ(sms.Msg(), "read me first");

    const auto& journal = modem->model().Messaging().Journal();
    int read_at = -1, deleted_at = -1;
    for (std::size_t i = 0; i < journal.size(); ++i) {
      if (journal[i].storage != "SM") continue;
      if (journal[i].what == "read" && read_at < 0) read_at = static_cast<int>(i);
      if (journal[i].what == "deleted") deleted_at = static_cast<int>(i);
    }
    ASSERT_GE(read_at, 0);
    EXPECT_GT(deleted_at, read_at);
    EXPECT_TRUE(modem->model().Messaging().Store("SM").messages.empty());
    std::filesystem::remove_all(folder);
  }
}

}  // namespace
}  // namespace quandelstk::testing
