# Shared by the packaging tests: messages, file checks, the simulated modem on a pseudo-terminal, and
# the consumer program built the ways a library user builds one. Sourced, with WORK set to a
# scratch folder that the caller removes.
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() { echo "== $*"; }

# expect_paths ROOT PATH...: every PATH exists under ROOT (a symbolic link counts).
expect_paths() {
  local root=$1 path
  shift
  for path; do
    [[ -e $root/$path || -L $root/$path ]] || fail "$root/$path is missing"
  done
}

SIM_PID=
# start_sim PROGRAM: the simulator with the consumer's scenario; sets SIM_DEVICE. The consumer reads
# and deletes the one stored message, so every consumer run gets a simulator of its own.
start_sim() {
  local out=$WORK/sim.out
  : >"$out"
  "$1" --scenario "$CONSUMER_SOURCE/scenario.json" >"$out" 2>"$WORK/sim.err" &
  SIM_PID=$!
  for _ in $(seq 100); do
    [[ -s $out ]] && break
    sleep 0.1
  done
  SIM_DEVICE=$(head -n 1 "$out")
  [[ $SIM_DEVICE == /dev/* ]] || fail "$1 printed no device path: $(cat "$WORK/sim.err")"
}
stop_sim() {
  if [[ -n $SIM_PID ]]; then
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
    SIM_PID=
  fi
}

# run_consumer LABEL SIMULATOR PROGRAM: runs PROGRAM against a fresh simulator; its output is in
# CONSUMER_OUTPUT.
run_consumer() {
  start_sim "$2"
  CONSUMER_OUTPUT=$(timeout 120 "$3" "$SIM_DEVICE" 2>&1) || fail "$1: $3 ended with $?: $CONSUMER_OUTPUT"
  stop_sim
  sed "s/^/    $1: /" <<<"$CONSUMER_OUTPUT"
}

# expect_consumer_works LABEL SIMULATOR PROGRAM: Init, the simulator's signal level, the stored UCS2
# message decoded through the installed "Unicode.txt", and a library error caught by its type.
expect_consumer_works() {
  run_consumer "$@"
  grep -qx "version $VERSION" <<<"$CONSUMER_OUTPUT" || fail "$1: the headers are not version $VERSION"
  grep -qx "signal 1" <<<"$CONSUMER_OUTPUT" || fail "$1: the simulator's signal level 1 was not read"
  grep -qx "message café €5" <<<"$CONSUMER_OUTPUT" ||
    fail "$1: the UCS2 message was not decoded (is Unicode.txt found from the install?)"
  grep -qx "error 5" <<<"$CONSUMER_OUTPUT" || fail "$1: a RuntimeError of the library was not caught by its type"
}

# build_consumers PREFIX_PATH LIBRARY_FOLDER PKG_CONFIG_ENV... : the consumer through find_package
# (shared and static) in $WORK/cmake-consumer, and through pkg-config as $WORK/pkgconfig-consumer
# (which finds the shared library in LIBRARY_FOLDER).
build_consumers() {
  local prefix_path=$1 library_folder=$2
  shift 2
  step "building the consumer with find_package(QuandelSTK6 6.6 CONFIG)"
  cmake -S "$CONSUMER_SOURCE" -B "$WORK/cmake-consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix_path" \
    -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_CXX_FLAGS="$CONSUMER_FLAGS" -DCMAKE_EXE_LINKER_FLAGS="$CONSUMER_FLAGS" \
    >"$WORK/consumer-configure.log" 2>&1 || fail "configuring the consumer: $(cat "$WORK/consumer-configure.log")"
  cmake --build "$WORK/cmake-consumer" >"$WORK/consumer-build.log" 2>&1 ||
    fail "building the consumer: $(cat "$WORK/consumer-build.log")"

  step "building the consumer with pkg-config"
  local flags
  flags=$(env "$@" pkg-config --cflags --libs quandelstk) || fail "pkg-config does not find quandelstk"
  local version
  version=$(env "$@" pkg-config --modversion quandelstk)
  [[ $version == "$VERSION" ]] || fail "pkg-config gives version $version, not $VERSION"
  echo "    pkg-config: $flags"
  # shellcheck disable=SC2086 # the flags are words
  "$CXX" -std=c++20 $CONSUMER_FLAGS "$CONSUMER_SOURCE/consumer.cpp" -o "$WORK/pkgconfig-consumer" $flags \
    "-Wl,-rpath,$library_folder" >"$WORK/pkgconfig-build.log" 2>&1 ||
    fail "building with pkg-config's flags: $(cat "$WORK/pkgconfig-build.log")"
}

# expect_linked_to PROGRAM LIBRARY: the dynamic loader gives PROGRAM this libquandelstk.so.6.
expect_linked_to() {
  local loaded
  loaded=$(ldd "$1") || fail "ldd $1: $loaded"
  # Not a pipe into grep -q: with pipefail, ldd killed by the early exit would count as a failure.
  grep -qF "libquandelstk.so.6 => $2 " <<<"$loaded" || fail "$1 does not load $2: $loaded"
}

# expect_python_works LABEL SIMULATOR PYTHONPATH [ENV...]: the installed Python module against a fresh
# simulator: Init by device path, the signal level, the stored UCS2 message decoded through the
# installed code table, a character refused, a library error caught as quandelstk.RuntimeError.
expect_python_works() {
  local label=$1 simulator=$2 pythonpath=$3 output
  shift 3
  start_sim "$simulator"
  output=$(cd "$WORK" && env PYTHONPATH="$pythonpath" PYTHONDONTWRITEBYTECODE=1 "$@" timeout 120 /usr/bin/python3 \
    "$SOURCE/tests/packaging/python_check.py" "$SIM_DEVICE" 2>&1) || fail "$label: the Python check ended with $?: $output"
  stop_sim
  sed "s/^/    $label: /" <<<"$output"
  grep -q "^module $pythonpath/quandelstk\.cpython-.*\.so$" <<<"$output" || fail "$label: python did not import the installed module"
  grep -qx "version $VERSION" <<<"$output" || fail "$label: the module is not version $VERSION"
  grep -qx "signal 1" <<<"$output" || fail "$label: the simulator's signal level 1 was not read"
  grep -qx "message café €5" <<<"$output" || fail "$label: the UCS2 message was not decoded (is Unicode.txt found?)"
  grep -qx "refused Ω" <<<"$output" || fail "$label: a character without a Windows-1252 code was not refused"
  grep -qx "error 5" <<<"$output" || fail "$label: a library error was not raised as quandelstk.RuntimeError"
}
