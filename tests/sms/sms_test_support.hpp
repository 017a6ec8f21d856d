// Transcripts of the SMS methods against a scripted modem: the answers it gives, the call, and what
// it must have received, in virtual time.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "quandelstk/errors.hpp"
#include "quandelstk/sms.hpp"
#include "support/error_number.hpp"
#include "support/virtual_session.hpp"

namespace quandelstk::testing {

inline const auto Ok = [](const std::string& lines = "") { return lines + "\r\nOK\r\n"; };

using Answers = std::vector<std::pair<std::string, std::string>>;  // command line, reply

struct Transcript {
  const char* name;
  Answers answers;  // lines not listed are answered "OK"
  std::function<bool(SMS&)> call;
  bool result;
  std::string written;                                               // every byte the modem received
  std::vector<std::pair<std::string, std::string>> properties = {};  // name, value after the call
  std::string log = "";                                              // a text the day's log must hold
  std::int64_t ends_at = 0;                                          // virtual ms at which the call returns
};

// A property as text, by name; "error N" when reading it raises error N.
inline std::string Property(const SMS& s, const std::string& name) {
  using Getter = std::function<std::string()>;
  // clang-format off
  const std::map<std::string, Getter> getters = {
      {"MN", [&] { return s.MN(); }}, {"SCTS", [&] { return s.SCTS(); }}, {"SMSC", [&] { return s.SMSC(); }},
      {"Msg", [&] { return s.Msg(); }}, {"MR", [&] { return s.MR(); }},
      {"DR", [&] { return s.DRMsgRef() + "|" + s.DRMNRecipient() + "|" + s.DRRDate() + "|" + s.DRRTime() + "|" +
                          s.DRFDate() + "|" + s.DRFTime(); }},
      {"DRStatus", [&] { return std::to_string(static_cast<std::int32_t>(s.DRStatus())); }},
      {"LMS", [&] { return std::to_string(s.IsLMS()) + "," + std::to_string(s.LMS_Reference()) + "," +
                           std::to_string(s.LMS_Total()) + "," + std::to_string(s.LMS_Sequence()); }}};
  // clang-format on
  try {
    return getters.at(name)();
  } catch (const RuntimeError& e) {
    return "error " + std::to_string(e.Number());
  }
}

inline void RunTranscript(const Transcript& t) {
  SCOPED_TRACE(t.name);
  VirtualSession vs;
  vs.OpenPort();
  for (const auto& [line, reply] : t.answers) vs.Modem().On(line, reply);
  vs.Modem().Otherwise(Ok());
  SMS sms;
  EXPECT_EQ(t.call(sms), t.result);
  EXPECT_EQ(vs.Modem().Written(), t.written);
  for (const auto& [name, value] : t.properties) EXPECT_EQ(Property(sms, name), value) << name;
  EXPECT_NE(vs.LogText().find(t.log), std::string::npos) << vs.LogText();
  EXPECT_EQ(vs.NowMs(), t.ends_at);
}

// The SIM storage selected and listed: nothing unread, then the given read listing.
inline Answers Listing(const std::string& read_listing, Answers more = {}) {
  more.insert(more.begin(), {{"AT+CPMS=\"SM\"", Ok("\r\n+CPMS: 2,20,2,20,2,20\r\n")},
                             {"AT+CMGL=\"REC READ\"", Ok(read_listing)}});
  return more;
}
inline const std::string kListed = "AT+CPMS=\"SM\"\rAT+CMGL=\"REC UNREAD\"\rAT+CMGL=\"REC READ\"\r";
inline const auto Entry = [](int i) {
  return "\r\n+CMGL: " + std::to_string(i) + ",\"REC READ\",\"0\"\r\nhi\r\n";
};

}  // namespace quandelstk::testing
