# Entry points for people and CI. Each target first makes sure the build tools are installed.
.PHONY: all setup setup-windows build demo test test-default test-sanitize test-fuzz fuzz test-windows bench clean

all: build

setup:
	@scripts/setup.sh

build: setup
	@cmake --preset default >/dev/null
	@cmake --build --preset default

demo: build
	@scripts/demo.sh build/default/bin

test: test-default test-sanitize test-fuzz

test-default: build
	@ctest --preset default

test-sanitize: setup
	@cmake --preset sanitize >/dev/null
	@cmake --build --preset sanitize
	@ctest --preset sanitize

test-fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@ctest --preset fuzz

# A longer fuzzing run (5 minutes; FUZZ_SECONDS=N for another length), its
# findings in build/fuzz/tests/fuzz/.
FUZZ_SECONDS ?= 300
fuzz: setup
	@cmake --preset fuzz -DVELMORAN_FUZZ_SECONDS=$(FUZZ_SECONDS) >/dev/null
	@cmake --build --preset fuzz --target fuzz-long

# The 32-bit Windows build (mingw-w64) and its tests under wine. The Linux
# build comes first: velmoran-send.exe is compared with it.
setup-windows:
	@scripts/setup.sh --windows

test-windows: setup-windows build
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows
	@ctest --preset windows

bench: setup
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	@scripts/bench.sh build/bench/bin

clean:
	rm -rf build out
