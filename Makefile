# Set-up, build and test in one place. `make run` and `make test` install what is
# missing (Debian packages), build, and then run the viewer or the whole test suite.
SHELL := /bin/bash
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

PACKAGES := cmake ninja-build g++ pkg-config libsdl2-dev libpng-dev libgtest-dev \
            libbenchmark-dev libx11-dev libxtst-dev xvfb xauth xdotool imagemagick x11-utils python3 python3-xlib

.PHONY: all deps build run test test-release test-asan snapshot clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
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

clean:
	rm -rf build
