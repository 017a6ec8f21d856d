// stk browse: activates the toolkit, shows the main menu numbered, takes a choice and then follows
// what the SIM reports (sub menus, input requests, responses, sent-message notices) until the
// session ends. "q" or the end of input closes the session. On a terminal the answers are edited
// like the shell's lines; from a pipe one line is read per choice or answer, so walks can be
// scripted. With --json nothing is shown on the way: one object at the end describes the walk.
#include "stk_browse.hpp"

#include <editline/readline.h>
#include <fmt/core.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <optional>

#include "charset.hpp"
#include "cli.hpp"
#include "quandelstk/platform.hpp"
#include "quandelstk/stk.hpp"
#include "stk_view.hpp"

namespace quandelstk::cli {

namespace {

// Right after a selection some SIMs have not told the modem what follows yet.
constexpr int kStatusAttempts = 3;
constexpr std::int32_t kStatusPauseMs = 1000;
// Steps that need no answer from the person (responses, notices): a SIM that keeps reporting them
// would otherwise keep the walk going for ever.
constexpr int kMaxStepsWithoutAnswer = 20;

class Walk {
 public:
  Walk(Cli& cli, bool deactivate)
      : cli_(cli), stk_(cli.Toolkit()), deactivate_(deactivate), terminal_(::isatty(0) != 0) {}

  void Run() {
    if (!stk_.ActivateSTK()) {
      Finish("ActivateFailed", false,
             "The toolkit did not switch on: the modem may not offer it (--trace shows its answers).");
      return;
    }
    if (!stk_.MainMenuDisplay()) {
      Finish("NoMainMenu", false, "The SIM sent no main menu (--trace shows the modem's answers).", true);
      return;
    }
    if (!ChooseFromMainMenu()) return;
    for (int unattended = 0;;) {
      const STKStatus status = AskStatus();
      const bool answered = Step(status);
      if (done_) return;
      unattended = answered ? 0 : unattended + 1;
      if (unattended > kMaxStepsWithoutAnswer) {
        Finish("Repeating", false,
               fmt::format("The SIM keeps reporting {}; ending the walk.", StatusName(status)), true);
        return;
      }
    }
  }

 private:
  // One status; true when the person answered something.
  bool Step(STKStatus status) {
    switch (status) {
      case STKStatus::STKMainMenu:
        if (!stk_.MainMenuDisplay()) {
          Finish("NoMainMenu", false, "The main menu could not be fetched.", true);
          return false;
        }
        return ChooseFromMainMenu();
      case STKStatus::STKSubMenu:
        return ChooseFromSubMenu();
      case STKStatus::STKInputRequest:
        return AnswerInput();
      case STKStatus::STKResponse:
        ShowResponse();
        return false;
      case STKStatus::STKSMSSent: {
        const std::string text = Cp1252ToUtf8(stk_.SMSSentDisplay());
        Show(fmt::format("\n[The SIM sent a message] {}", text));
        steps_.push_back({{"status", "STKSMSSent"}, {"text", text}});
        return false;
      }
      case STKStatus::STKSessionEnd:
        steps_.push_back({{"status", "STKSessionEnd"}});
        Finish("STKSessionEnd", true, "The SIM ended the session.");
        return false;
      case STKStatus::STKTimeOut:
      case STKStatus::STKUnknown:
        break;
    }
    steps_.push_back({{"status", StatusName(status)}});
    Finish(StatusName(status), false,
           fmt::format("Status {}: {}. Ending the walk.", StatusName(status), StatusHint(status)), true);
    return false;
  }

  STKStatus AskStatus() {
    STKStatus status = STKStatus::STKUnknown;
    for (int attempt = 1; attempt <= kStatusAttempts; ++attempt) {
      status = stk_.STKStatusGet();
      if (status != STKStatus::STKUnknown) break;
      if (attempt < kStatusAttempts) CurrentPlatform().Sleep(kStatusPauseMs);
    }
    return status;
  }

  bool ChooseFromMainMenu() {
    const auto id = Choose("STKMainMenu", Cp1252ToUtf8(stk_.MainMenuName()), MenuItems(stk_.MainMenuList()));
    if (!id) return false;
    if (!stk_.MainMenuSelect(*id)) Show("The SIM refused that item.");
    return true;
  }

  bool ChooseFromSubMenu() {
    if (!stk_.SubMenuDisplay()) {
      Finish("NoSubMenu", false, "The sub menu could not be fetched.", true);
      return false;
    }
    const auto id = Choose("STKSubMenu", Cp1252ToUtf8(stk_.SubMenuName()), MenuItems(stk_.SubMenuList()));
    if (!id) return false;
    if (!stk_.SubMenuSelect(*id)) Show("The SIM refused that item.");
    return true;
  }

  // Shows the menu numbered from 1 and returns the id of the item chosen; nothing when the person
  // quits (the walk is then finished).
  std::optional<std::int16_t> Choose(const char* status, const std::string& title,
                                     const std::vector<MenuItem>& items) {
    nlohmann::json step = {{"status", status}, {"title", title}, {"items", nlohmann::json::array()}};
    for (const MenuItem& item : items) step["items"].push_back({{"id", item.id}, {"label", item.label}});
    std::string shown = "\n== " + (title.empty() ? std::string("(no title)") : title);
    for (std::size_t i = 0; i < items.size(); ++i)
      shown += fmt::format("\n  {:>2}  {}", i + 1, items[i].label);
    Show(shown);
    if (items.empty()) {
      steps_.push_back(step);
      Finish("EmptyMenu", false, "The menu has no items.", true);
      return std::nullopt;
    }
    for (;;) {
      std::string line;
      if (!Read(fmt::format("choice (1-{}, q ends)", items.size()), line) || IsQuit(line)) {
        steps_.push_back(step);
        Quit();
        return std::nullopt;
      }
      const int n = std::atoi(line.c_str());
      if (line.find_first_not_of("0123456789") != std::string::npos || n < 1 ||
          n > static_cast<int>(items.size())) {
        Show(fmt::format("\"{}\" is not a choice: type a number from 1 to {}, or q.", line, items.size()));
        continue;
      }
      const MenuItem& item = items[static_cast<std::size_t>(n - 1)];
      const std::optional<std::int16_t> id = ItemId(item.id);
      if (!id) {
        Show(fmt::format("The SIM gave this item the id \"{}\", which cannot be selected; choose another.",
                         item.id));
        continue;
      }
      step["choice"] = item.id;
      steps_.push_back(step);
      return id;
    }
  }

  bool AnswerInput() {
    const std::string prompt = Cp1252ToUtf8(stk_.InputRequestDisplay());
    nlohmann::json step = {{"status", "STKInputRequest"}, {"prompt", prompt}};
    Show("\n[The SIM asks] " + (prompt.empty() ? std::string("(no prompt)") : prompt));
    for (;;) {
      std::string answer;
      if (!Read("answer (q ends)", answer) || IsQuit(answer)) {
        steps_.push_back(step);
        Quit();
        return false;
      }
      std::string native;
      try {
        native = Utf8ToCp1252(answer);
      } catch (const CharsetError& e) {
        Show(std::string(e.what()) + "; type the answer again.");
        continue;
      }
      const bool accepted = stk_.InputSubmit(native);
      if (!accepted) Show("The SIM did not take that answer.");
      step["answer"] = answer;
      step["accepted"] = accepted;
      steps_.push_back(step);
      return true;
    }
  }

  // A phone shows the text and the person presses OK: the walk confirms it at once.
  void ShowResponse() {
    const std::string text = Cp1252ToUtf8(stk_.ResponseDisplay());
    Show("\n[The SIM says] " + text);
    const bool confirmed = stk_.InputSubmit("OK");
    steps_.push_back({{"status", "STKResponse"}, {"text", text}, {"confirmed", confirmed}});
    if (!confirmed) Finish("ResponseNotConfirmed", false, "The SIM did not take the confirmation.", true);
  }

  bool Read(const std::string& prompt, std::string& line) {
    if (terminal_ && !cli_.out.Structured()) {
      char* raw = ::readline((prompt + "> ").c_str());
      if (!raw) return false;
      line = raw;
      std::free(raw);
      if (!line.empty()) ::add_history(line.c_str());
    } else {
      if (!std::getline(std::cin, line)) return false;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      Show(fmt::format("{}> {}", prompt, line));  // the transcript of a scripted walk reads like a session
    }
    // On the simulated modem the SIM's clock follows the time the person took.
    cli_.CatchUpSimulatedTime();
    return true;
  }

  static bool IsQuit(const std::string& line) { return line == "q" || line == "Q"; }

  static std::optional<std::int16_t> ItemId(const std::string& id) {
    if (id.empty() || id.size() > 6 || id.find_first_not_of("-0123456789") != std::string::npos)
      return std::nullopt;
    const long value = std::strtol(id.c_str(), nullptr, 10);
    if (value < -32768 || value > 32767) return std::nullopt;
    return static_cast<std::int16_t>(value);
  }

  void Quit() { Finish("Closed", true, "", true); }

  // Ends the walk: closes the session unless the SIM ended it, switches the toolkit off when asked,
  // and reports how it ended.
  void Finish(const std::string& ended, bool success, const std::string& why, bool close = false) {
    done_ = true;
    if (!why.empty()) Show("\n" + why);
    nlohmann::json result = {{"ended", ended}, {"steps", steps_}};
    if (close) {
      const bool closed = stk_.CloseSTK();
      result["closed"] = closed;
      Show(closed ? "Session closed." : "The modem did not take the end of the session.");
    }
    if (deactivate_) {
      cli_.out.Progress("switching the toolkit off, then restoring the message settings");
      const bool off = stk_.DeactivateSTK();
      result["deactivated"] = off;
      Show(off ? "Toolkit switched off." : "The modem did not switch the toolkit off.");
    }
    cli_.Report("stk browse", result, success, success ? "Done." : "The walk did not end normally.",
                ToolkitProperties(stk_));
  }

  void Show(const std::string& text) const {
    if (cli_.out.Structured()) return;
    fmt::print("{}\n", text);
    std::fflush(stdout);
  }

  Cli& cli_;
  SIMToolKit& stk_;
  bool deactivate_;
  bool terminal_;
  bool done_ = false;
  nlohmann::json steps_ = nlohmann::json::array();
};

}  // namespace

void AddStkBrowseCommand(CLI::App& stk, Cli& cli) {
  auto* cmd = stk.add_subcommand(
      "browse",
      "Walk the SIM's menus as on a phone: switch the toolkit on, show the main menu numbered, take a "
      "choice, then follow the SIM (sub menus, input requests, responses, sent-message notices) until the "
      "session ends. Type the number of an item, an answer, or q to close the session; the end of input "
      "closes it too. Reads one line per choice or answer when standard input is not a terminal. An answer "
      "of OK (any letter case) is taken by the toolkit as a confirmation, not as text. Valid in any status.");
  cmd->add_flag("--deactivate")
      ->description("switch the toolkit off at the end (and restore the message settings)");
  cmd->callback([&cli, cmd] {
    cli.Run("stk browse", true,
            [&cli, cmd] { Walk(cli, cmd->get_option("--deactivate")->as<bool>()).Run(); });
  });
}

}  // namespace quandelstk::cli
