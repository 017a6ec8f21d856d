#!/bin/bash
# completion_test.sh COMPLETION_SCRIPT QUANDELSTK
# What TAB offers after a command line, with the completion script the build wrote, compared with
# what the program's own help lists.
set -uo pipefail
export LC_ALL=C
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# shellcheck source=/dev/null
source "$1" || fail "$1 is no bash script"
CLI=$2

# The words offered for the last word of the line (a line ending in a blank completes a new word),
# sorted and joined by blanks.
offered() {
  local line=$1
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _quandelstk
  printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | paste -sd ' ' -
}
expect() {
  local got
  got=$(offered "$1")
  [[ $got == "$2" ]] || fail "after '$1' TAB offers '$got', not '$2'"
  echo "    '$1' -> '$got'"
}
# The commands a help text lists under "Subcommands:".
listed() { sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && /^  [a-z]/ { print $1 }' | sort | paste -sd ' ' -; }

complete -p quandelstk >/dev/null 2>&1 || fail "the script registers no completion for quandelstk"

expect "quandelstk sm" "sms"
expect "quandelstk s" "shell shutdown signal sms stk"
expect "quandelstk sms " "online read report send"
expect "quandelstk sms send --m" "--mode"
expect "quandelstk sms send --mode " "7bit long text ucs2"
expect "quandelstk sms send --mode ucs2 --h" "--help --help-all --hex"
expect "quandelstk sms report " "get off on"
expect "quandelstk sms report on " ""
expect "quandelstk --p" "--pin --port"
expect "quandelstk --port /dev/ttyUSB0 si" "signal"
expect "quandelstk --port " ""
expect "quandelstk --json sms read --q" "--quiet"
expect "quandelstk sms send +15550100123 " ""

top=$("$CLI" --help | listed)
[[ -n $top ]] || fail "quandelstk --help lists no commands"
expect "quandelstk " "$top"
# After a word that is no command, the commands again.
expect "quandelstk nosuch " "$top"
for command in $top; do
  under=$("$CLI" "$command" --help | listed)
  [[ -n $under ]] && expect "quandelstk $command " "$under"
done
echo "completion test passed"
