# Entry points for people and CI. Each target first makes sure the build tools are installed.
.PHONY: all setup build demo test test-default test-sanitize bench clean

all: build

setup:
	@scripts/setup.sh

build: setup
	@cmake --preset default >/dev/null
	@cmake --build --preset default

demo: build
	@scripts/demo.sh build/default/bin

test: test-default test-sanitize

test-default: build
	@ctest --preset default

test-sanitize: setup
	@cmake --preset sanitize >/dev/null
	@cmake --build --preset sanitize
	@ctest --preset sanitize

bench: setup
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	@scripts/bench.sh build/bench/bin

clean:
	rm -rf build out
