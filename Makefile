# Two commands for a newcomer: `make demo` and `make test`. Both install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
FUZZ_BUILD ?= build-fuzz
WIN_BUILD  ?= build-win
# Seconds each fuzz target runs in `make fuzz`.
FUZZ_SECONDS ?= 60

.PHONY: all deps build test unit-test asan-test demo bench clean fuzz-build fuzz fuzz-smoke valgrind \
        windows windows-configure windows-test

all: build

deps:
	@./scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

unit-test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

asan-test: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTOLV_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The fuzz targets need clang (libFuzzer); the build has its own directory and no tests.
fuzz-build: deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DTOLV_FUZZ=ON -DTOLV_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Every fuzz target for FUZZ_SECONDS, keeping what it finds in $(FUZZ_BUILD)/fuzz-corpus.
fuzz: fuzz-build
	./fuzz/run --seconds $(FUZZ_SECONDS) $(FUZZ_BUILD)

# Every fuzz target over its seeds and a fixed number of mutations: seconds, for every test run.
fuzz-smoke: fuzz-build
	./fuzz/run --smoke $(FUZZ_BUILD)

# The program once per output mode under valgrind's memcheck.
valgrind: build
	./scripts/valgrind-check $(BUILD)

# The Windows build: tolv.exe cross-compiled with mingw-w64 (static, system DLLs only) and
# tolv-windows.zip with the exe, the sample forms the Linux build draws, and a README.
windows-configure: build
	@cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DTOLV_FORMS_DIR=$(abspath $(BUILD))/forms \
	  -DTOLV_LINUX_BUILD=$(abspath $(BUILD)) >/dev/null

windows: windows-configure
	@cmake --build $(WIN_BUILD) -j $(JOBS) --target tolv tolv_zip

# The Windows build's tests under wine (one warm wine session), beside the Linux build's output.
windows-test: windows-configure
	@cmake --build $(WIN_BUILD) -j $(JOBS)
	ctest --test-dir $(WIN_BUILD) --output-on-failure -j $(JOBS)

test: unit-test asan-test fuzz-smoke valgrind windows-test

demo: build
	@./scripts/demo

# Builds with the benchmarks, runs them and writes their figures into BENCHMARKS.md. Not part of
# `make test`: timings are no test.
bench:
	@./scripts/install-deps --bench
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLV_BUILD_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	./bench/run-process-bench $(BUILD) BENCHMARKS.md

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD)
