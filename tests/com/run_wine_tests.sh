#!/usr/bin/env bash
# The COM server's tests under Wine, against the simulated modem on a pseudo-terminal mapped to COM5:
# registration and its registry keys, the type-library checker, the text conversion check, the C++
# client, and every script in scripts/ (VBScript and JScript, each with its own simulator scenario
# when scripts/<name>.json exists), then unregistration and the keys gone again.
#
#   run_wine_tests.sh DLL_FOLDER MODEMSIM
#
# A fresh Wine prefix per run, in a temporary folder; its wineserver is started here and stopped
# on the way out. cscript's exit status proves nothing (it is 0 even after a script error), so
# every script and program prints a closing "N passed, N failed" line, which is what counts here.
set -u

dll_folder=$(cd "$1" && pwd)
modemsim=$2
here=$(cd "$(dirname "$0")" && pwd)
port=5

work=$(mktemp -d /tmp/quandelstk-wine-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko: nothing is downloaded, and nothing here needs them.
export WINEDLLOVERRIDES="mscoree=;mshtml="
bin=$work/bin
winbin="Z:${bin//\//\\}"
sim_pid=""
passed=0
failed=0

stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
    sim_pid=""
  fi
}

cleanup() {
  stop_sim
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  # KEEP_WINE_WORK=FOLDER keeps the programs, scripts and log of the run for a look afterwards.
  [ -n "${KEEP_WINE_WORK:-}" ] && cp -r "$bin" "$KEEP_WINE_WORK"
  rm -rf "$work"
}
trap cleanup EXIT

ok() { passed=$((passed + 1)); echo "ok   $1"; }
bad() { failed=$((failed + 1)); echo "FAIL $1"; }
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}

# The simulated modem with a scenario (none for the default one), mapped to COM$port.
start_sim() {
  stop_sim
  local args=()
  [ -n "${1:-}" ] && args=(--scenario "$1")
  "$modemsim" "${args[@]}" >"$work/sim.out" 2>&1 &
  sim_pid=$!
  local device=""
  for _ in $(seq 100); do
    device=$(head -n 1 "$work/sim.out" 2>/dev/null)
    [ -n "$device" ] && break
    sleep 0.1
  done
  if [ -z "$device" ]; then
    bad "the simulated modem starts (${1:-default scenario})"
    return 1
  fi
  ln -sfn "$device" "$WINEPREFIX/dosdevices/com$port"
}

# Runs a Windows program and adds up its closing "N passed, N failed" line; a program without that
# line, or that checked nothing, fails.
run_counted() {
  local name=$1
  shift
  local started=$SECONDS
  local output
  output=$(timeout 600 wine "$@" 2>&1 | tr -d '\r')
  printf '%s\n' "$output" | grep -v '^ok ' | sed 's/^/    /'
  local line
  line=$(printf '%s\n' "$output" | grep -E '^[A-Za-z_.]+: [0-9]+ passed, [0-9]+ failed$' | tail -n 1)
  if [ -z "$line" ]; then
    bad "$name printed no closing \"N passed, N failed\" line"
    return
  fi
  local p f
  p=$(sed -E 's/.*: ([0-9]+) passed, ([0-9]+) failed$/\1/' <<<"$line")
  f=$(sed -E 's/.*: ([0-9]+) passed, ([0-9]+) failed$/\2/' <<<"$line")
  passed=$((passed + p))
  failed=$((failed + f))
  if [ "$p" -eq 0 ]; then bad "$name checked nothing"; fi
  echo "---- $name: $p passed, $f failed ($((SECONDS - started)) s)"
}

# The registry's classes (HKEY_CLASSES_ROOT) exported once as .reg text: one Wine process, where a
# query per key took one each. The checks below read this snapshot; take it again after a change.
snapshot_registry() {
  rm -f "$work/classes.reg"
  wine regedit /E "Z:${work//\//\\}\\classes.reg" HKEY_CLASSES_ROOT >/dev/null 2>&1
  iconv -f UTF-16 -t UTF-8 "$work/classes.reg" 2>/dev/null | tr -d '\r' >"$work/classes.txt"
  # A snapshot that failed would let every "is gone" check pass: it must hold the system's classes.
  check "registry snapshot taken" grep -qiF '[HKEY_CLASSES_ROOT\CLSID\{00020424-0000-0000-C000-000000000046}]' \
    "$work/classes.txt"
}
# The section header of a key given as HKCR\...; keys compare without regard to letter case.
reg_section() { printf '[HKEY_CLASSES_ROOT\\%s]' "${1#HKCR\\}" | tr '[:upper:]' '[:lower:]'; }
# The default value (no name) or a named string value of a key; nothing when it is not there.
reg_value() {
  local name=${2:-} value
  local want='@='
  [ -n "$name" ] && want="\"$name\"="
  value=$(SECTION=$(reg_section "$1") WANT=$want awk '
    /^\[/ { on = tolower($0) == ENVIRON["SECTION"]; next }
    on && index($0, ENVIRON["WANT"] "\"") == 1 { print substr($0, length(ENVIRON["WANT"]) + 2); exit }' \
    "$work/classes.txt")
  value=${value%\"}
  printf '%s\n' "${value//\\\\/\\}"  # .reg text doubles every backslash
}
reg_has() { tr '[:upper:]' '[:lower:]' <"$work/classes.txt" | grep -qxF "$(reg_section "$1")"; }
reg_is() { [ "$(reg_value "$1" "${3:-}")" = "$2" ]; }

libid='{42534619-0132-4DD5-B16C-DBB1D6E2B1A9}'
declare -A clsid=(
  [Modem]='{702C7233-83BC-4189-A543-29E0D82C5A2C}' [SMS]='{3D15FBE5-0603-4104-A599-3B8355EF2CE7}'
  [SIMToolKit]='{605EFAF8-2E21-4E70-B376-0600D3C826EE}' [USSD]='{5E99AA02-3B33-4ECC-8CCC-01C9C327F51B}'
  [Phonebook]='{B2B815AD-224B-4A05-9204-C9C2004C42D9}')
interfaces=('{6A2CA489-5D65-4696-A3EA-8D88A9FFE653}' '{0D85F9F0-A587-4F73-B313-09DD4899D623}'
  '{436B5CF9-8D4E-4E44-A05D-BA3E0CC701AC}' '{40991D13-26C8-4BE8-9383-0E8A2B32DE30}'
  '{3A2273E8-7B37-4315-AEEE-21D4C64EF2CA}')
read -r -a built <"$dll_folder/QuandelSTK6.classes"

check_registered() {
  local dll="$winbin\\QuandelSTK6.dll"
  for c in "${!clsid[@]}"; do
    local id=${clsid[$c]} key="HKCR\\CLSID\\${clsid[$c]}"
    if [[ " ${built[*]} " != *" $c "* ]]; then
      check "$c is not registered by a build without it" eval '! reg_has "HKCR\\QuandelSTK6.$c" && ! reg_has "$key"'
      continue
    fi
    check "$c: CLSID names its ProgID" reg_is "$key" "QuandelSTK6.$c"
    check "$c: InprocServer32 is the DLL" reg_is "$key\\InprocServer32" "$dll"
    check "$c: ThreadingModel Apartment" reg_is "$key\\InprocServer32" Apartment ThreadingModel
    check "$c: ProgID QuandelSTK6.$c.1" reg_is "$key\\ProgID" "QuandelSTK6.$c.1"
    check "$c: VersionIndependentProgID" reg_is "$key\\VersionIndependentProgID" "QuandelSTK6.$c"
    check "$c: TypeLib" reg_is "$key\\TypeLib" "$libid"
    check "$c: QuandelSTK6.$c leads to the CLSID" reg_is "HKCR\\QuandelSTK6.$c\\CLSID" "$id"
    check "$c: QuandelSTK6.$c.1 leads to the CLSID" reg_is "HKCR\\QuandelSTK6.$c.1\\CLSID" "$id"
    check "$c: CurVer is QuandelSTK6.$c.1" reg_is "HKCR\\QuandelSTK6.$c\\CurVer" "QuandelSTK6.$c.1"
  done
  # Locale 409, as the library declares; Wine writes the path in its long form (\\?\).
  check "type library QuandelSTK6 2.0 registered" reg_is "HKCR\\TypeLib\\$libid\\2.0" QuandelSTK6
  local typelib_path long_form='\\?\'
  typelib_path=$(reg_value "HKCR\\TypeLib\\$libid\\2.0\\409\\win64")
  check "type library registered for win64 at the DLL ($typelib_path)" test "${typelib_path#"$long_form"}" = "$dll"
  for iid in "${interfaces[@]}"; do
    check "interface $iid marshalled by the automation marshaler" \
      reg_is "HKCR\\Interface\\$iid\\ProxyStubClsid32" '{00020424-0000-0000-C000-000000000046}'
  done
}

check_unregistered() {
  for c in "${!clsid[@]}"; do
    check "$c: CLSID key gone" eval '! reg_has "HKCR\\CLSID\\${clsid[$c]}"'
    check "$c: ProgIDs gone" eval '! reg_has "HKCR\\QuandelSTK6.$c" && ! reg_has "HKCR\\QuandelSTK6.$c.1"'
  done
  check "type library registration gone" eval '! reg_has "HKCR\\TypeLib\\$libid"'
  for iid in "${interfaces[@]}"; do
    check "interface $iid gone" eval '! reg_has "HKCR\\Interface\\$iid"'
  done
}

started=$SECONDS
mkdir -p "$WINEPREFIX" "$bin"
wineserver -p >/dev/null 2>&1  # its stderr would get its object table when it stops
timeout 180 wineboot -i >/dev/null 2>&1
check "a fresh Wine prefix" test -d "$WINEPREFIX/drive_c/windows/system32"
# Windows without a display: the C++ client's message window needs a window driver.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
cp "$dll_folder"/QuandelSTK6.dll "$dll_folder"/Unicode.txt "$dll_folder"/typelib_check.exe \
  "$dll_folder"/com_client.exe "$dll_folder"/bstr_text_check.exe "$bin"/
cp "$here"/scripts/*.js "$bin"/ 2>/dev/null
# Every VBScript test begins with the shared Check of scripts/_check.vbs.
for script in "$here"/scripts/[!_]*.vbs; do
  cat "$here"/scripts/_check.vbs "$script" >"$bin/$(basename "$script")"
done
echo "---- Wine prefix ready ($((SECONDS - started)) s)"

check "regsvr32 registers the DLL" wine regsvr32 /s "$winbin\\QuandelSTK6.dll"
snapshot_registry
check_registered

run_counted typelib_check "$bin/typelib_check.exe"
run_counted bstr_text_check "$bin/bstr_text_check.exe"

start_sim "$here/scripts/com_client.json" && run_counted com_client "$bin/com_client.exe" "$winbin\\QuandelSTK6.dll" "$port"

for script in "$here"/scripts/[!_]*.vbs "$here"/scripts/*.js; do
  [ -e "$script" ] || continue
  name=$(basename "$script")
  scenario="${script%.*}.json"
  [ -e "$scenario" ] || scenario=""
  start_sim "$scenario" || continue
  run_counted "$name" cscript //nologo "$winbin\\$name" "$port"
done
stop_sim

# The trapped failures of the run are logged beside the DLL, with the library's version in every
# record's banner.
log=$(ls "$bin"/"QUANDEL STK API Log_"*.txt 2>/dev/null | head -n 1)
check "the diagnostic log is written beside the DLL" test -n "$log"
check "its records carry the version 6.6.1" grep -q '^\*\*\* QUANDEL STK API version 6\.6\.1 log dated on ' "${log:-/dev/null}"
# Init traps the serial control's errors and logs their numbers: a port that does not exist
# (errors.vbs), a port held by another thread (com_client).
check "Init logged the invalid port as 8002" grep -q '^Error 8002 (Invalid port number: COM45 does not exist)' "${log:-/dev/null}"
check "Init logged the port held elsewhere as 8005" grep -q '^Error 8005 (Port already open: COM5 ' "${log:-/dev/null}"

check "regsvr32 /u unregisters the DLL" wine regsvr32 /u /s "$winbin\\QuandelSTK6.dll"
snapshot_registry
check_unregistered

echo "---- Wine tests took $((SECONDS - started)) s"
echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
