# clipdock: top-level commands. See README.md.
#   make run     build and start clipdock.exe under Wine (ARCH=win64, the default,
#                or ARCH=win32: the i686 build users get, under the WoW64 Wine)
#   make test    set-up, every build, every test (the two Windows builds' tests at
#                the same time, each under its own Wine)
#   make build   the native, win32 and win64 builds
#   make bench   benchmarks (figures, no pass/fail)
#   make fuzz    the item-file fuzzer: FUZZ_RUNS executions (default 10,000,000)
#                on FUZZ_WORKERS processes (2), stopped after FUZZ_SECONDS (1800)
#   make dist    dist/clipdock-VERSION-win32.zip for Windows users
#   make wine-wow64  builds the i686 build's Wine from Debian's source into
#                /opt/wine10-wow64 (about 45 minutes; only where its tarball is missing)
#   make clean

B := build
CMAKE_FLAGS := -G Ninja -Wno-dev
FUZZ_RUNS ?= 10000000
FUZZ_WORKERS ?= 2
FUZZ_SECONDS ?= 1800
ARCH ?= win64
export CTEST_OUTPUT_ON_FAILURE := 1

.PHONY: all setup build native win32 win64 test test-native test-win32 test-win64 \
        fuzz-build fuzz fuzz-short bench run dist wine-wow64 clean

all: build

setup:
	@bash scripts/setup.sh

build: setup native win32 win64

native:
	@test -f $(B)/native/build.ninja || cmake -S . -B $(B)/native $(CMAKE_FLAGS) \
	  -DCMAKE_BUILD_TYPE=Debug -DCLIPDOCK_SANITIZE=ON
	cmake --build $(B)/native

win32:
	@test -f $(B)/win32/build.ninja || cmake -S . -B $(B)/win32 $(CMAKE_FLAGS) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(B)/win32

win64:
	@test -f $(B)/win64/build.ninja || cmake -S . -B $(B)/win64 $(CMAKE_FLAGS) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(B)/win64

test: build fuzz-build
	ctest --test-dir $(B)/native -j2
	ctest --test-dir $(B)/fuzz
	bash scripts/test-windows.sh $(B)

fuzz-build: setup
	@test -f $(B)/fuzz/build.ninja || CC=clang CXX=clang++ cmake -S . -B $(B)/fuzz $(CMAKE_FLAGS) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLIPDOCK_FUZZ=ON
	cmake --build $(B)/fuzz

fuzz: fuzz-build
	bash scripts/fuzz.sh $(B)/fuzz $(FUZZ_SECONDS) $(FUZZ_RUNS) $(FUZZ_WORKERS)

bench: setup win64 win32
	@test -f $(B)/bench/build.ninja || cmake -S . -B $(B)/bench $(CMAKE_FLAGS) \
	  -DCMAKE_BUILD_TYPE=Release -DCLIPDOCK_TESTS=OFF -DCLIPDOCK_BENCH=ON
	cmake --build $(B)/bench
	bash scripts/bench.sh $(B)

dist: setup win32
	bash scripts/dist.sh $(B)/win32

run: setup $(ARCH)
	bash scripts/run.sh $(B)/$(ARCH)

wine-wow64:
	bash scripts/build-wine10-wow64.sh deps src unidata regen configure build inst fix

clean:
	rm -rf $(B) dist
