// How the CLI shows the SIM toolkit: status names and what to do next, menus as numbered lines or
// as JSON items, and the four menu properties.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "quandelstk/enums.hpp"

namespace quandelstk {
class SIMToolKit;
}

namespace quandelstk::cli {

// "STKSubMenu" and so on.
const char* StatusName(STKStatus status);
// What a person does next in this status, as a short sentence.
std::string StatusHint(STKStatus status);

struct MenuItem {
  std::string id;     // as the SIM wrote it
  std::string label;  // UTF-8
};
// The lines of a menu list ("<id>:<label>" separated by CR LF).
std::vector<MenuItem> MenuItems(const std::string& list);
// Title and items, one "  <id>  <label>" line each.
std::string MenuText(const std::string& title, const std::vector<MenuItem>& items);

// The four menu properties, and the two lists as arrays of {"id", "label"}.
nlohmann::json ToolkitProperties(const SIMToolKit& stk);

}  // namespace quandelstk::cli
