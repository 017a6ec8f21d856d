# Two commands do everything on a fresh Debian machine:
#   make demo   installs what is missing, builds, and runs the guided tour against the simulated modem
#   make test   installs what is missing, builds, and runs every test (Debug, then ASan+UBSan, then
#               the Debian packages)
#   make deb    the Debian packages, in build/deb/packages

# Debian packages the build, the tests, the benchmarks and the Debian packages need (help2man writes
# the man pages; dpkg-dev and file let CPack compute dependencies; lintian checks the packages).
PACKAGES := g++ cmake ninja-build make pkg-config \
            libgtest-dev libgmock-dev libbenchmark-dev \
            libcli11-dev libfmt-dev nlohmann-json3-dev libedit-dev \
            gammu valgrind \
            help2man dpkg-dev file lintian

.PHONY: all deps build test demo bench deb clean

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

test: deps
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan
	cmake --preset deb
	cmake --build --preset deb
	ctest --preset deb

demo: build
	./build/dev/bin/quandelstk demo

bench: deps
	cmake --preset release
	cmake --build --preset release
	@for b in build/release/bin/*_bench; do echo "== $$b"; $$b; done
	@echo "== instructions per PDU operation"; sh bench/pdu_callgrind.sh build/release/bin

deb: deps
	cmake --preset deb
	cmake --build --preset deb
	cd build/deb && cpack -G DEB
	@ls -1 build/deb/packages/*.deb

clean:
	rm -rf build
