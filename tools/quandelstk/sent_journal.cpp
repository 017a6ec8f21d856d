#include "sent_journal.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

namespace quandelstk::cli {

namespace {

constexpr std::size_t kKept = 500;

std::filesystem::path JournalPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  std::filesystem::path folder = state && *state ? std::filesystem::path(state)
                                 : home && *home ? std::filesystem::path(home) / ".local" / "state"
                                                 : std::filesystem::temp_directory_path();
  return folder / "quandelstk" / "sent-messages.json";
}

}  // namespace

std::vector<messages::SentMessage> LoadSentMessages() {
  std::vector<messages::SentMessage> sent;
  std::ifstream in(JournalPath());
  if (!in) return sent;
  const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  if (!j.is_array()) return sent;  // damaged: matching starts afresh
  for (const auto& e : j) {
    if (!e.is_object()) continue;
    messages::SentMessage s;
    s.to = e.value("to", "");
    s.text = e.value("text", "");
    s.when = e.value("when", "");
    if (e.contains("references") && e["references"].is_array())
      for (const auto& r : e["references"])
        if (r.is_number_integer()) s.references.push_back(r.get<int>());
    sent.push_back(std::move(s));
  }
  return sent;
}

void RememberSent(const messages::SentMessage& sent, std::string& warning) {
  std::vector<messages::SentMessage> all = LoadSentMessages();
  all.push_back(sent);
  if (all.size() > kKept) all.erase(all.begin(), all.end() - static_cast<std::ptrdiff_t>(kKept));
  nlohmann::json j = nlohmann::json::array();
  for (const auto& s : all)
    j.push_back({{"to", s.to}, {"text", s.text}, {"references", s.references}, {"when", s.when}});
  const std::filesystem::path path = JournalPath();
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  const std::filesystem::path fresh = path.string() + ".new";
  {
    std::ofstream out(fresh);
    out << j.dump(1) << "\n";
    if (!out) {
      warning = "could not write " + fresh.string() + ": reports for this message will not be matched to it";
      return;
    }
  }
  std::filesystem::rename(fresh, path, ec);
  if (ec)
    warning =
        "could not write " + path.string() + " (" + ec.message() + "): reports will not be matched to it";
}

}  // namespace quandelstk::cli
