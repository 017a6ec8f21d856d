#!/bin/sh
# Instructions per message of the messages codec under callgrind, next to the exact codec's for the
# same message: two runs with N1 and N2 operations, the difference of their totals divided by
# N2 - N1 (start-up and first-use costs cancel out). The exact decoder's figure is given with and
# without its trace's log writes, which the messages decoder does not make.
#   bench/messages_callgrind.sh [build/release/bin]
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
per_op() {  # name command... ; prints Ir/op and Ir/op without log writes
  name=$1
  shift
  for n in $n1 $n2; do
    valgrind --tool=callgrind --callgrind-out-file="$out/$name.$n" "$@" "$n" >/dev/null 2>&1
  done
  all=$(( ($(total "$out/$name.$n2") - $(total "$out/$name.$n1")) / (n2 - n1) ))
  w=$(( ($(writes "$out/$name.$n2") - $(writes "$out/$name.$n1")) / (n2 - n1) ))
  echo "$all $((all - w))"
}

printf '%-26s %14s %14s %22s\n' message "messages Ir" "exact Ir" "exact Ir without log"
for pair in "encode160 submit7 160-char 7-bit SUBMIT" "encode-ucs2 submit-ucs2 70-char UCS2 SUBMIT" \
            "decode5 decode5 5-char DELIVER" "decode160 decode160 160-char DELIVER" \
            "decode-part decode-part concatenated part"; do
  set -- $pair
  ours=$1 exact=$2
  shift 2
  label="$*"
  m=$(per_op "m-$ours" "$bin/messages_bench" --driver "$ours")
  e=$(per_op "e-$exact" "$bin/pdu_callgrind_driver" "$exact")
  printf '%-26s %14s %14s %22s\n' "$label" "${m% *}" "${e% *}" "${e#* }"
done
for only in encode-mixed encode-long plan-long; do
  m=$(per_op "m-$only" "$bin/messages_bench" --driver "$only")
  printf '%-26s %14s %14s %22s\n' "$only" "${m% *}" - -
done
