#include "completion.hpp"

#include <algorithm>
#include <map>
#include <vector>

namespace quandelstk::cli {

namespace {

// The words of a fixed set that the option's validator accepts, as CLI11 describes it in the type
// name (":{text,7bit,ucs2,long}"); none for other options.
std::string Choices(const CLI::Option& option) {
  const std::string type = option.get_type_name();
  const auto open = type.rfind('{');
  const auto close = type.find('}', open == std::string::npos ? 0 : open);
  if (open == std::string::npos || close == std::string::npos) return {};
  std::string words = type.substr(open + 1, close - open - 1);
  for (char& c : words)
    if (c == ',') c = ' ';
  return words;
}

bool Visible(const CLI::App* command) { return !command->get_group().empty(); }

// An option that takes a value, with the words it accepts ("" for any).
using ValuedOptions = std::map<std::string, std::string>;

// Keys: "commands|PATH", "options|PATH", "value|PATH|--OPTION" (an option that takes a value, with
// its choices) and "argument|PATH|N" (the choices of the N-th argument). PATH is the command words
// after the program's name, joined by spaces. A command's options stay valid after its
// subcommands, so each command also lists those of the commands above it.
void Collect(const CLI::App& command, const std::string& path, std::vector<std::string> options,
             ValuedOptions valued, std::map<std::string, std::string>& words) {
  int argument = 0;
  for (const CLI::Option* option : command.get_options()) {
    if (!option->nonpositional()) {
      const std::string choices = Choices(*option);
      if (!choices.empty()) words["argument|" + path + "|" + std::to_string(argument)] = choices;
      ++argument;
      continue;
    }
    for (const std::string& name : option->get_lnames()) {
      const std::string word = "--" + name;
      if (std::find(options.begin(), options.end(), word) == options.end()) options.push_back(word);
      if (option->get_type_size_max() > 0) valued[word] = Choices(*option);
    }
  }
  std::string joined;
  for (const std::string& option : options) joined += (joined.empty() ? "" : " ") + option;
  words["options|" + path] = joined;
  for (const auto& [option, choices] : valued) words["value|" + path + "|" + option] = choices;

  std::string names;
  for (const CLI::App* sub : command.get_subcommands([](const CLI::App* c) { return Visible(c); })) {
    names += (names.empty() ? "" : " ") + sub->get_name();
    Collect(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), options, valued, words);
  }
  words["commands|" + path] = names;
}

// Single quotes hold anything but a single quote.
std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

constexpr const char* kFunction = R"(
_quandelstk() {
  local cur=${COMP_WORDS[COMP_CWORD]} path= value_of= arguments=0 i word
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ -n $value_of ]]; then
      value_of=
    elif [[ $word == -* ]]; then
      [[ $word != *=* && -v "_quandelstk_words[value|$path|$word]" ]] && value_of=$word
    elif [[ " ${_quandelstk_words[commands|$path]} " == *" $word "* ]]; then
      path=${path:+$path }$word
      arguments=0
    else
      ((arguments++))
    fi
  done
  local key
  if [[ -n $value_of ]]; then
    key="value|$path|$value_of"
  elif [[ $cur == -* ]]; then
    key="options|$path"
  elif [[ -n ${_quandelstk_words[commands|$path]} ]]; then
    key="commands|$path"
  else
    key="argument|$path|$arguments"
  fi
  COMPREPLY=()
  [[ -n ${_quandelstk_words[$key]:-} ]] && COMPREPLY=($(compgen -W "${_quandelstk_words[$key]}" -- "$cur"))
  return 0
}
complete -o default -F _quandelstk quandelstk
)";

}  // namespace

std::string BashCompletion(const CLI::App& app) {
  std::map<std::string, std::string> words;
  Collect(app, "", {}, {}, words);
  std::string script =
      "# bash completion for quandelstk: its commands, their options, and the words some of them take.\n"
      "# Written by `quandelstk --bash-completion` from the program's own command tree.\n"
      "declare -gA _quandelstk_words=(\n";
  for (const auto& [key, value] : words) script += "  [" + Quoted(key) + "]=" + Quoted(value) + "\n";
  script += ")\n";
  script += kFunction;
  return script;
}

}  // namespace quandelstk::cli
