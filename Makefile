# Two commands do everything on a fresh Debian machine:
#   make demo   installs what is missing, builds, and runs the guided tour against the simulated modem
#   make test   installs what is missing, builds, and runs every test: make com first, then Debug (with the
#               COM server's tests under Wine), ASan+UBSan (all but the end-to-end runs of the programs,
#               label end_to_end, which Debug makes), the thread test under ThreadSanitizer, and
#               each fuzz target for 10 s on its corpus, then the Debian packages (lintian, dpkg)
#               (while one pass's tests run, the next pass builds beside them at the lowest priority)
#   make com    builds the COM server QuandelSTK6.dll, 64- and 32-bit, and checks both
#   make fuzz   runs each fuzz target for FUZZ_SECONDS (default 60) on a corpus kept in build/fuzz/work
#   make deb    the Debian packages, in build/deb/packages
#   make soak   the long faulty-modem soak: 1,000 randomised sessions (SOAK_SESSIONS, SOAK_SEED)

# Debian packages the build, the tests and the benchmarks need; the mingw-w64 cross compilers, widl
# (wine64-tools) and 64-bit Wine build the COM server and run its tests; help2man writes the man
# pages, dpkg-dev and file let CPack compute dependencies, lintian checks the packages; pybind11-dev
# and python3-dev build the Python binding, python3-pytest runs its tests; the gateway keeps its
# queue in SQLite or PostgreSQL (the server for its tests), reads TOML and serves HTTP.
PACKAGES := g++ cmake ninja-build make pkg-config \
            libgtest-dev libgmock-dev libbenchmark-dev \
            libcli11-dev libfmt-dev nlohmann-json3-dev libedit-dev \
            gammu python3-gammu valgrind clang libclang-rt-14-dev \
            g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine wine64 wine64-tools \
            help2man dpkg-dev file lintian \
            pybind11-dev python3-dev python3-pytest \
            libsqlite3-dev libpq-dev postgresql libtomlplusplus-dev libcpp-httplib-dev

FUZZ_SECONDS ?= 60
SOAK_SESSIONS ?= 1000

.PHONY: all deps build test demo bench com fuzz soak deb clean

all: build

# Installs only what is missing: a machine that has everything is not touched.
deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -z "$$missing" ]; then echo "deps: all packages present"; exit 0; fi; \
	echo "deps: installing$$missing"; \
	if [ "$$(id -u)" = 0 ]; then SUDO=""; \
	elif command -v sudo >/dev/null 2>&1; then SUDO="sudo"; \
	else echo "deps: missing packages:$$missing; run as root or install sudo, then try again" >&2; exit 1; fi; \
	$$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
	$$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing

build: deps
	cmake --preset dev
	cmake --build --preset dev

# Each pass's tests mostly wait (ptys, Wine, timers), so the next pass builds beside them at the lowest
# priority (tests/run_beside_build.sh); the build logs go to build/logs.
test: com
	cmake --preset dev
	cmake --build --preset dev
	sh tests/run_beside_build.sh build/logs/asan-build.log 'ctest --preset dev' \
	  'cmake --preset asan && cmake --build --preset asan'
	sh tests/run_beside_build.sh build/logs/tsan-fuzz-build.log 'ctest --preset asan' \
	  'cmake --preset tsan && cmake --build --preset tsan && cmake --preset fuzz && cmake --build --preset fuzz'
	rm -rf build/fuzz/replay
	sh tests/run_beside_build.sh build/logs/deb-build.log \
	  'ctest --preset tsan && sh fuzz/run.sh build/fuzz/bin build/fuzz/replay 10' \
	  'cmake --preset deb && cmake --build --preset deb'
	ctest --preset deb

# The COM automation server, 64- and 32-bit, each with "Unicode.txt" beside it in build/com-x64/bin and
# build/com-x86/bin; both are checked without running them (the tests run the 64-bit one under Wine;
# the 32-bit one cannot run here, so it is built without the test programs).
com: deps
	cmake --preset com-x64
	cmake --build --preset com-x64
	tests/com/check_dll.sh build/com-x64 x86_64
	cmake --preset com-x86
	cmake --build --preset com-x86
	tests/com/check_dll.sh build/com-x86 i686

demo: build
	./build/dev/bin/quandelstk demo

bench: deps
	cmake --preset release
	cmake --build --preset release
	@for b in build/release/bin/*_bench; do echo "== $$b"; $$b; done
	@if ls build/release/python/quandelstk*.so >/dev/null 2>&1; then \
	  echo "== bench/python_threads.py"; /usr/bin/python3 bench/python_threads.py build/release; fi
	@echo "== instructions per PDU operation"; sh bench/pdu_callgrind.sh build/release/bin

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	sh fuzz/run.sh build/fuzz/bin build/fuzz/work $(FUZZ_SECONDS)

soak: deps
	cmake --preset dev
	cmake --build --preset dev --target test_soak
	QSTK_SOAK_SESSIONS=$(SOAK_SESSIONS) $(if $(SOAK_SEED),QSTK_SOAK_SEED=$(SOAK_SEED)) \
	  ./build/dev/bin/test_soak --gtest_filter='Soak.*'

deb: deps
	cmake --preset deb
	cmake --build --preset deb
	cd build/deb && cpack -G DEB
	@ls -1 build/deb/packages/*.deb

clean:
	rm -rf build
