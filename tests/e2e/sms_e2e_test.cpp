// The SMS class on the in-process simulator: the order in which its storage sees a message read and
// deleted. (Every sender and reader over a pseudo-terminal, whole and in pieces: split_line_e2e_test.)
#include <gtest/gtest.h>

#include <filesystem>

#include "channel/session.hpp"
#include "modemsim/virtual_modem.hpp"
#include "platform/virtual_platform.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/sms.hpp"

namespace quandelstk::testing {
namespace {

const std::string kOwn = "+15550100999";

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
