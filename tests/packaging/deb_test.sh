#!/bin/bash
# deb_test.sh SOURCE_DIR BUILD_DIR LIBDIR VERSION DEB_VERSION CXX [python|no-python]
# Makes the Debian packages of a build configured with the deb preset, lists what each holds and
# checks it, runs lintian on them, installs them with dpkg into a scratch root, uses them there as a
# library user and an operator would, and removes them again.
SOURCE=$1 BUILD=$2 LIBDIR=$3 VERSION=$4 DEB_VERSION=$5 CXX=$6 CONSUMER_FLAGS= WITH_PYTHON=${7:-no-python}
CONSUMER_SOURCE=$SOURCE/tests/packaging/consumer
WORK=${TMPDIR:-/tmp}/qstk-deb-$$-$RANDOM
mkdir -m 700 "$WORK"
# shellcheck source=lib.sh
source "$SOURCE/tests/packaging/lib.sh"
trap 'stop_sim; rm -rf "$WORK"' EXIT
ARCH=$(dpkg --print-architecture)

step "cpack -G DEB"
rm -rf "$BUILD/packages"
(cd "$BUILD" && cpack -G DEB >"$WORK/cpack.log" 2>&1) || fail "cpack: $(cat "$WORK/cpack.log")"
LIB=$BUILD/packages/libquandelstk6_${DEB_VERSION}_$ARCH.deb
DEV=$BUILD/packages/libquandelstk-dev_${DEB_VERSION}_$ARCH.deb
TOOLS=$BUILD/packages/quandelstk-tools_${DEB_VERSION}_$ARCH.deb
DEBS=("$LIB" "$DEV" "$TOOLS")
PY=
if [[ $WITH_PYTHON == python ]]; then
  PY=$BUILD/packages/python3-quandelstk_${DEB_VERSION}_$ARCH.deb
  DEBS+=("$PY")
  PY_DIR=usr/lib/python3/dist-packages
  PY_MODULE=$PY_DIR/quandelstk$(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
fi
for deb in "${DEBS[@]}"; do [[ -f $deb ]] || fail "cpack made no $deb: $(ls "$BUILD/packages")"; done

# holds DEB PATH...: each path (as dpkg-deb lists it, without the leading ./) is in the package.
holds() {
  local deb=$1 path listing
  shift
  listing=$(dpkg-deb -c "$deb" | awk '{ sub(/^\.\//, "", $6); print $6 }')
  for path; do grep -qxF "$path" <<<"$listing" || fail "${deb##*/} lacks $path"; done
}
# field DEB NAME: a field of the package's control file.
field() { dpkg-deb -f "$1" "$2"; }

for deb in "${DEBS[@]}"; do
  step "${deb##*/}"
  dpkg-deb -f "$deb" Package Version Architecture Section Depends | sed 's/^/    /'
  dpkg-deb -c "$deb" | awk '{ print "    " $1 " " $6 ($7 ? " " $7 " " $8 : "") }'
done

step "what each package holds"
headers=()
for header in "$SOURCE"/include/quandelstk/*.hpp; do headers+=("usr/include/quandelstk/${header##*/}"); done
holds "$LIB" "usr/$LIBDIR/libquandelstk.so.6" "usr/$LIBDIR/libquandelstk.so.$VERSION" usr/share/quandelstk/Unicode.txt \
  usr/share/doc/libquandelstk6/copyright usr/share/doc/libquandelstk6/changelog.Debian.gz
holds "$DEV" "${headers[@]}" "usr/$LIBDIR/libquandelstk.so" "usr/$LIBDIR/libquandelstk.a" \
  "usr/$LIBDIR/cmake/QuandelSTK6/QuandelSTK6Config.cmake" "usr/$LIBDIR/cmake/QuandelSTK6/QuandelSTK6ConfigVersion.cmake" \
  "usr/$LIBDIR/cmake/QuandelSTK6/QuandelSTK6Targets.cmake" "usr/$LIBDIR/pkgconfig/quandelstk.pc" \
  usr/share/doc/libquandelstk-dev/copyright
holds "$TOOLS" usr/bin/quandelstk usr/bin/quandelstk-modemsim usr/share/man/man1/quandelstk.1.gz \
  usr/share/man/man1/quandelstk-modemsim.1.gz usr/share/bash-completion/completions/quandelstk \
  usr/share/doc/quandelstk-tools/copyright usr/bin/quandelstk-gateway usr/share/man/man1/quandelstk-gateway.1.gz \
  usr/lib/systemd/system/quandelstk-gateway.service usr/share/doc/quandelstk-tools/examples/gateway.toml
unit=$(dpkg-deb --fsys-tarfile "$TOOLS" | tar -xOf - ./usr/lib/systemd/system/quandelstk-gateway.service)
for line in "ExecStart=/usr/bin/quandelstk-gateway --config /etc/quandelstk/gateway.toml" DynamicUser=yes \
  SupplementaryGroups=dialout StateDirectory=quandelstk; do
  grep -qxF "$line" <<<"$unit" || fail "the gateway's systemd unit lacks $line"
done
# The run-time package holds nothing a second major version would also ship but the code table.
# (Listings are read whole before grep: with pipefail, a writer cut short by grep -q would fail.)
listing=$(dpkg-deb -c "$LIB")
! grep -qE 'include/|\.a$|libquandelstk\.so$|usr/bin/' <<<"$listing" || fail "libquandelstk6 holds development files or programs"
listing=$(dpkg-deb -c "$TOOLS")
! grep -qE '\.so|include/' <<<"$listing" || fail "quandelstk-tools holds library files"
if [[ -n $PY ]]; then
  holds "$PY" "$PY_MODULE" "$PY_DIR/quandelstk.pyi" usr/share/doc/python3-quandelstk/copyright
  listing=$(dpkg-deb -c "$PY")
  ! grep -qE 'libquandelstk|include/|usr/bin/' <<<"$listing" || fail "python3-quandelstk holds library files or programs"
fi

step "dependencies"
[[ $(field "$DEV" Depends) == *"libquandelstk6 (= $DEB_VERSION)"* ]] || fail "libquandelstk-dev does not depend on libquandelstk6 (= $DEB_VERSION)"
[[ $(field "$TOOLS" Depends) == *"libquandelstk6 (= $DEB_VERSION)"* ]] || fail "quandelstk-tools does not depend on libquandelstk6 (= $DEB_VERSION) for its code table"
for deb in "$LIB" "$TOOLS"; do
  [[ $(field "$deb" Depends) == *libc6* && $(field "$deb" Depends) == *libstdc++6* ]] ||
    fail "${deb##*/} lacks the dependencies of its binaries (dpkg-shlibdeps)"
done
[[ $(field "$TOOLS" Depends) == *libfmt* && $(field "$TOOLS" Depends) == *libedit* ]] || fail "quandelstk-tools lacks libfmt and libedit"
if [[ -n $PY ]]; then
  depends=$(field "$PY" Depends)
  [[ $depends == *"libquandelstk6 (= $DEB_VERSION)"* ]] || fail "python3-quandelstk does not depend on libquandelstk6 (= $DEB_VERSION)"
  python_version=$(/usr/bin/python3 -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1]}")')
  [[ $depends == *"python3 (>= $python_version~)"* ]] || fail "python3-quandelstk does not ask for python3 $python_version: $depends"
  [[ $depends == *libc6* && $depends == *libstdc++6* ]] || fail "python3-quandelstk lacks the dependencies of its module (dpkg-shlibdeps): $depends"
fi
mkdir "$WORK/control"
dpkg-deb -e "$LIB" "$WORK/control/lib"
grep -qx "libquandelstk 6 libquandelstk6 (>= $DEB_VERSION)" "$WORK/control/lib/shlibs" ||
  fail "libquandelstk6's shlibs file is wrong: $(cat "$WORK/control/lib/shlibs" 2>&1)"
grep -qx "activate-noawait ldconfig" "$WORK/control/lib/triggers" || fail "libquandelstk6 does not trigger ldconfig"
changelog=$(dpkg-deb --fsys-tarfile "$LIB" | tar -xOf - ./usr/share/doc/libquandelstk6/changelog.Debian.gz | zcat)
grep -qF "quandelstk ($DEB_VERSION)" <<<"${changelog%%$'\n'*}" ||
  fail "the newest entry of packaging/deb/changelog is not version $DEB_VERSION: add one for this version"

step "lintian"
# Every tag down to pedantic, and the warnings kept on purpose (packaging/deb/lintian-overrides) as O:.
lintian --info --display-level '>=pedantic' --show-overrides "${DEBS[@]}" >"$WORK/lintian.log" 2>&1 ||
  fail "lintian did not run: $(cat "$WORK/lintian.log")"
grep -v '^N:' "$WORK/lintian.log" | sed 's/^/    /'
! grep -qE '^[EW]: ' "$WORK/lintian.log" || fail "lintian found errors or warnings"
echo "    lintian: no errors, no warnings"

step "dpkg -i into a scratch root"
ROOT=$WORK/root
mkdir -p "$ROOT/var/lib/dpkg/info" "$ROOT/var/lib/dpkg/updates" "$ROOT/var/log"
# What our packages depend on, as this system has it installed, stands in for the scratch root's
# packages: dpkg then checks our dependencies against real ones (dependencies of those are not
# checked again).
needed=$(for deb in "${DEBS[@]}"; do field "$deb" Depends | tr ',' '\n'; done |
  sed 's/[(|].*//; s/ //g' | grep -v quandelstk | sort -u)
dpkg-query -s $needed >"$ROOT/var/lib/dpkg/status" 2>"$WORK/needed.err" ||
  fail "this system lacks packages ours depend on: $(cat "$WORK/needed.err")"
for package in $needed; do touch "$ROOT/var/lib/dpkg/info/$(dpkg-query -W -f='${binary:Package}' "$package").list"; done
echo "    standing in: $(paste -sd ' ' - <<<"$needed")"
touch "$ROOT/var/lib/dpkg/available"
DPKG=(dpkg --root="$ROOT" --log="$WORK/dpkg.log" --force-not-root)
if "${DPKG[@]}" -i "$DEV" >"$WORK/dpkg-dev-alone.log" 2>&1; then
  fail "libquandelstk-dev installed without libquandelstk6"
fi
grep -q "depends on libquandelstk6" "$WORK/dpkg-dev-alone.log" || fail "dpkg refused libquandelstk-dev for another reason: $(cat "$WORK/dpkg-dev-alone.log")"
"${DPKG[@]}" -i "${DEBS[@]}" >"$WORK/dpkg.out" 2>&1 || fail "dpkg -i: $(cat "$WORK/dpkg.out")"
sed 's/^/    /' "$WORK/dpkg.out"
installed=$(dpkg-query --admindir="$ROOT/var/lib/dpkg" -W -f='${Package} ${Version} ${db:Status-Abbrev}\n' \
  libquandelstk6 libquandelstk-dev quandelstk-tools ${PY:+python3-quandelstk})
echo "$installed" | sed 's/^/    /'
[[ $(grep -c " $DEB_VERSION ii" <<<"$installed") == "${#DEBS[@]}" ]] || fail "not all ${#DEBS[@]} packages are installed and configured"

build_consumers "$ROOT/usr" "$ROOT/usr/$LIBDIR" PKG_CONFIG_SYSROOT_DIR="$ROOT" PKG_CONFIG_LIBDIR="$ROOT/usr/$LIBDIR/pkgconfig"
SIM=$ROOT/usr/bin/quandelstk-modemsim
step "running the consumers and the CLI from the scratch root"
expect_linked_to "$WORK/cmake-consumer/consumer_shared" "$ROOT/usr/$LIBDIR/libquandelstk.so.6"
expect_consumer_works find_package "$SIM" "$WORK/cmake-consumer/consumer_shared"
expect_linked_to "$WORK/pkgconfig-consumer" "$ROOT/usr/$LIBDIR/libquandelstk.so.6"
expect_consumer_works pkg-config "$SIM" "$WORK/pkgconfig-consumer"
decoded=$("$ROOT/usr/bin/quandelstk" pdu decode \
  07915155100021F3040B915155100054F60008425071908070230E00630061006600E9002020AC0035 2>&1) ||
  fail "quandelstk pdu decode: $decoded"
grep -q "café €5" <<<"$decoded" || fail "the installed CLI did not decode UCS2 with the installed code table: $decoded"
echo "    quandelstk pdu decode: café €5"
# The example configuration is one the installed gateway reads; the store is a scratch file.
gateway_out=$(XDG_DATA_HOME="$WORK/xdg" "$ROOT/usr/bin/quandelstk-gateway" \
  --config "$ROOT/usr/share/doc/quandelstk-tools/examples/gateway.toml" --modem sim 2>&1 & pid=$!
  sleep 2; kill -TERM $pid; wait $pid) || fail "the installed gateway with the example configuration: $gateway_out"
grep -q "running 1 modem" <<<"$gateway_out" || fail "the installed gateway did not start: $gateway_out"
echo "    quandelstk-gateway runs with the example configuration"
[[ $("$ROOT/usr/bin/quandelstk" --version) == "quandelstk $VERSION" ]] || fail "quandelstk --version is not $VERSION"
bash "$SOURCE/tests/packaging/completion_test.sh" "$ROOT/usr/share/bash-completion/completions/quandelstk" \
  "$ROOT/usr/bin/quandelstk" >"$WORK/completion.log" 2>&1 || fail "the installed completion: $(cat "$WORK/completion.log")"
echo "    the installed bash completion completes every command"

if [[ -n $PY ]]; then
  step "the Python module from the scratch root"
  # The loader finds the scratch root's library as it finds /usr's on a real system.
  expect_python_works python "$SIM" "$ROOT/$PY_DIR" LD_LIBRARY_PATH="$ROOT/usr/$LIBDIR"
fi

step "dpkg -r"
"${DPKG[@]}" -r ${PY:+python3-quandelstk} quandelstk-tools libquandelstk-dev libquandelstk6 >"$WORK/dpkg-r.out" 2>&1 || fail "dpkg -r: $(cat "$WORK/dpkg-r.out")"
left=$( [[ ! -d $ROOT/usr ]] || find "$ROOT/usr" -type f -o -type l)
[[ -z $left ]] || fail "files left after removing the packages: $left"
echo "    removed, nothing left"

echo "deb test passed"
