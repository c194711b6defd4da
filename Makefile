# Set-up, build and test in one place. `make run` and `make test` install what is
# missing (Debian packages), build, and then run the viewer or the whole test suite.
SHELL := /bin/bash
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

# Debian packages by purpose, with names that Debian 12 and 13 both have (no version in a
# name). Each make target installs only what it needs: `make run` the build-and-run set,
# `make test` everything the tests use.
#   build and run: the compiler, CMake, SDL2 (which brings Xlib and Wayland's headers),
#   libpng for the snapshot tool; the Wayland title bar SDL draws through libdecor, only
#   recommended by libdecor, which --no-install-recommends leaves out.
RUN_PACKAGES := cmake ninja-build g++ pkg-config libsdl2-dev libpng-dev libx11-dev \
                libwayland-dev libdecor-0-plugin-1-cairo
#   the installed program's manual pages and icons (`make build`, `make package`), and the
#   package's dependency scan.
PACKAGE_PACKAGES := $(RUN_PACKAGES) scdoc gzip imagemagick dpkg-dev file
#   the browser build (`make web`, `make run-web` serves it with python3).
WEB_PACKAGES := emscripten nodejs python3
#   GoogleTest and Google Benchmark, and what drives a real viewer: Xvfb, XTEST for its
#   input, XFixes for its cursor.
DRIVE_PACKAGES := $(PACKAGE_PACKAGES) libgtest-dev libbenchmark-dev libxtst-dev libxfixes-dev \
                  xvfb python3
#   every test: the fuzz build (clang and its sanitizer runtimes), window managers and a
#   compositor, valgrind and strace, the install checks (desktop entry, lintian, man,
#   AppStream), the format check, and the page in Chromium through its WebDriver, driven
#   with python3-selenium.
TEST_PACKAGES := $(DRIVE_PACKAGES) $(WEB_PACKAGES) clang libclang-rt-dev valgrind twm openbox \
                 weston strace desktop-file-utils lintian man-db appstream clang-format \
                 chromium chromium-driver python3-selenium
#   `make bench`: Mesa's off-screen GL, the peer BM_Mesa draws with.
BENCH_PACKAGES := $(DRIVE_PACKAGES) libosmesa6-dev
#   `make lint`: clang-tidy over the release and fuzz builds.
LINT_PACKAGES := $(TEST_PACKAGES) clang-tidy
#   the arm64 cross build (`make test-arm64`, `make package-arm64`): Debian's cross
#   compiler, qemu-user to run what it builds, and the arm64 libraries the build links,
#   installed beside the native ones through multiarch.
ARM64_PACKAGES := g++-aarch64-linux-gnu qemu-user libsdl2-dev:arm64 libpng-dev:arm64 \
                  libgtest-dev:arm64 libx11-dev:arm64 libxtst-dev:arm64 libxfixes-dev:arm64 \
                  libwayland-dev:arm64

# The release build's settings for each purpose. Only what `make test` builds turns
# warnings into errors: a newer compiler's new warning must not stop anyone from building
# the program. Changing the flag rebuilds the objects once.
RUN_CONFIG := -DVIEWER_BUILD_TESTS=OFF -DVIEWER_BUILD_BENCH=OFF -DVIEWER_BUILD_PACKAGING=OFF \
              -DVIEWER_WARNINGS_AS_ERRORS=OFF
BUILD_CONFIG := -DVIEWER_BUILD_TESTS=OFF -DVIEWER_BUILD_BENCH=OFF -DVIEWER_BUILD_PACKAGING=ON \
                -DVIEWER_WARNINGS_AS_ERRORS=OFF
TEST_CONFIG := -DVIEWER_BUILD_TESTS=ON -DVIEWER_BUILD_BENCH=ON -DVIEWER_BUILD_PACKAGING=ON \
               -DVIEWER_WARNINGS_AS_ERRORS=ON
BENCH_CONFIG := -DVIEWER_BUILD_TESTS=OFF -DVIEWER_BUILD_BENCH=ON -DVIEWER_BUILD_PACKAGING=OFF \
                -DVIEWER_WARNINGS_AS_ERRORS=OFF

.PHONY: all deps run-deps package-deps web-deps bench-deps lint-deps arm64-deps arm64 test-arm64 \
        package-arm64 build-viewer build test-build run web run-web bench-web test test-release test-asan test-tsan test-fuzz lint lint-format \
        lint-tidy snapshot bench fuzz soak valgrind clean

all: build

# Installs whichever of the packages named in $(1) are missing, in one apt-get run. Without
# apt-get (not Debian, or not a Debian we can install on) it names them and stops. A freshly
# booted machine is often still running its own upgrades, so the install waits for dpkg's
# lock for a while instead of failing at once.
define install-missing
	@if ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then \
	  echo "make: no apt-get here; install these (Debian's names), then run make again: $(sort $(1))" >&2; \
	  exit 1; \
	fi; \
	missing=$$(for p in $(sort $(1)); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -o DPkg::Lock::Timeout=600 -y -qq --no-install-recommends $$missing >/dev/null; \
	fi
endef

deps:
	$(call install-missing,$(TEST_PACKAGES))

run-deps:
	$(call install-missing,$(RUN_PACKAGES))

package-deps:
	$(call install-missing,$(PACKAGE_PACKAGES))

web-deps:
	$(call install-missing,$(WEB_PACKAGES))

bench-deps:
	$(call install-missing,$(BENCH_PACKAGES))

lint-deps:
	$(call install-missing,$(LINT_PACKAGES))

# dpkg takes arm64 packages only once it knows the architecture; the next apt-get update
# (install-missing runs one) then lists them.
arm64-deps: deps
	@dpkg --print-foreign-architectures | grep -qx arm64 || $(SUDO) dpkg --add-architecture arm64
	$(call install-missing,$(ARM64_PACKAGES))

# The program alone, enough to run it from the build tree.
build-viewer: run-deps
	cmake --preset release $(RUN_CONFIG) >/dev/null
	cmake --build --preset release --target viewer

# The programs with their manual pages and icons: what `cmake --install` and the package take.
build: package-deps
	cmake --preset release $(BUILD_CONFIG) >/dev/null
	cmake --build --preset release

run: build-viewer
	./build/release/viewer

# The viewer for the browser: build/web/index.html, index.js and index.wasm, to serve from
# any static web server; `make run-web` serves them on 127.0.0.1 and prints the address.
web: web-deps
	cmake --preset web >/dev/null
	cmake --build --preset web

run-web: web
	python3 tools/serve_web.py build/web

# The WebAssembly device against the native one, the start-camera frame on one thread.
bench-web: web bench-deps
	cmake --build --preset web --target viewer-frame-time
	cmake --preset release $(BENCH_CONFIG) >/dev/null
	cmake --build --preset release --target viewer-frame-time
	python3 bench/web_ratio.py
	@ls -l build/web/index.html build/web/index.js build/web/index.wasm

# The viewer, tools and tests for 64-bit ARM Linux in build/arm64 (cmake/aarch64-linux-gnu.cmake).
arm64: arm64-deps
	cmake --preset arm64 >/dev/null
	cmake --build --preset arm64

# The arm64 build under qemu-user: its unit and pixel tests (not those that judge wall
# time, which emulation stretches), then the arm64 viewer in Xvfb, started by the native
# window test in place of its own and matched against the x86 build's headless frames.
ARM64_WINDOW_TEST := ViewerE2E.OpensAnEightHundredBySixHundredWindowShowingTheScene
test-arm64: arm64
	ctest --preset arm64
	cmake --preset release $(TEST_CONFIG) >/dev/null
	cmake --build --preset release --target viewer_e2e_tests
	VIEWER_E2E_COMMAND="qemu-aarch64 $(CURDIR)/build/arm64/viewer" \
	  ./build/release/viewer_e2e_tests --gtest_filter=$(ARM64_WINDOW_TEST)

# The format check first: it takes seconds, the rest takes many minutes.
test: deps lint-format test-release test-asan test-tsan test-fuzz

# The release build with every test, benchmark and tool, warnings as errors.
test-build: deps
	cmake --preset release $(TEST_CONFIG) >/dev/null
	cmake --build --preset release

test-release: test-build
	ctest --preset release

# Tests that judge wall time (label timing) stay out: the sanitizers slow everything down.
test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan -LE 'e2e|soak|valgrind|timing'

# The unit and pixel tests with the device's row threads under ThreadSanitizer; the
# preset leaves out the labels that run the real viewer or judge by wall time, and any
# report fails its test.
test-tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan
	ctest --preset tsan

# Every tracked C++ file formatted as .clang-format says, then clang-tidy with .clang-tidy
# over every file the release build compiles and the fuzz targets, through each build's
# compile_commands.json. The log is shown only when something is found.
LINT_SOURCES = $(shell git ls-files '*.cpp' '*.h')
lint: lint-format lint-tidy

lint-format:
	$(call install-missing,clang-format)
	@[ -n "$(LINT_SOURCES)" ] || { echo "lint: git lists no C++ files here"; exit 1; }
	@echo "clang-format --dry-run --Werror: $(words $(LINT_SOURCES)) files"
	@clang-format --dry-run --Werror $(LINT_SOURCES)

lint-tidy: lint-deps
	cmake --preset release $(TEST_CONFIG) >/dev/null
	cmake --preset fuzz >/dev/null
	@echo "clang-tidy: the release build's sources and the fuzz targets"
	@found=0; \
	run-clang-tidy -p build/release -quiet -j $$(nproc) >build/clang-tidy.log 2>&1 || found=1; \
	run-clang-tidy -p build/fuzz -quiet -j $$(nproc) '/fuzz/[^/]*\.cpp$$' >>build/clang-tidy.log 2>&1 \
	  || found=1; \
	if [ $$found -ne 0 ]; then grep -v -e '^clang-tidy' -e 'warnings generated' build/clang-tidy.log; fi; \
	exit $$found

# Every fuzz target for FUZZ_SECONDS each, one after the other (the machine is shared).
# New inputs go to build/fuzz/corpus/<target>, seeded from fuzz/corpus/<target>; a crash
# stops the run and leaves its input in build/fuzz/artifacts/.
FUZZ_SECONDS ?= 600
FUZZERS := draw messages d3dx
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	@mkdir -p build/fuzz/artifacts
	@for t in $(FUZZERS); do \
	  mkdir -p build/fuzz/corpus/$$t; \
	  echo "fuzzing $$t for $(FUZZ_SECONDS) s"; \
	  ./build/fuzz/$${t}_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=120 -rss_limit_mb=2048 \
	    -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/$$t- \
	    build/fuzz/corpus/$$t fuzz/corpus/$$t >build/fuzz/$$t.log 2>&1 \
	    || { tail -n 60 build/fuzz/$$t.log; exit 1; }; \
	  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' build/fuzz/$$t.log; \
	done

# Half a minute per fuzz target inside `make test`.
test-fuzz:
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30

# The long soak: a million headless frames (the release test run does 100,000).
soak: test-build
	VIEWER_SOAK_FRAMES=1000000 ctest --preset release -L soak --timeout 7200

# The release build (re-configured so CMake sees OSMesa once installed), then every
# benchmark with its JSON kept beside the console table, then the ratios from that run.
bench: bench-deps
	cmake --preset release $(BENCH_CONFIG) >/dev/null
	cmake --build --preset release --target viewer-bench
	./build/release/viewer-bench --benchmark_out=build/release/bench.json --benchmark_out_format=json
	python3 bench/ratios.py build/release/bench.json

clean:
	rm -rf build

# The Debian package, build/release/our-direct3d-program_<version>-1_<arch>.deb
# (`sudo apt install ./build/release/…deb`), and its checks without the rest of `make test`.
.PHONY: package test-install
# The same commit packs into the same bytes (see packaging/source_date.cmake); the umask
# would otherwise leak into the modes of the .deb's own members.
package: build
	umask 022 && cd build/release && cpack -G DEB

# The same for arm64 from the cross build, build/arm64/our-direct3d-program_<version>-1_arm64.deb;
# dpkg-shlibdeps reads the arm64 libraries for its Depends. Checked as the install tests
# check the native one: no lintian error or warning.
package-arm64: arm64
	umask 022 && cd build/arm64 && DEB_HOST_ARCH=arm64 cpack -G DEB
	lintian --pedantic -I --fail-on error,warning --suppress-tags initial-upload-closes-no-bugs \
	  build/arm64/*_arm64.deb

test-install: test-build
	ctest --preset release -L install
