#!/bin/sh
# Instructions per PDU operation under callgrind: two runs of the driver with N1 and N2 operations,
# the difference of their totals divided by N2 - N1 (startup and first-use costs cancel out).
# Printed next to the figures recorded when the same vectors went through every library in one binary;
# gsmlib and gammu are not built here, so those columns are the recorded figures, not measurements.
#   bench/pdu_callgrind.sh [build/release/bin]
set -eu
bin=${1:-build/release/bin}
n1=100
n2=1100
if ! command -v valgrind >/dev/null 2>&1; then
  echo "pdu_callgrind: valgrind is not installed, no instruction counts" >&2
  exit 0
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

total() { callgrind_annotate "$1" 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }'; }
per_op() {  # OPERATION LOG_TARGET
  for n in $n1 $n2; do
    valgrind --tool=callgrind --callgrind-out-file="$out/run.$n" "$bin/pdu_callgrind_driver" "$1" "$n" "$2" \
      >/dev/null 2>&1
  done
  echo $(( ($(total "$out/run.$n2") - $(total "$out/run.$n1")) / (n2 - n1) ))
}
grouped() { echo "$1" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta'; }
row() {  # LABEL OPERATION LOG_TARGET [RECORDED_OURS RECORDED_GSMLIB RECORDED_GAMMU]
  ours=$(per_op "$2" "$3")
  if [ $# -eq 6 ]; then
    printf '%-46s %9s %7s   | %9s %9s %9s\n' "$1" "$(grouped "$ours")" \
      "$(awk -v a="$ours" -v b="$5" 'BEGIN { printf "%.2f", a / b }')" \
      "$(grouped "$4")" "$(grouped "$5")" "$(grouped "$6")"
  else
    printf '%-46s %9s\n' "$1" "$(grouped "$ours")"
  fi
}

echo "Instructions per operation (callgrind). 'ours' is measured now; the columns after the bar are the"
echo "figures recorded in the earlier comparison of the same vectors (ours then, with the old trace log)."
printf '%-46s %9s %7s   | %9s %9s %9s\n' operation ours /gsmlib "ours then" gsmlib gammu
row 'DELIVER 160 characters, log on tmpfs' decode160 tmpfs 351926 40984 72477
row 'DELIVER 160 characters, log to /dev/null' decode160 devnull 351926 40984 72477
row 'DELIVER concatenated part, log on tmpfs' decode-part tmpfs 360797 40195 70633
row 'DELIVER concatenated part, log to /dev/null' decode-part devnull 360797 40195 70633
row 'DELIVER "hello", log on tmpfs' decode5 tmpfs 20139 7525 21442
row 'DELIVER "hello", log to /dev/null' decode5 devnull 20139 7525 21442
row 'SUBMIT 160 characters' submit7 tmpfs 4514 24306 191813
row 'SUBMIT 70 UCS2 characters' submit-ucs2 tmpfs
row '7-bit packing, 160 characters' pack7 tmpfs
row '7-bit unpacking, 160 characters, log on tmpfs' unpack7 tmpfs
