# Shared by the packaging tests: messages, the simulated modem on a pseudo-terminal, and the consumer
# program built and run as a library user does. Sourced with SOURCE (and VERSION, CXX and
# CONSUMER_FLAGS for the consumer) set; works in the scratch folder WORK, removed at exit.
set -euo pipefail
# Digits only in the name: the library masks upper-case words such as AT or OK in its log, and the
# install test looks for paths there.
WORK=${TMPDIR:-/tmp}/qstk-packaging-$$-$RANDOM
mkdir -m 700 "$WORK"
trap 'stop_sim; rm -rf "$WORK"' EXIT
CONSUMER_SOURCE=$SOURCE/tests/packaging/consumer SIM_PID=
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() { echo "== $*"; }
# expect_lines LABEL TEXT LINE...: each LINE is a whole line of TEXT.
expect_lines() {
  local label=$1 text=$2 line
  shift 2
  for line; do grep -qxF -- "$line" <<<"$text" || fail "$label: no line '$line' in: $text"; done
}
stop_sim() {
  [[ -n $SIM_PID ]] || return 0
  kill "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true
  SIM_PID=
}

# with_sim LABEL SIMULATOR COMMAND...: COMMAND with the device of a fresh simulator of the consumer's
# scenario as last argument (the consumer deletes the one stored message); its output in OUTPUT.
# What the consumer prints when it works, in CONSUMER_LINES: the headers' version, the simulator's
# signal level, the stored UCS2 message decoded through the installed "Unicode.txt", a library
# error caught by its type.
with_sim() {
  local label=$1 out=$WORK/sim.out device
  : >"$out"
  "$2" --scenario "$CONSUMER_SOURCE/scenario.json" >"$out" 2>"$WORK/sim.err" &
  SIM_PID=$!
  shift 2
  for _ in $(seq 100); do [[ -s $out ]] && break || sleep 0.1; done
  device=$(head -n 1 "$out")
  [[ $device == /dev/* ]] || fail "the simulator printed no device path: $(cat "$WORK/sim.err")"
  OUTPUT=$(cd "$WORK" && timeout 120 "$@" "$device" 2>&1) || fail "$label: $* ended with $?: $OUTPUT"
  stop_sim
  sed "s/^/    $label: /" <<<"$OUTPUT"
  CONSUMER_LINES=("version $VERSION" "signal 1" "message café €5" "error 5")
}

# use_library PREFIX_PATH LIBRARY_FOLDER SIMULATOR PKG_CONFIG_ENV...: the consumer built through
# find_package (shared and static, in $WORK/cmake-consumer) and through pkg-config, each loading
# LIBRARY_FOLDER's libquandelstk.so.6, run against SIMULATOR.
use_library() {
  local prefix_path=$1 library=$2/libquandelstk.so.6 simulator=$3 flags program loaded
  shift 3
  step "the consumer through find_package(QuandelSTK6 6.6 CONFIG) and through pkg-config"
  { cmake -S "$CONSUMER_SOURCE" -B "$WORK/cmake-consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix_path" \
    -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_CXX_FLAGS="$CONSUMER_FLAGS" -DCMAKE_EXE_LINKER_FLAGS="$CONSUMER_FLAGS" &&
    cmake --build "$WORK/cmake-consumer"; } >"$WORK/consumer.log" 2>&1 || fail "find_package: $(cat "$WORK/consumer.log")"
  flags=$(env "$@" pkg-config --cflags --libs quandelstk) || fail "pkg-config does not find quandelstk"
  [[ $(env "$@" pkg-config --modversion quandelstk) == "$VERSION" ]] || fail "pkg-config gives another version than $VERSION"
  # shellcheck disable=SC2086 # the flags are words
  "$CXX" -std=c++20 $CONSUMER_FLAGS "$CONSUMER_SOURCE/consumer.cpp" -o "$WORK/pkgconfig-consumer" $flags \
    "-Wl,-rpath,${library%/*}" >"$WORK/pkgconfig.log" 2>&1 || fail "pkg-config's flags $flags: $(cat "$WORK/pkgconfig.log")"
  for program in "$WORK/cmake-consumer/consumer_shared" "$WORK/pkgconfig-consumer"; do
    # Read whole before grep: with pipefail, ldd cut short by grep -q would count as a failure.
    loaded=$(ldd "$program") || fail "ldd $program: $loaded"
    [[ $loaded == *"libquandelstk.so.6 => $library "* ]] || fail "$program does not load $library: $loaded"
    with_sim "${program##*/}" "$simulator" "$program"
    expect_lines "${program##*/}" "$OUTPUT" "${CONSUMER_LINES[@]}"
  done
}

# use_python SIMULATOR PYTHONPATH [ENV...]: the installed module, as the consumer, and a character
# without a Windows-1252 code refused.
use_python() {
  local pythonpath=$2
  with_sim python "$1" env PYTHONPATH="$2" PYTHONDONTWRITEBYTECODE=1 "${@:3}" /usr/bin/python3 \
    "$SOURCE/tests/packaging/python_check.py"
  grep -q "^module $pythonpath/quandelstk\.cpython-.*\.so$" <<<"$OUTPUT" || fail "python did not import the installed module"
  expect_lines python "$OUTPUT" "${CONSUMER_LINES[@]}" "refused Ω"
}
