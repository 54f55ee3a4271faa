# Fronts CMake: `make test` and `make run` are all a user needs.
.PHONY: all deps native win32 win64 release release64 install test test-native test-fuzz \
        test-windows test-dist run dist fuzz sim memcheck bench bench-gui format clean

FUZZ_SECONDS ?= 60
SIM_SECONDS ?= 60
# The Windows architectures to test, run or time: auto is both where this machine
# runs 32-bit code and win64 alone elsewhere; win64 checks the 64-bit path anywhere.
WINDOWS_ARCH ?= auto
PREFIX ?= /usr/local
# The unit suites under valgrind; the kill test forks hundreds of children and is left out.
MEMCHECK_SUITES = data_test form_test save_faults_test
VALGRIND = valgrind --quiet --error-exitcode=1 --leak-check=full \
           --errors-for-leak-kinds=definite,indirect --trace-children=no

all: native win32 release win64 release64

deps:
	@scripts/install-deps.sh

# Each build is a CMake preset of the same name. release and release64 are what
# users get: the win32 thread model (nothing newer than Windows XP), stripped.
native win32 win64 release release64: deps
	cmake --preset $@ >/dev/null
	cmake --build --preset $@

test-native: native
	ctest --preset native

# The committed corpus and a seeded pass of each: the same answer every time.
# `make fuzz` is the open-ended search.
test-fuzz: deps
	scripts/fuzz.sh --fixed

# qbcard on the PATH: an optimised build without sanitizers, into PREFIX/bin.
install: deps
	cmake -S . -B build/install -DCMAKE_BUILD_TYPE=Release -DQB_TESTS=OFF >/dev/null
	cmake --build build/install --target qbcard -j 2
	cmake --install build/install --prefix "$(PREFIX)"

# The Windows suites, once per architecture this machine runs; the end-to-end one
# drives the release executables themselves.
test-windows: deps
	@scripts/test-windows.sh "$(WINDOWS_ARCH)"

# The four executables import only what the oldest Windows we promise has, and both
# zips, each built twice from nothing, come out the same.
test-dist: release release64
	scripts/check-imports.sh build/release/quillborough.exe build/release/qbcard.exe \
	  build/release64/quillborough.exe build/release64/qbcard.exe
	scripts/check-reproducible.sh

test: test-native test-fuzz test-windows test-dist

run: deps
	@WINDOWS_ARCH="$(WINDOWS_ARCH)" scripts/run.sh

dist: release release64
	cmake --build --preset release --target dist
	cmake --build --preset release64 --target dist
	@ls -l dist/*.zip

fuzz: deps
	scripts/fuzz.sh $(FUZZ_SECONDS)

# Sync histories from random seeds for SIM_SECONDS, optimised and without sanitizers
# so that many run; SEED=n replays one history step by step instead, the one
# `make test` plays for that seed.
sim: deps
	cmake -S . -B build/sim -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_TESTS=ON >/dev/null
	cmake --build build/sim --target sync_sim -j 2
	@if [ -n "$(SEED)" ]; then build/sim/tests/sync_sim --seed "$(SEED)"; \
	else build/sim/tests/sync_sim --seconds "$(SIM_SECONDS)"; fi

memcheck: deps
	cmake --preset memcheck >/dev/null
	cmake --build --preset memcheck
	@for suite in $(MEMCHECK_SUITES); do \
	  echo "valgrind: $$suite"; \
	  $(VALGRIND) build/memcheck/tests/$$suite --gtest_brief=1 --gtest_filter=-*Killed* || exit 1; \
	done
	@echo "valgrind: no errors, no leaks"

# Timings, not tests: nothing here asserts a time.
bench: deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench
	build/bench/bench/qb_bench --benchmark_repetitions=3 --benchmark_min_time=0.3

# The real window under Wine: start-up, one Save and one Remove at 10,000, 100,000 and
# 1,000,000 entries. TIME_ALSO names other builds of the program to time beside it.
bench-gui: deps
	@WINDOWS_ARCH="$(WINDOWS_ARCH)" scripts/bench-gui.sh $(TIME_ALSO)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
