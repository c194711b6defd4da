# Set-up, build and test in one place. `make run` and `make test` install what is
# missing (Debian packages), build, and then run the viewer or the whole test suite.
SHELL := /bin/bash
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

PACKAGES := cmake ninja-build g++ pkg-config libsdl2-dev libpng-dev libgtest-dev \
            libbenchmark-dev libx11-dev libxtst-dev xvfb xauth xdotool imagemagick x11-utils python3 python3-xlib
# Only `make bench` needs these: Mesa's off-screen GL, the comparison BM_Mesa draws with.
BENCH_PACKAGES := libosmesa6-dev

.PHONY: all deps bench-deps build run test test-release test-asan snapshot bench clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing >/dev/null; \
	fi

bench-deps: deps
	@missing=$$(for p in $(BENCH_PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing >/dev/null; \
	fi

build: deps
	cmake --preset release >/dev/null
	cmake --build --preset release

run: build
	./build/release/viewer

test: deps test-release test-asan

test-release: build
	ctest --preset release

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan -LE e2e

# The release build (re-configured so CMake sees OSMesa once installed), then every
# benchmark with its JSON kept beside the console table, then the ratios from that run.
bench: bench-deps
	cmake --preset release >/dev/null
	cmake --build --preset release --target viewer-bench
	./build/release/viewer-bench --benchmark_out=build/release/bench.json --benchmark_out_format=json
	python3 bench/ratios.py build/release/bench.json

clean:
	rm -rf build
