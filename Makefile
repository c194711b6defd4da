# Set-up, build and test in one place. `make run` and `make test` install what is
# missing (Debian packages), build, and then run the viewer or the whole test suite.
SHELL := /bin/bash
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

PACKAGES := cmake ninja-build g++ pkg-config libsdl2-dev libpng-dev libgtest-dev \
            libbenchmark-dev libx11-dev libxtst-dev xvfb imagemagick \
            clang libclang-rt-14-dev valgrind twm weston libwayland-dev clang-format
# The Wayland title bar SDL draws through libdecor (only recommended by libdecor, which
# --no-install-recommends leaves out); an EWMH window manager, XFixes for the cursor and
# strace for the end-to-end tests.
PACKAGES += libdecor-0-plugin-1-cairo openbox libxfixes-dev strace
# The installed program's manual pages and Debian package, and their checks (the icons
# also need imagemagick, above; cpack's dependency scan needs file; appstream validates
# the software-centre metadata).
PACKAGES += scdoc gzip dpkg-dev file desktop-file-utils lintian man-db appstream
# The viewer in a browser: Debian's emscripten (with its prebuilt system libraries, so
# nothing is downloaded at build time) and node; the web tests serve the page with
# python3 and drive Chromium through its WebDriver.
PACKAGES += emscripten nodejs python3 chromium chromium-driver
# Only `make bench` needs this: Mesa's off-screen GL, the comparison BM_Mesa draws with
# (python3, above, prints the ratios after the run).
BENCH_PACKAGES := libosmesa6-dev
# Only `make lint` needs this (the format check inside `make test` needs clang-format).
LINT_PACKAGES := clang-tidy
# Only the arm64 cross build needs these (`make test-arm64`, `make package-arm64`):
# Debian's cross compiler, qemu-user to run what it builds, and the arm64 libraries the
# build links, installed beside the native ones through multiarch.
ARM64_PACKAGES := g++-aarch64-linux-gnu qemu-user libsdl2-dev:arm64 libpng-dev:arm64 \
                  libgtest-dev:arm64 libx11-dev:arm64 libxtst-dev:arm64 libxfixes-dev:arm64 \
                  libwayland-dev:arm64

.PHONY: all deps bench-deps lint-deps arm64-deps arm64 test-arm64 package-arm64 build run web run-web bench-web test test-release test-asan test-tsan test-fuzz lint lint-format \
        lint-tidy snapshot bench fuzz soak valgrind clean

all: build

# Installs whichever of the packages named in $(1) are missing, in one apt-get run.
define install-missing
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing >/dev/null; \
	fi
endef

deps:
	$(call install-missing,$(PACKAGES))

bench-deps: deps
	$(call install-missing,$(BENCH_PACKAGES))

lint-deps: deps
	$(call install-missing,$(LINT_PACKAGES))

# dpkg takes arm64 packages only once it knows the architecture; the next apt-get update
# (install-missing runs one) then lists them.
arm64-deps: deps
	@dpkg --print-foreign-architectures | grep -qx arm64 || $(SUDO) dpkg --add-architecture arm64
	$(call install-missing,$(ARM64_PACKAGES))

build: deps
	cmake --preset release >/dev/null
	cmake --build --preset release

run: build
	./build/release/viewer

# The viewer for the browser: build/web/index.html, index.js and index.wasm, to serve from
# any static web server; `make run-web` serves them on 127.0.0.1 and prints the address.
web: deps
	cmake --preset web >/dev/null
	cmake --build --preset web

run-web: web
	python3 tools/serve_web.py build/web

# The WebAssembly device against the native one, the start-camera frame on one thread.
bench-web: web build
	cmake --build --preset web --target viewer-frame-time
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
	cmake --preset release >/dev/null
	cmake --build --preset release --target viewer_e2e_tests
	VIEWER_E2E_COMMAND="qemu-aarch64 $(CURDIR)/build/arm64/viewer" \
	  ./build/release/viewer_e2e_tests --gtest_filter=$(ARM64_WINDOW_TEST)

# The format check first: it takes seconds, the rest takes many minutes.
test: deps lint-format test-release test-asan test-tsan test-fuzz

test-release: build
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

lint-format: deps
	@[ -n "$(LINT_SOURCES)" ] || { echo "lint: git lists no C++ files here"; exit 1; }
	@echo "clang-format --dry-run --Werror: $(words $(LINT_SOURCES)) files"
	@clang-format --dry-run --Werror $(LINT_SOURCES)

lint-tidy: lint-deps
	cmake --preset release >/dev/null
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
soak: build
	VIEWER_SOAK_FRAMES=1000000 ctest --preset release -L soak --timeout 7200

# The release build (re-configured so CMake sees OSMesa once installed), then every
# benchmark with its JSON kept beside the console table, then the ratios from that run.
bench: bench-deps
	cmake --preset release >/dev/null
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

test-install: build
	ctest --preset release -L install
