# Fronts CMake: `make test` and `make run` are all a user needs.
.PHONY: all deps native win32 test test-native test-win32 run format clean

all: native win32

deps:
	@scripts/install-deps.sh

native: deps
	cmake --preset native >/dev/null
	cmake --build --preset native

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32

test-native: native
	ctest --preset native

test-win32: win32
	ctest --preset win32

test: test-native test-win32

run: win32
	@scripts/run.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
