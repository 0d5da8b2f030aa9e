# The two everyday commands are `make run` and `make test`; both install what is
# missing first.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
export QT_QPA_PLATFORM ?= offscreen
export SDL_AUDIODRIVER ?= dummy

.PHONY: all deps run test build-dev build-release bench fuzz format format-check clean install package soak

all: build-dev

deps:
	@scripts/install-deps.sh

build-dev: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

# The three programs only; `make bench` builds the benchmarks as well.
build-release: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target velcora velcoractl velcora-robot-sim

test: build-dev
	cd build/dev && QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# The console against the simulated robot; with no display it says so instead
# of failing obscurely.
run: QT_QPA_PLATFORM=
run: build-release
	@scripts/run-console.sh build/release

# Installs the programs, menu entry, icon, manual pages and completion under
# PREFIX (DESTDIR is honoured).
PREFIX ?= /usr/local
install: build-release
	cmake --build --preset release -j $(JOBS) --target velcora_docs
	cmake --install build/release --prefix $(PREFIX)

# A Debian package in build/release (velcora_VERSION_ARCH.deb).
package: build-release
	cmake --build --preset release -j $(JOBS) --target velcora_docs
	cd build/release && cpack -G DEB

# The benchmarks and the programs they start, not every test; ends with the
# table of every goal.
bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target velcora_benches
	@scripts/run-benches.sh build/release

# The console's controllers against the simulated robot behind the fault
# relay for SOAK_MINUTES (30), under the sanitizers; SOAK_BUILD=release for the
# memory figures. SOAK_ARGS adds options (--corrupt, --seed N, -v).
SOAK_MINUTES ?= 30
SOAK_BUILD ?= dev
soak: deps
	cmake --preset $(SOAK_BUILD) -DVELCORA_TESTS=ON
	cmake --build --preset $(SOAK_BUILD) -j $(JOBS) --target velcora_soak
	cd build/$(SOAK_BUILD) && SDL_AUDIODRIVER=dummy \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ./tests/soak/velcora_soak --minutes $(SOAK_MINUTES) $(SOAK_ARGS)

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	@scripts/run-fuzzers.sh build/fuzz $(FUZZ_SECONDS)

format:
	@git ls-files '*.cpp' '*.h' | xargs -r clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs -r clang-format --dry-run --Werror

clean:
	rm -rf build
