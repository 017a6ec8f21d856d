#!/bin/bash
# install_test.sh SOURCE_DIR BUILD_DIR LIBDIR VERSION CXX [CONSUMER_FLAGS]
# `cmake --install` of a build into a scratch prefix, then what a library user does with it: the
# installed files, the shared library's name and exports, and a consumer program built through
# find_package and through pkg-config that talks to the installed simulator and decodes a UCS2
# message with the installed code table.
SOURCE=$1 BUILD=$2 LIBDIR=$3 VERSION=$4 CXX=$5 CONSUMER_FLAGS=${6:-}
CONSUMER_SOURCE=$SOURCE/tests/packaging/consumer
# Digits only in the name: the library masks upper-case words such as AT or OK in its log, and the
# test looks for paths there.
WORK=${TMPDIR:-/tmp}/qstk-install-$$-$RANDOM
mkdir -m 700 "$WORK"
# shellcheck source=lib.sh
source "$SOURCE/tests/packaging/lib.sh"
trap 'stop_sim; rm -rf "$WORK"' EXIT
PREFIX=$WORK/prefix

step "cmake --install into $PREFIX"
cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log" 2>&1 || fail "install: $(cat "$WORK/install.log")"
(cd "$PREFIX" && find . \( -type f -o -type l \) | sort | sed 's/^/    /')

headers=()
for header in "$SOURCE"/include/quandelstk/*.hpp; do headers+=("include/quandelstk/${header##*/}"); done
expect_paths "$PREFIX" "${headers[@]}" \
  "$LIBDIR/libquandelstk.so" "$LIBDIR/libquandelstk.so.6" "$LIBDIR/libquandelstk.so.$VERSION" "$LIBDIR/libquandelstk.a" \
  "$LIBDIR/cmake/QuandelSTK6/QuandelSTK6Config.cmake" "$LIBDIR/cmake/QuandelSTK6/QuandelSTK6ConfigVersion.cmake" \
  "$LIBDIR/cmake/QuandelSTK6/QuandelSTK6Targets.cmake" "$LIBDIR/pkgconfig/quandelstk.pc" \
  share/quandelstk/Unicode.txt bin/quandelstk bin/quandelstk-modemsim \
  share/man/man1/quandelstk.1.gz share/man/man1/quandelstk-modemsim.1.gz \
  share/bash-completion/completions/quandelstk
extra=$(cd "$PREFIX/include" && find . -type f ! -path './quandelstk/*')
[[ -z $extra ]] || fail "headers outside include/quandelstk installed: $extra"
[[ $(find "$PREFIX/include/quandelstk" -type f | wc -l) == "${#headers[@]}" ]] ||
  fail "installed headers that are not public: $(ls "$PREFIX/include/quandelstk")"
[[ ! -e $PREFIX/$LIBDIR/Unicode.txt && ! -e $PREFIX/bin/Unicode.txt ]] ||
  fail "Unicode.txt installed beside the library or the programs: only share/quandelstk should hold it"
[[ ! -e $PREFIX/share/doc ]] || fail "the Debian packages' documents were installed by a plain cmake --install"
grep -qx "prefix=$PREFIX" "$PREFIX/$LIBDIR/pkgconfig/quandelstk.pc" ||
  fail "quandelstk.pc does not name the prefix it was installed under: $(cat "$PREFIX/$LIBDIR/pkgconfig/quandelstk.pc")"

step "the shared library: its name and what it exports"
soname=$(readelf -d "$PREFIX/$LIBDIR/libquandelstk.so.$VERSION" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[[ $soname == libquandelstk.so.6 ]] || fail "SONAME is '$soname', not libquandelstk.so.6"
exports=$(nm -DC --defined-only "$PREFIX/$LIBDIR/libquandelstk.so.6")
echo "    $(grep -c quandelstk:: <<<"$exports") symbols of namespace quandelstk exported"
# Names up to their parameters or an [abi:...] tag.
for wanted in 'quandelstk::Modem::Init(' 'quandelstk::SMS::ReadSMSText(' 'quandelstk::SIMToolKit::ActivateSTK(' \
  'quandelstk::USSD::Send(' 'quandelstk::Phonebook::PhonebookRead(' 'quandelstk::MessageValue::ToText' \
  'quandelstk::CurrentPlatform(' 'quandelstk::ScopedPlatform::ScopedPlatform(' 'quandelstk::AssignPort(' \
  'quandelstk::DateTime::ToText' 'quandelstk::Utf8ToWindows1252' 'typeinfo for quandelstk::RuntimeError' \
  'typeinfo for quandelstk::Platform' 'typeinfo for quandelstk::SerialControl' \
  'quandelstk::messages::Plan(' 'quandelstk::messages::DecodePdu(' 'quandelstk::messages::Messages::Send(' \
  'quandelstk::messages::Reassembler::Add(' 'quandelstk::messages::MatchReport('; do
  grep -qF "$wanted" <<<"$exports" || fail "the shared library does not export $wanted"
done
internal=$(grep -E 'quandelstk::(channel|pdu|platform|text|modemsim)::' <<<"$exports" || true)
[[ -z $internal ]] || fail "the shared library exports internal symbols: $(head -n 5 <<<"$internal")"

step "the man pages cover every command"
commands=$("$PREFIX/bin/quandelstk" --help | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && NF { print $1 }')
[[ -n $commands ]] || fail "quandelstk --help lists no commands"
page=$(zcat "$PREFIX/share/man/man1/quandelstk.1.gz" | sed 's/\\-/-/g')
grep -q '^\.TH QUANDELSTK "1"' <<<"$page" || fail "quandelstk.1 is no section 1 man page"
for command in $commands; do
  grep -q "quandelstk $command" <<<"$page" || fail "the man page does not describe 'quandelstk $command'"
done
grep -qF -- '\-\-scenario' <<<"$(zcat "$PREFIX/share/man/man1/quandelstk-modemsim.1.gz")" ||
  fail "quandelstk-modemsim.1 lacks the --scenario option"

build_consumers "$PREFIX" "$PREFIX/$LIBDIR" PKG_CONFIG_PATH="$PREFIX/$LIBDIR/pkgconfig"
SIM=$PREFIX/bin/quandelstk-modemsim

step "running the consumers against the installed simulator"
expect_linked_to "$WORK/cmake-consumer/consumer_shared" "$PREFIX/$LIBDIR/libquandelstk.so.6"
expect_consumer_works find_package "$SIM" "$WORK/cmake-consumer/consumer_shared"
expect_linked_to "$WORK/pkgconfig-consumer" "$PREFIX/$LIBDIR/libquandelstk.so.6"
expect_consumer_works pkg-config "$SIM" "$WORK/pkgconfig-consumer"
# Linked statically, the program's own folder stands for the library's: installed in the prefix's
# bin it finds the table in the prefix's share.
cp "$WORK/cmake-consumer/consumer_static" "$PREFIX/bin/"
expect_consumer_works "static, in bin" "$SIM" "$PREFIX/bin/consumer_static"

module=$(find "$PREFIX" -name 'quandelstk.cpython-*.so')
if [[ -n $module ]]; then
  step "the Python module"
  pydir=$(dirname "$module")
  echo "    ${pydir#"$PREFIX"/}"
  [[ -f $pydir/quandelstk.pyi ]] || fail "the type stubs are not beside the module"
  rpath=$(readelf -d "$module" | sed -n 's/.*R\(UN\)\?PATH.*\[\(.*\)\]/\2/p')
  [[ $rpath == '$ORIGIN/'* ]] || fail "the module does not find the library relative to itself: RUNPATH '$rpath'"
  # Under the sanitizers their runtimes must be loaded before python.
  preload=()
  if [[ $CONSUMER_FLAGS == *sanitize* ]]; then
    preload=("LD_PRELOAD=$("$CXX" -print-file-name=libasan.so):$("$CXX" -print-file-name=libubsan.so)"
      ASAN_OPTIONS=detect_leaks=0)
  fi
  expect_python_works python "$SIM" "$pydir" "${preload[@]}"
else
  echo "    (no Python module: the binding is not built)"
fi

step "a program that finds no Unicode.txt says where it looked"
mkdir "$WORK/elsewhere"
cp "$WORK/cmake-consumer/consumer_static" "$WORK/elsewhere/"
run_consumer "static, elsewhere" "$SIM" "$WORK/elsewhere/consumer_static"
configured=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$BUILD/CMakeCache.txt")/share/quandelstk
if [[ -e $configured/Unicode.txt ]]; then
  echo "    skipped: this machine has $configured/Unicode.txt, where such a program rightly finds it"
else
  grep -qx "no message" <<<"$CONSUMER_OUTPUT" || fail "a program without a code table decoded the message"
  log=$(cat "$WORK"/elsewhere/QUANDEL*.txt 2>/dev/null) || fail "ReadSMSText wrote no log record of the missing table"
  for place in "$WORK/elsewhere/Unicode.txt" "$configured/Unicode.txt"; do
    grep -qF "$place" <<<"$log" || fail "the error does not name $place: $log"
  done
  grep -q "Error 53" <<<"$log" || fail "the missing table is not error 53: $log"
fi

echo "install test passed"
