// Bash completion for the CLI, written from its own command tree, so that a new command or option
// completes as soon as it exists.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace quandelstk::cli {

// A bash script that completes, for `quandelstk`: the commands and subcommands, the options of the
// command typed so far and of the commands above it, and the choices of options and arguments that
// take one of a fixed set of words. Where nothing fits, bash's file names.
std::string BashCompletion(const CLI::App& app);

}  // namespace quandelstk::cli
