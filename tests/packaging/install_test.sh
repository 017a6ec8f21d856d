#!/bin/bash
# install_test.sh SOURCE_DIR BUILD_DIR LIBDIR VERSION CXX [CONSUMER_FLAGS]
# `cmake --install` of a build into a scratch prefix, then what a library user does with it: the
# installed layout, the shared library's name and exports, the man pages, and the consumer program
# and the Python module against the installed simulator with the installed code table.
SOURCE=$1 BUILD=$2 LIBDIR=$3 VERSION=$4 CXX=$5 CONSUMER_FLAGS=${6:-}
# shellcheck source=lib.sh
source "$SOURCE/tests/packaging/lib.sh"
PREFIX=$WORK/prefix LIB=$WORK/prefix/$LIBDIR

step "cmake --install into $PREFIX"
cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log" 2>&1 || fail "install: $(cat "$WORK/install.log")"
[[ $(cd "$PREFIX/include" && find . -type f | sort) == "$(cd "$SOURCE/include" && find ./quandelstk -name '*.hpp' | sort)" ]] ||
  fail "the installed headers are not the public ones: $(cd "$PREFIX/include" && find . -type f)"
[[ ! -e $LIB/Unicode.txt && ! -e $PREFIX/bin/Unicode.txt ]] ||
  fail "Unicode.txt installed beside the library or the programs: only share/quandelstk should hold it"
[[ ! -e $PREFIX/share/doc ]] || fail "the Debian packages' documents were installed by a plain cmake --install"
grep -qx "prefix=$PREFIX" "$LIB/pkgconfig/quandelstk.pc" || fail "quandelstk.pc does not name the prefix it was installed under"

step "the shared library: its name and what it exports"
[[ $(readelf -d "$LIB/libquandelstk.so.$VERSION") == *"(SONAME)"*"[libquandelstk.so.6]"* ]] || fail "the SONAME is not libquandelstk.so.6"
exports=$(nm -DC --defined-only "$LIB/libquandelstk.so.6")
# Names up to their parameters or an [abi:...] tag.
for wanted in 'Modem::Init(' 'SMS::ReadSMSText(' 'SIMToolKit::ActivateSTK(' 'USSD::Send(' 'Phonebook::PhonebookRead(' \
  'MessageValue::ToText' 'CurrentPlatform(' 'ScopedPlatform::ScopedPlatform(' 'AssignPort(' 'DateTime::ToText' \
  'Utf8ToWindows1252' 'messages::Plan(' 'messages::DecodePdu(' 'messages::Messages::Send(' 'messages::Reassembler::Add(' \
  'messages::MatchReport(' 'typeinfo for quandelstk::RuntimeError' 'typeinfo for quandelstk::Platform' \
  'typeinfo for quandelstk::SerialControl'; do
  [[ $wanted == typeinfo* ]] || wanted=quandelstk::$wanted
  grep -qF "$wanted" <<<"$exports" || fail "the shared library does not export $wanted"
done
! grep -E 'quandelstk::(channel|pdu|platform|text|modemsim)::' <<<"$exports" || fail "the shared library exports internal symbols"

page=$(zcat "$PREFIX/share/man/man1/quandelstk.1.gz" | sed 's/\\-/-/g')
grep -q '^\.TH QUANDELSTK "1"' <<<"$page" || fail "quandelstk.1 is no section 1 man page"
commands=$("$PREFIX/bin/quandelstk" --help | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && NF { print $1 }')
[[ -n $commands ]] || fail "quandelstk --help lists no commands"
for command in $commands; do
  grep -q "quandelstk $command" <<<"$page" || fail "the man page does not describe 'quandelstk $command'"
done
[[ $(zcat "$PREFIX/share/man/man1/quandelstk-modemsim.1.gz") == *'\-\-scenario'* ]] || fail "quandelstk-modemsim.1 lacks --scenario"

SIM=$PREFIX/bin/quandelstk-modemsim
use_library "$PREFIX" "$LIB" "$SIM" PKG_CONFIG_PATH="$LIB/pkgconfig"
# Linked statically, the program's own folder stands for the library's: installed in the prefix's
# bin it finds the table in the prefix's share.
cp "$WORK/cmake-consumer/consumer_static" "$PREFIX/bin/"
with_sim "static, in bin" "$SIM" "$PREFIX/bin/consumer_static" && expect_lines "static" "$OUTPUT" "${CONSUMER_LINES[@]}"

module=$(find "$PREFIX" -name 'quandelstk.cpython-*.so')
if [[ -n $module ]]; then
  step "the Python module in ${module#"$PREFIX"/}"
  [[ -f ${module%/*}/quandelstk.pyi ]] || fail "the type stubs are not beside the module"
  [[ $(readelf -d "$module") == *"PATH)"*"[\$ORIGIN/"* ]] || fail "the module does not find the library relative to itself"
  # Under the sanitizers their runtimes must be loaded before python.
  preload=("LD_PRELOAD=$("$CXX" -print-file-name=libasan.so):$("$CXX" -print-file-name=libubsan.so)" ASAN_OPTIONS=detect_leaks=0)
  [[ $CONSUMER_FLAGS == *sanitize* ]] || preload=()
  use_python "$SIM" "${module%/*}" "${preload[@]}"
fi

step "a program that finds no Unicode.txt says where it looked"
mkdir "$WORK/elsewhere" && cp "$WORK/cmake-consumer/consumer_static" "$WORK/elsewhere/"
with_sim "static, elsewhere" "$SIM" "$WORK/elsewhere/consumer_static"
configured=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$BUILD/CMakeCache.txt")/share/quandelstk
if [[ -e $configured/Unicode.txt ]]; then
  echo "    skipped: this machine has $configured/Unicode.txt, where such a program rightly finds it"
else
  expect_lines "static, elsewhere" "$OUTPUT" "no message"
  log=$(cat "$WORK"/elsewhere/QUANDEL*.txt 2>/dev/null) || fail "ReadSMSText wrote no log record of the missing table"
  for wanted in "$WORK/elsewhere/Unicode.txt" "$configured/Unicode.txt" "Error 53"; do
    grep -qF "$wanted" <<<"$log" || fail "the record of the missing table lacks $wanted: $log"
  done
fi
echo "install test passed"
