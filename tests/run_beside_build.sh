#!/bin/sh
# run_beside_build.sh LOG TESTS BUILD
# Runs the shell command TESTS while the shell command BUILD runs at the lowest priority beside it, its
# output in LOG. The tests spend most of their time waiting on ptys, Wine and timers, so the next build
# takes the cores they leave idle; at nice 19 it hardly delays them. Fails if either fails, after both end.
log=$1 tests=$2 build=$3
mkdir -p "$(dirname "$log")"
nice -n 19 sh -c "$build" >"$log" 2>&1 &
builder=$!
sh -c "$tests"
tests_status=$?
wait "$builder"
build_status=$?
if [ "$build_status" -ne 0 ]; then
  tail -n 100 "$log"
  echo "run_beside_build: the build beside the tests failed ($build_status): $build (whole output in $log)" >&2
else
  echo "run_beside_build: built beside the tests: $build (output in $log)"
fi
[ "$tests_status" -eq 0 ] && [ "$build_status" -eq 0 ]
