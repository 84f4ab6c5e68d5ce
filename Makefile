# Entry points for people and CI. Each target first makes sure the build tools are installed.
.PHONY: all setup setup-windows build demo test test-default test-sanitize test-fuzz test-windows bench clean

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

# The 32-bit and the 64-bit Windows build (mingw-w64) and their tests under
# wine and wine64. The Linux build comes first: velmoran-send.exe is compared
# with it. Where the kernel runs no 32-bit programs (or VELMORAN_NO_WIN32=1),
# the 32-bit build is built and checked as files, its programs reported skipped.
setup-windows:
	@scripts/setup.sh --windows

test-windows: setup-windows build
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows
	@cmake --preset windows64 >/dev/null
	@cmake --build --preset windows64
	@ctest --preset windows
	@ctest --preset windows64

bench: setup
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	@scripts/bench.sh build/bench/bin

clean:
	rm -rf build out
