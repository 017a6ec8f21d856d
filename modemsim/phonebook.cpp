// The SIM phonebook ("SM", from the scenario) and an empty one in the modem ("ME").
#include "modemsim/gsm_text.hpp"
#include "modemsim/services.hpp"

namespace quandelstk::modemsim {

namespace {
using Kind = Command::Kind;
std::string N(int n) { return std::to_string(n); }
}  // namespace

PhonebookService::PhonebookService(Core& core) : Service(core) {
  books_["ME"];
  books_["SM"];
  for (const PhonebookEntry& e : core.scenario.phonebook.entries) books_["SM"][e.index] = e;
}

void PhonebookService::Register(CommandTable& t) {
  t["+CPBS"] = {[this](const Command& c, Reply& r) {
                  if (c.kind == Kind::kTest) r.lines.push_back("+CPBS: (\"SM\",\"ME\")");
                  if (c.kind == Kind::kRead)
                    r.lines.push_back("+CPBS: \"" + selected_ + "\"," + N(static_cast<int>(books_[selected_].size())) +
                                      "," + N(Capacity()));
                  if (c.kind != Kind::kSet) return;
                  if (books_.count(c.Text(0))) selected_ = c.Text(0);
                  else r.final = core_.CmeError(3);
                },
                SimGate::kCme};
  t["+CPBR"] = {[this](const Command& c, Reply& r) { ReadEntries(c, r); }, SimGate::kCme};
  t["+CPBW"] = {[this](const Command& c, Reply& r) { Write(c, r); }, SimGate::kCme};
}

void PhonebookService::ReadEntries(const Command& c, Reply& r) {
  const auto& pb = core_.scenario.phonebook;
  if (c.kind == Kind::kTest) {
    r.lines.push_back("+CPBR: (1-" + N(Capacity()) + ")," + N(pb.number_length) + "," + N(pb.name_length));
    return;
  }
  const auto first = c.Number(0);
  const int last = c.Number(1).value_or(first.value_or(0));
  if (c.kind != Kind::kSet || !first || *first < 1 || last < *first || last > Capacity()) {
    r.final = core_.CmeError(21);
    return;
  }
  const auto& book = books_[selected_];
  for (auto it = book.lower_bound(*first); it != book.end() && it->first <= last; ++it) {
    const PhonebookEntry& e = it->second;
    r.lines.push_back("+CPBR: " + N(e.index) + ",\"" + e.number + "\"," + N(e.type) + ",\"" + core_.ToTe(e.name) +
                      "\"");
  }
  if (r.lines.empty() && c.Params().size() == 1 && pb.empty_error) r.final = core_.CmeError(22);
}

void PhonebookService::Write(const Command& c, Reply& r) {
  const auto& pb = core_.scenario.phonebook;
  auto& book = books_[selected_];
  if (c.kind == Kind::kTest) {
    r.lines.push_back("+CPBW: (1-" + N(Capacity()) + ")," + N(pb.number_length) + ",(129,145)," + N(pb.name_length));
    return;
  }
  const auto params = c.Params();
  if (c.kind != Kind::kSet || params.empty()) {
    r.final = core_.CmeError(3);
    return;
  }
  int index = c.Number(0).value_or(0);
  if (params[0].empty()) {  // no location given: the first free one
    for (int i = Capacity(); i >= 1; --i)
      if (!book.count(i)) index = i;
    if (index == 0) {
      r.final = core_.CmeError(20);
      return;
    }
  }
  if (index < 1 || index > Capacity()) {
    r.final = core_.CmeError(21);
    return;
  }
  if (params.size() == 1) {
    book.erase(index);
    return;
  }
  PhonebookEntry e{index, c.Text(1), Address::FromText(c.Text(1)).type, core_.FromTe(c.Text(3))};
  if (c.Number(2)) e.type = *c.Number(2);
  const std::size_t digits = e.number.size() - (!e.number.empty() && e.number[0] == '+');
  if (static_cast<int>(digits) > pb.number_length) {
    r.final = core_.CmeError(26);
  } else if (static_cast<int>(Utf8ToUtf16(e.name).size()) > pb.name_length) {
    r.final = core_.CmeError(24);
  } else {
    book[index] = e;
  }
}

}  // namespace quandelstk::modemsim
