#!/bin/sh
# Instructions per PDU operation under callgrind: two runs of the driver with N1 and N2 operations,
# the difference of their totals divided by N2 - N1 (startup and first-use costs cancel out). For the
# decoders a second figure leaves out the trace's log writes (everything inside channel::WriteLogs).
#   bench/pdu_callgrind.sh [build/release/bin]
set -eu
bin=${1:-build/release/bin}
n1=100
n2=1100
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

total() { callgrind_annotate "$1" 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }'; }
writes() {
  callgrind_annotate --inclusive=yes "$1" 2>/dev/null |
    awk '/channel::WriteLogs/ { gsub(",", "", $1); print $1; found = 1; exit } END { if (!found) print 0 }'
}

printf '%-12s %12s %20s\n' operation "Ir/op" "Ir/op without writes"
for op in submit7 submit-ucs2 pack7 decode5 decode160 decode-part unpack7; do
  for n in $n1 $n2; do
    valgrind --tool=callgrind --callgrind-out-file="$out/$op.$n" "$bin/pdu_callgrind_driver" "$op" "$n" \
      >/dev/null 2>&1
  done
  per_op=$(( ($(total "$out/$op.$n2") - $(total "$out/$op.$n1")) / (n2 - n1) ))
  writes_per_op=$(( ($(writes "$out/$op.$n2") - $(writes "$out/$op.$n1")) / (n2 - n1) ))
  printf '%-12s %12d %20d\n' "$op" "$per_op" "$((per_op - writes_per_op))"
done
