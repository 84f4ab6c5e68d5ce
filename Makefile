# Entry points for people and CI. Each target first makes sure the build tools are installed.
.PHONY: all setup build demo test test-default test-sanitize test-fuzz bench clean

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

bench: setup
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	@scripts/bench.sh build/bench/bin

clean:
	rm -rf build out
