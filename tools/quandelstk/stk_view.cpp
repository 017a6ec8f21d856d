#include "stk_view.hpp"

#include <fmt/core.h>

#include "charset.hpp"
#include "quandelstk/stk.hpp"

namespace quandelstk::cli {

const char* StatusName(STKStatus status) {
  switch (status) {
    case STKStatus::STKMainMenu:
      return "STKMainMenu";
    case STKStatus::STKResponse:
      return "STKResponse";
    case STKStatus::STKInputRequest:
      return "STKInputRequest";
    case STKStatus::STKSubMenu:
      return "STKSubMenu";
    case STKStatus::STKSMSSent:
      return "STKSMSSent";
    case STKStatus::STKTimeOut:
      return "STKTimeOut";
    case STKStatus::STKSessionEnd:
      return "STKSessionEnd";
    case STKStatus::STKUnknown:
      return "STKUnknown";
  }
  return "STKUnknown";
}

std::string StatusHint(STKStatus status) {
  switch (status) {
    case STKStatus::STKMainMenu:
      return "the main menu waits; run stk menu";
    case STKStatus::STKResponse:
      return "a response waits; run stk response, then stk submit OK";
    case STKStatus::STKInputRequest:
      return "the SIM asks for input; run stk input, then stk submit TEXT";
    case STKStatus::STKSubMenu:
      return "a sub menu waits; run stk submenu";
    case STKStatus::STKSMSSent:
      return "the SIM sent a message; run stk sms-sent";
    case STKStatus::STKTimeOut:
      return "the SIM gave up waiting for an answer; run stk close";
    case STKStatus::STKSessionEnd:
      return "the session has ended; run stk menu for a new one, or stk deactivate";
    case STKStatus::STKUnknown:
      break;
  }
  return "no known indication (is the toolkit on? run stk activate; --trace shows the modem's answer)";
}

std::vector<MenuItem> MenuItems(const std::string& list) {
  std::vector<MenuItem> items;
  if (list.empty()) return items;
  std::size_t from = 0;
  for (;;) {
    const std::size_t end = list.find("\r\n", from);
    const std::string line = list.substr(from, end == std::string::npos ? std::string::npos : end - from);
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos)
      items.push_back({"", Cp1252ToUtf8(line)});
    else
      items.push_back({Cp1252ToUtf8(line.substr(0, colon)), Cp1252ToUtf8(line.substr(colon + 1))});
    if (end == std::string::npos) return items;
    from = end + 2;
  }
}

std::string MenuText(const std::string& title, const std::vector<MenuItem>& items) {
  std::string text = title.empty() ? "(no title)" : title;
  if (items.empty()) text += "\n  (no items)";
  for (const MenuItem& item : items) text += fmt::format("\n  {:>2}  {}", item.id, item.label);
  return text;
}

namespace {

nlohmann::json ItemsJson(const std::string& list) {
  nlohmann::json items = nlohmann::json::array();
  for (const MenuItem& item : MenuItems(list)) items.push_back({{"id", item.id}, {"label", item.label}});
  return items;
}

}  // namespace

nlohmann::json ToolkitProperties(const SIMToolKit& stk) {
  return {
      {"MainMenuName", Cp1252ToUtf8(stk.MainMenuName())}, {"MainMenuList", Cp1252ToUtf8(stk.MainMenuList())},
      {"SubMenuName", Cp1252ToUtf8(stk.SubMenuName())},   {"SubMenuList", Cp1252ToUtf8(stk.SubMenuList())},
      {"MainMenuItems", ItemsJson(stk.MainMenuList())},   {"SubMenuItems", ItemsJson(stk.SubMenuList())}};
}

}  // namespace quandelstk::cli
