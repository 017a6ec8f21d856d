// stk status / activate / deactivate / close / menu / select / submenu / subselect / input / submit /
// response / sms-sent, one call of the SIMToolKit each, and stk browse (stk_browse.cpp). One
// SIMToolKit object lives as long as the CLI, so that the shell keeps its menu properties.
#include <fmt/core.h>

#include "channel/exchange.hpp"
#include "charset.hpp"
#include "cli.hpp"
#include "quandelstk/stk.hpp"
#include "stk_browse.hpp"
#include "stk_view.hpp"

namespace quandelstk::cli {

namespace {

void Report(Cli& cli, const std::string& command, const nlohmann::json& result, bool success,
            const std::string& human, const nlohmann::json& details = nlohmann::json::object()) {
  cli.Report("stk " + command, result, success, human, ToolkitProperties(cli.Toolkit()), details);
}

using Body = std::function<void(Cli&, SIMToolKit&, const CLI::App& cmd)>;

// One stk command; body runs after Init and reads the command's arguments from cmd.
CLI::App* Add(CLI::App& stk, Cli& cli, const std::string& name, const std::string& help, Body body) {
  auto* cmd = stk.add_subcommand(name, help);
  cmd->callback(
      [&cli, name, body, cmd] { cli.Run("stk " + name, true, [&] { body(cli, cli.Toolkit(), *cmd); }); });
  return cmd;
}

// A text the toolkit shows: "" is the failure value.
void ReportText(Cli& cli, const std::string& command, const std::string& text, const std::string& status) {
  const std::string shown = Cp1252ToUtf8(text);
  Report(cli, command, shown, !shown.empty(),
         shown.empty() ? fmt::format("(nothing to show: run stk status; it must be {})", status) : shown);
}

void ItemArgument(CLI::App* cmd) {
  cmd->add_option("ITEM", "the item's id as the menu lists it")
      ->required()
      ->check(WholeNumber(-32768, 32767));
}

void AddStatusAndSession(CLI::App& stk, Cli& cli) {
  Add(stk, cli, "status",
      "What the toolkit has pending (AT+STIN?): STKMainMenu, STKResponse, STKInputRequest, STKSubMenu, "
      "STKSMSSent, STKTimeOut, STKSessionEnd, or STKUnknown when it cannot tell. Valid once the toolkit "
      "is on; ask it after every selection and submission.",
      [](Cli& c, SIMToolKit& t, const CLI::App&) {
        const STKStatus s = t.STKStatusGet();
        Report(c, "status", StatusName(s), s != STKStatus::STKUnknown,
               fmt::format("{} ({}): {}", StatusName(s), static_cast<int>(s), StatusHint(s)),
               {{"status", static_cast<int>(s)}});
      });
  Add(stk, cli, "activate",
      "Switch the SIM toolkit on (terminal profile, then AT+STSF=1). Valid in any status: run it first, then "
      "stk menu.",
      [](Cli& c, SIMToolKit& t, const CLI::App&) {
        const bool r = t.ActivateSTK();
        Report(c, "activate", r, r,
               r ? "true: the toolkit is on; run stk menu"
                 : "false: the toolkit did not switch on (the modem may not offer it; --trace shows its "
                   "answers)");
      });
  Add(stk, cli, "close",
      "End the current toolkit session (AT+STGR=99). Valid in any status while the toolkit is on.",
      [](Cli& c, SIMToolKit& t, const CLI::App&) {
        const bool r = t.CloseSTK();
        Report(c, "close", r, r,
               r ? "true: the session is closed"
                 : "false: the modem refused (is the toolkit on? run stk activate)");
      });
  Add(stk, cli, "deactivate",
      "Switch the toolkit off (AT+STSF=0) and restore the message settings; while the SIM is not ready this "
      "waits 7 s at a time, up to three times 12 attempts. Valid in any status; close a session first.",
      [](Cli& c, SIMToolKit& t, const CLI::App&) {
        c.out.Progress("switching the toolkit off, then restoring the message settings");
        const bool r = t.DeactivateSTK();
        std::string human = "false: the modem refused to switch the toolkit off (--trace shows its answer)";
        if (r && channel::IsPortOpen()) human = "true: the toolkit is off";
        if (r && !channel::IsPortOpen())
          human =
              "true: the toolkit is off, but the line failed while restoring the message settings and the "
              "port is closed; run init";
        Report(c, "deactivate", r, r, human, {{"portOpen", channel::IsPortOpen()}});
      });
}

void AddMenus(CLI::App& stk, Cli& cli) {
  Add(stk, cli, "menu",
      "Fetch the main menu into MainMenuName and MainMenuList. Valid when the status is STKMainMenu or right "
      "after stk activate; a SIM that is still preparing its menu gets eight attempts and one radio restart "
      "(up to two minutes).",
      [](Cli& c, SIMToolKit& t, const CLI::App&) {
        const bool r = t.MainMenuDisplay();
        Report(c, "menu", r, r,
               r ? MenuText(Cp1252ToUtf8(t.MainMenuName()), MenuItems(t.MainMenuList()))
                 : "false: no main menu (run stk activate first; --trace shows the modem's answers)");
      });
  auto* select =
      Add(stk, cli, "select",
          "Select item ITEM of the main menu (its id from stk menu); a refused selection is tried "
          "three times. Valid after stk menu; then run stk status.",
          [](Cli& c, SIMToolKit& t, const CLI::App& cmd) {
            const auto item = cmd.get_option("ITEM")->as<std::int16_t>();
            const bool r = t.MainMenuSelect(item);
            Report(c, "select", r, r,
                   r ? fmt::format("true: item {} selected; run stk status", item)
                     : fmt::format("false: the SIM refused item {}; check the ids with stk menu", item));
          });
  ItemArgument(select);
  Add(stk, cli, "submenu",
      "Fetch the current sub menu into SubMenuName and SubMenuList. Valid when the status is STKSubMenu.",
      [](Cli& c, SIMToolKit& t, const CLI::App&) {
        const bool r = t.SubMenuDisplay();
        Report(c, "submenu", r, r,
               r ? MenuText(Cp1252ToUtf8(t.SubMenuName()), MenuItems(t.SubMenuList()))
                 : "false: no sub menu (run stk status; it must be STKSubMenu)");
      });
  auto* subselect =
      Add(stk, cli, "subselect",
          "Select item ITEM of the sub menu (its id from stk submenu). Valid when the status is "
          "STKSubMenu; then run stk status.",
          [](Cli& c, SIMToolKit& t, const CLI::App& cmd) {
            const auto item = cmd.get_option("ITEM")->as<std::int16_t>();
            const bool r = t.SubMenuSelect(item);
            Report(c, "subselect", r, r,
                   r ? fmt::format("true: item {} selected; run stk status", item)
                     : fmt::format("false: the SIM refused item {}; check the ids with stk submenu", item));
          });
  ItemArgument(subselect);
}

void AddTexts(CLI::App& stk, Cli& cli) {
  Add(stk, cli, "input",
      "Show the prompt of the pending input request. Valid when the status is STKInputRequest.",
      [](Cli& c, SIMToolKit& t, const CLI::App&) {
        ReportText(c, "input", t.InputRequestDisplay(), "STKInputRequest");
      });
  auto* submit =
      Add(stk, cli, "submit",
          "Answer the input request with TEXT (UTF-8; \"\" sends an empty answer). TEXT \"OK\" in any "
          "letter case is not sent as text: it confirms a response instead. Valid when the status is "
          "STKInputRequest (after stk input), or with OK when it is STKResponse; then run stk status.",
          [](Cli& c, SIMToolKit& t, const CLI::App& cmd) {
            const std::string text = Utf8ToCp1252(cmd.get_option("TEXT")->as<std::string>());
            const bool r = t.InputSubmit(text);
            Report(c, "submit", r, r,
                   r ? "true: submitted; run stk status"
                     : "false: not accepted (run stk status: an input request or, for OK, a response "
                       "must be pending)");
          });
  submit->add_option("TEXT", "the answer, or OK to confirm a response")->required();
  Add(stk, cli, "response",
      "Show the toolkit's response text. Valid when the status is STKResponse; confirm it with "
      "stk submit OK.",
      [](Cli& c, SIMToolKit& t, const CLI::App&) {
        ReportText(c, "response", t.ResponseDisplay(), "STKResponse");
      });
  Add(stk, cli, "sms-sent",
      "Show the notice of a message the toolkit sent. Valid when the status is STKSMSSent.",
      [](Cli& c, SIMToolKit& t, const CLI::App&) {
        ReportText(c, "sms-sent", t.SMSSentDisplay(), "STKSMSSent");
      });
}

}  // namespace

void AddStkCommands(CLI::App& app, Cli& cli) {
  auto* stk = app.add_subcommand("stk",
                                 "The SIM toolkit: switch it on and off, its menus, input requests and "
                                 "responses; stk browse walks it like a phone");
  stk->require_subcommand(1);
  AddStatusAndSession(*stk, cli);
  AddMenus(*stk, cli);
  AddTexts(*stk, cli);
  AddStkBrowseCommand(*stk, cli);
}

}  // namespace quandelstk::cli
