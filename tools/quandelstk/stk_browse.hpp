// stk browse: the SIM's menus walked as a person uses them on a phone.
#pragma once

#include <CLI/CLI.hpp>

namespace quandelstk::cli {

class Cli;

void AddStkBrowseCommand(CLI::App& stk, Cli& cli);

}  // namespace quandelstk::cli
