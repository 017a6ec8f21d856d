#!/bin/bash
# deb_test.sh SOURCE_DIR BUILD_DIR LIBDIR VERSION DEB_VERSION CXX [python|no-python]
# Makes the Debian packages of a build configured with the deb preset, checks what each holds and
# depends on, runs lintian on them, installs them with dpkg into a scratch root, uses them there as a
# library user and an operator would, and removes them again.
SOURCE=$1 BUILD=$2 LIBDIR=$3 VERSION=$4 DEB_VERSION=$5 CXX=$6 CONSUMER_FLAGS= WITH_PYTHON=${7:-no-python}
# shellcheck source=lib.sh
source "$SOURCE/tests/packaging/lib.sh"
ARCH=$(dpkg --print-architecture)
PY_DIR=usr/lib/python3/dist-packages

step "cpack -G DEB"
rm -rf "$BUILD/packages"
(cd "$BUILD" && cpack -G DEB >"$WORK/cpack.log" 2>&1) || fail "cpack: $(cat "$WORK/cpack.log")"
deb() { echo "$BUILD/packages/$1_${DEB_VERSION}_$ARCH.deb"; }
LIB=$(deb libquandelstk6) DEV=$(deb libquandelstk-dev) TOOLS=$(deb quandelstk-tools) PY=
DEBS=("$LIB" "$DEV" "$TOOLS")
[[ $WITH_PYTHON != python ]] || { PY=$(deb python3-quandelstk) && DEBS+=("$PY"); }
field() { dpkg-deb -f "$1" "$2"; }

step "what each package holds, and does not"
headers=$(cd "$SOURCE/include" && printf 'usr/include/%s ' quandelstk/*.hpp)
py_module=$PY_DIR/quandelstk$(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
# PACKAGE|paths it holds (a line goes on on the next, indented)|extended regular expression of what
# it must not hold (nothing a second major version would also ship but the code table)|what it
# depends on, split by ';': the binaries' own from dpkg-shlibdeps, and the library's code table.
python_version=$(/usr/bin/python3 -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1]}")')
L=usr/$LIBDIR D=usr/share/doc M=usr/share/man/man1
holdings=$(sed -z 's/\n  |/|/g; s/\n  / /g' <<EOF
$LIB|$L/libquandelstk.so.6 $L/libquandelstk.so.$VERSION usr/share/quandelstk/Unicode.txt $D/libquandelstk6/copyright
  $D/libquandelstk6/changelog.Debian.gz|include/|\.a$|libquandelstk\.so$|usr/bin/|libc6;libstdc++6
$DEV|$headers $L/libquandelstk.so $L/libquandelstk.a $L/cmake/QuandelSTK6/QuandelSTK6Config.cmake $L/pkgconfig/quandelstk.pc
  $L/cmake/QuandelSTK6/QuandelSTK6ConfigVersion.cmake $L/cmake/QuandelSTK6/QuandelSTK6Targets.cmake
  $D/libquandelstk-dev/copyright||libquandelstk6 (= $DEB_VERSION)
$TOOLS|usr/bin/quandelstk usr/bin/quandelstk-modemsim usr/bin/quandelstk-gateway $M/quandelstk.1.gz $M/quandelstk-modemsim.1.gz
  $M/quandelstk-gateway.1.gz usr/share/bash-completion/completions/quandelstk $D/quandelstk-tools/copyright
  usr/lib/systemd/system/quandelstk-gateway.service $D/quandelstk-tools/examples/gateway.toml|\.so|include/
  |libquandelstk6 (= $DEB_VERSION);libc6;libstdc++6;libfmt;libedit
$PY|$py_module $PY_DIR/quandelstk.pyi $D/python3-quandelstk/copyright|libquandelstk|include/|usr/bin/
  |libquandelstk6 (= $DEB_VERSION);python3 (>= $python_version~);libc6;libstdc++6
EOF
)
while IFS='|' read -r package paths refused; do
  [[ -n $package ]] || continue
  [[ -f $package ]] || fail "cpack made no $package: $(ls "$BUILD/packages")"
  depends=${refused##*|} refused=${refused%|*}
  listing=$(dpkg-deb -c "$package" | awk '{ sub(/^\.\//, "", $6); print $6 }')
  for path in $paths; do grep -qxF "$path" <<<"$listing" || fail "${package##*/} lacks $path"; done
  [[ -z $refused ]] || ! grep -E "$refused" <<<"$listing" || fail "${package##*/} holds files of another package"
  IFS=';' read -ra wanted <<<"$depends"
  for dependency in "${wanted[@]}"; do
    [[ $(field "$package" Depends) == *"$dependency"* ]] || fail "${package##*/} does not depend on $dependency"
  done
done <<<"$holdings"
unit=$(dpkg-deb --fsys-tarfile "$TOOLS" | tar -xOf - ./usr/lib/systemd/system/quandelstk-gateway.service)
expect_lines "the gateway's systemd unit" "$unit" "ExecStart=/usr/bin/quandelstk-gateway --config /etc/quandelstk/gateway.toml"

# (lintian checks that the library triggers ldconfig.)
dpkg-deb -e "$LIB" "$WORK/control"
expect_lines "libquandelstk6's shlibs" "$(cat "$WORK/control/shlibs")" "libquandelstk 6 libquandelstk6 (>= $DEB_VERSION)"
changelog=$(dpkg-deb --fsys-tarfile "$LIB" | tar -xOf - ./usr/share/doc/libquandelstk6/changelog.Debian.gz | zcat)
[[ ${changelog%%$'\n'*} == *"quandelstk ($DEB_VERSION)"* ]] ||
  fail "the newest entry of packaging/deb/changelog is not version $DEB_VERSION: add one for this version"

step "lintian"
# Every tag down to pedantic, and the warnings kept on purpose (packaging/deb/lintian-overrides) as O:.
lintian --info --display-level '>=pedantic' --show-overrides "${DEBS[@]}" >"$WORK/lintian.log" 2>&1 ||
  fail "lintian did not run: $(cat "$WORK/lintian.log")"
grep -v '^N:' "$WORK/lintian.log" | sed 's/^/    /'
! grep -qE '^[EW]: ' "$WORK/lintian.log" || fail "lintian found errors or warnings"

step "dpkg -i into a scratch root"
ROOT=$WORK/root
mkdir -p "$ROOT/var/lib/dpkg/info" "$ROOT/var/lib/dpkg/updates" "$ROOT/var/log"
touch "$ROOT/var/lib/dpkg/available"
# What our packages depend on, as this system has it installed, stands in for the scratch root's
# packages: dpkg then checks our dependencies against real ones (not those of the stand-ins).
needed=$(for package in "${DEBS[@]}"; do field "$package" Depends | tr ',' '\n'; done |
  sed 's/[(|].*//; s/ //g' | grep -v quandelstk | sort -u)
dpkg-query -s $needed >"$ROOT/var/lib/dpkg/status" 2>"$WORK/needed.err" ||
  fail "this system lacks packages ours depend on: $(cat "$WORK/needed.err")"
for package in $needed; do touch "$ROOT/var/lib/dpkg/info/$(dpkg-query -W -f='${binary:Package}' "$package").list"; done
DPKG=(dpkg --root="$ROOT" --log="$WORK/dpkg.log" --force-not-root)
! "${DPKG[@]}" -i "$DEV" >"$WORK/dpkg-dev-alone.log" 2>&1 || fail "libquandelstk-dev installed without libquandelstk6"
grep -q "depends on libquandelstk6" "$WORK/dpkg-dev-alone.log" || fail "dpkg refused libquandelstk-dev for another reason: $(cat "$WORK/dpkg-dev-alone.log")"
"${DPKG[@]}" -i "${DEBS[@]}" >"$WORK/dpkg.out" 2>&1 || fail "dpkg -i: $(cat "$WORK/dpkg.out")"
installed=$(dpkg-query --admindir="$ROOT/var/lib/dpkg" -W -f='${Package} ${Version} ${db:Status-Abbrev}\n' \
  libquandelstk6 libquandelstk-dev quandelstk-tools ${PY:+python3-quandelstk})
[[ $(grep -c " $DEB_VERSION ii" <<<"$installed") == "${#DEBS[@]}" ]] || fail "not all ${#DEBS[@]} packages are configured: $installed"

SIM=$ROOT/usr/bin/quandelstk-modemsim
use_library "$ROOT/usr" "$ROOT/usr/$LIBDIR" "$SIM" PKG_CONFIG_SYSROOT_DIR="$ROOT" PKG_CONFIG_LIBDIR="$ROOT/usr/$LIBDIR/pkgconfig"
step "the programs from the scratch root"
decoded=$("$ROOT/usr/bin/quandelstk" pdu decode \
  07915155100021F3040B915155100054F60008425071908070230E00630061006600E9002020AC0035 2>&1) || fail "quandelstk pdu decode: $decoded"
[[ $decoded == *"café €5"* ]] || fail "the installed CLI did not decode UCS2 with the installed code table: $decoded"
# The example configuration is one the installed gateway reads; the store is a scratch file.
gateway_out=$(XDG_DATA_HOME="$WORK/xdg" "$ROOT/usr/bin/quandelstk-gateway" \
  --config "$ROOT/usr/share/doc/quandelstk-tools/examples/gateway.toml" --modem sim 2>&1 & pid=$!
  sleep 2; kill -TERM $pid; wait $pid) || fail "the installed gateway with the example configuration: $gateway_out"
[[ $gateway_out == *"running 1 modem"* ]] || fail "the installed gateway did not start: $gateway_out"
[[ $("$ROOT/usr/bin/quandelstk" --version) == "quandelstk $VERSION" ]] || fail "quandelstk --version is not $VERSION"
bash "$SOURCE/tests/packaging/completion_test.sh" "$ROOT/usr/share/bash-completion/completions/quandelstk" \
  "$ROOT/usr/bin/quandelstk" >"$WORK/completion.log" 2>&1 || fail "the installed completion: $(cat "$WORK/completion.log")"
# The loader finds the scratch root's library as it finds /usr's on a real system.
[[ -z $PY ]] || use_python "$SIM" "$ROOT/$PY_DIR" LD_LIBRARY_PATH="$ROOT/usr/$LIBDIR"

step "dpkg -r"
"${DPKG[@]}" -r ${PY:+python3-quandelstk} quandelstk-tools libquandelstk-dev libquandelstk6 >"$WORK/dpkg-r.out" 2>&1 || fail "dpkg -r: $(cat "$WORK/dpkg-r.out")"
left=$([[ ! -d $ROOT/usr ]] || find "$ROOT/usr" -type f -o -type l)
[[ -z $left ]] || fail "files left after removing the packages: $left"
echo "deb test passed"
