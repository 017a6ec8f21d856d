#!/bin/bash
# subdirectory_test.sh SOURCE_DIR
# The source tree inside another project (add_subdirectory): it configures without the packages
# only our tools and tests need, builds nothing but the libraries, and gives a program that links
# QuandelSTK6::quandelstk C++20 and include/ alone (not src/, not our -Werror). The consumer's own
# file is compiled to prove it; the libraries are not built, to keep the test short.
SOURCE=$1
WORK=${TMPDIR:-/tmp}/qstk-subdirectory-$$-$RANDOM
mkdir -m 700 "$WORK"
# shellcheck source=lib.sh
source "$SOURCE/tests/packaging/lib.sh"
trap 'rm -rf "$WORK"' EXIT

mkdir "$WORK/app"
cp "$SOURCE/tests/packaging/consumer/consumer.cpp" "$WORK/app/"
cat >"$WORK/app/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(App LANGUAGES CXX)
add_subdirectory("$SOURCE" quandelstk)
add_executable(app consumer.cpp)
target_link_libraries(app PRIVATE QuandelSTK6::quandelstk)
CMAKE
step "configuring a project that adds the source tree"
cmake -S "$WORK/app" -B "$WORK/build" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$WORK/configure.log" 2>&1 ||
  fail "configuring: $(cat "$WORK/configure.log")"
for option in QSTK_BUILD_TOOLS QSTK_BUILD_TESTS QSTK_BUILD_BENCH; do
  grep -qx "$option:BOOL=OFF" "$WORK/build/CMakeCache.txt" || fail "$option is not off inside another project"
done
[[ -f $WORK/build/quandelstk/lib/Unicode.txt ]] || fail "no Unicode.txt beside the shared library in the build tree"

step "compiling the program against QuandelSTK6::quandelstk"
command=$(grep -F '"command"' "$WORK/build/compile_commands.json" | grep -F 'consumer.cpp')
echo "    ${command#*: }"
grep -qE -- '-std=(c|gnu)\+\+20' <<<"$command" || fail "the program is not compiled as C++20"
grep -qF -- "-I$SOURCE/include" <<<"$command" || fail "the program does not get $SOURCE/include"
! grep -qF -- "$SOURCE/src" <<<"$command" || fail "the program sees the library's private src/ folder"
! grep -qF -- "-Werror" <<<"$command" || fail "the library's -Werror reached the program"
cmake --build "$WORK/build" --target CMakeFiles/app.dir/consumer.cpp.o >"$WORK/build.log" 2>&1 ||
  fail "compiling: $(cat "$WORK/build.log")"
echo "subdirectory test passed"
