#include "sms_test_support.hpp"

namespace quandelstk::testing {
namespace {

TEST(SMSObject, DestroyingAnySMSObjectClosesTheThreadsPort) {
  VirtualSession vs;
  vs.OpenPort();
  SMS kept;
  { SMS released; }
  EXPECT_FALSE(vs.Modem().IsOpen());
  EXPECT_FALSE(kept.ReadSMS());
  EXPECT_EQ(vs.Modem().Written(), "");
}

struct Note final : MessageObject {
  std::optional<std::string> text;
  std::optional<std::string> DefaultText() const override { return text; }
};

TEST(SMSObject, ToMessageKeepsAnObjectByReference) {
  auto note = std::make_shared<Note>();
  SMS sms;
  sms.ToMessage(note);
  EXPECT_EQ(ErrorNumberOf([&] { sms.ToMessage().ToText(); }), err::kTypeMismatch);  // no default value
  note->text = "later";
  EXPECT_EQ(sms.ToMessage().ToText(), "later");
  EXPECT_EQ(MessageValue(7.5).ToText() + " " + MessageValue(1e20).ToText(), "7.5 1E+20");
}

}  // namespace
}  // namespace quandelstk::testing
