#!/bin/sh
# Runs every fuzz target for SECONDS each on a working corpus grown from its checked-in seeds, and
# prints per target: seconds run, executions, corpus size, and the crashes it left (must be 0).
#   fuzz/run.sh BIN_DIR WORK_DIR SECONDS [TARGET...]     (all targets when none is named)
# Exits 1 when any target crashed, hung or reported a sanitizer error; the input is in WORK_DIR/artifacts.
set -u
bin=$1 work=$2 seconds=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work/artifacts"
failed=0
printf '%-12s %8s %12s %8s %8s\n' target seconds executions corpus crashes
targets=${*:-$(cd "$here/corpus" && ls)}
for name in $targets; do
  seeds="$here/corpus/$name"
  corpus="$work/corpus/$name"
  mkdir -p "$corpus"
  log="$work/$name.log"
  start=$(date +%s)
  # -timeout: one input may take at most 10 s of real time (the virtual clock runs far faster);
  # -close_fd_mask=1: what the CLI prints is not wanted, the reports on stderr are.
  "$bin/fuzz_$name" "$corpus" "$seeds" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=1 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/$name-" >"$log" 2>&1
  status=$?
  took=$(( $(date +%s) - start ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  size=$(find "$corpus" -type f | wc -l)
  crashes=$(find "$work/artifacts" -name "$name-*" -type f | wc -l)
  printf '%-12s %8s %12s %8s %8s\n' "$name" "$took" "${execs:-?}" "$size" "$crashes"
  if [ "$status" -ne 0 ] || [ "$crashes" -ne 0 ]; then
    failed=1
    grep -a -E 'broken promise|ERROR:|SUMMARY:|runtime error' "$log" | head -5
  fi
done
exit $failed
