#!/bin/bash
# subdirectory_test.sh SOURCE_DIR
# The source tree inside another project (add_subdirectory): it configures without the packages
# only our tools and tests need, and gives a program that links QuandelSTK6::quandelstk C++20 and
# include/ alone (not src/, not our -Werror). Only the program's own file is compiled, to keep the
# test short.
SOURCE=$1
# shellcheck source=lib.sh
source "$SOURCE/tests/packaging/lib.sh"
mkdir "$WORK/app" && cp "$CONSUMER_SOURCE/consumer.cpp" "$WORK/app/"
cat >"$WORK/app/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(App LANGUAGES CXX)
add_subdirectory("$SOURCE" quandelstk)
add_executable(app consumer.cpp)
target_link_libraries(app PRIVATE QuandelSTK6::quandelstk)
CMAKE
step "configuring a project that adds the source tree, and compiling its program"
cmake -S "$WORK/app" -B "$WORK/build" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$WORK/configure.log" 2>&1 ||
  fail "configuring: $(cat "$WORK/configure.log")"
expect_lines "inside another project" "$(cat "$WORK/build/CMakeCache.txt")" \
  QSTK_BUILD_TOOLS:BOOL=OFF QSTK_BUILD_TESTS:BOOL=OFF QSTK_BUILD_BENCH:BOOL=OFF
[[ -f $WORK/build/quandelstk/lib/Unicode.txt ]] || fail "no Unicode.txt beside the shared library in the build tree"
command=$(grep -F '"command"' "$WORK/build/compile_commands.json" | grep -F 'consumer.cpp')
[[ $command =~ -std=(c|gnu)\+\+20 ]] || fail "the program is not compiled as C++20"
[[ $command == *"-I$SOURCE/include"* ]] || fail "the program does not get $SOURCE/include"
[[ $command != *"$SOURCE/src"* ]] || fail "the program sees the library's private src/ folder"
[[ $command != *-Werror* ]] || fail "the library's -Werror reached the program"
cmake --build "$WORK/build" --target CMakeFiles/app.dir/consumer.cpp.o >"$WORK/build.log" 2>&1 ||
  fail "compiling: $(cat "$WORK/build.log")"
echo "subdirectory test passed"
