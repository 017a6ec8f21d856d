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
complete -p quandelstk >/dev/null 2>&1 || fail "the script registers no completion for quandelstk"

# expect LINE OFFERED: the words offered for the last word of LINE (a line ending in a blank
# completes a new word), sorted and joined by blanks.
expect() {
  local got
  read -ra COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _quandelstk
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | paste -sd ' ' -)
  [[ $got == "$2" ]] || fail "after '$1' TAB offers '$got', not '$2'"
  echo "    '$1' -> '$got'"
}
# The commands a help text lists under "Subcommands:".
listed() { sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && /^  [a-z]/ { print $1 }' | sort | paste -sd ' ' -; }

top=$("$2" --help | listed)
[[ -n $top ]] || fail "quandelstk --help lists no commands"
# LINE|OFFERED; after a word that is no command, the commands again.
while IFS='|' read -r line offered <&3; do expect "$line" "$offered"; done 3<<EOF
quandelstk sm|sms smsc
quandelstk s|shell shutdown signal sms smsc stk
quandelstk sms |online read report send
quandelstk sms send --m|--mode
quandelstk sms send --mode |7bit long text ucs2
quandelstk sms send --mode ucs2 --h|--help --help-all --hex
quandelstk sms report |get off on
quandelstk sms report on |
quandelstk pin lock |off on
quandelstk clock --s|--sync
quandelstk --p|--pin --pin-file --port
quandelstk --port /dev/ttyUSB0 si|signal
quandelstk --port |
quandelstk --json sms read --q|--quiet
quandelstk sms send +15550100123 |
quandelstk |$top
quandelstk nosuch |$top
EOF
for command in $top; do
  under=$("$2" "$command" --help | listed)
  [[ -n $under ]] && expect "quandelstk $command " "$under"
done
echo "completion test passed"
