# Entry points for people and CI. Each target first makes sure the build tools are installed.
.PHONY: all setup setup-windows build demo test test-default test-sanitize test-tsan test-fuzz \
        fuzz test-dist test-windows packages-linux dist bench clean

all: build

setup:
	@scripts/setup.sh

build: setup
	@cmake --preset default >/dev/null
	@cmake --build --preset default

demo: build
	@scripts/demo.sh build/default/bin

test: test-default test-sanitize test-tsan test-fuzz test-dist

test-default: build
	@ctest --preset default

test-sanitize: setup
	@cmake --preset sanitize >/dev/null
	@cmake --build --preset sanitize
	@ctest --preset sanitize

# ThreadSanitizer over the tests that use threads.
test-tsan: setup
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan
	@ctest --preset tsan

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

# The Windows builds that `make dist` ships, one .zip each.
WINDOWS_PRESETS := windows windows64

# The .deb and the .tar.gz, from a release build of what they ship.
packages-linux: setup
	@cmake --preset dist >/dev/null
	@cmake --build --preset dist
	@rm -rf build/dist/packages
	@cd build/dist && cpack -B $(CURDIR)/build/dist/packages >/dev/null
	@rm -rf build/dist/packages/_CPack_Packages

# The Linux packages unpacked and used as a user would.
test-dist: packages-linux
	@scripts/check-dist.sh build/dist/packages

# Everything a release ships, in dist/: the Linux packages, a .zip for each
# Windows build and SHA256SUMS. Like the Linux packages, each .zip comes from a
# release build of the preset without its tests (build/PRESET-dist).
dist: test-dist setup-windows
	@rm -rf dist && mkdir dist
	@cp build/dist/packages/*.deb build/dist/packages/*.tar.gz dist/
	@set -e; for preset in $(WINDOWS_PRESETS); do \
	  build=build/$$preset-dist; \
	  cmake --preset $$preset -B $$build -DVELMORAN_BUILD_TESTS=OFF >/dev/null; \
	  cmake --build $$build; \
	  rm -rf $$build/packages; \
	  (cd $$build && cpack -B $(CURDIR)/$$build/packages >/dev/null); \
	  cp $$build/packages/*.zip dist/; \
	done
	@cd dist && sha256sum -- * >SHA256SUMS
	@scripts/check-dist.sh dist
	@ls -l dist

bench: setup
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	@scripts/bench.sh build/bench/bin

clean:
	rm -rf build out dist
