// Which sent message a status report is about.
#include "quandelstk/messages.hpp"

namespace quandelstk::messages {

namespace {

std::string_view Digits(std::string_view number) {
  if (!number.empty() && number.front() == '+') number.remove_prefix(1);
  return number;
}

}  // namespace

// A national number and the same number written internationally end alike: compare the digits,
// the shorter one as the tail of the longer, at least seven of them. Two numbers of one length are
// the same only digit for digit.
bool SameNumber(std::string_view a, std::string_view b) {
  a = Digits(a);
  b = Digits(b);
  if (a == b) return !a.empty();
  if (a.size() == b.size()) return false;
  if (a.size() > b.size()) std::swap(a, b);
  while (!a.empty() && a.front() == '0') a.remove_prefix(1);  // the shorter one's trunk prefix
  return a.size() >= 7 && b.substr(b.size() - a.size()) == a;
}

std::optional<ReportMatch> MatchReport(const Message& report, const std::vector<SentMessage>& sent) {
  for (std::size_t i = sent.size(); i-- > 0;) {
    const SentMessage& s = sent[i];
    if (!SameNumber(s.to, report.address)) continue;
    for (std::size_t p = 0; p < s.references.size(); ++p)
      if (s.references[p] == report.reference) return ReportMatch{i, static_cast<int>(p + 1)};
  }
  return std::nullopt;
}

}  // namespace quandelstk::messages
