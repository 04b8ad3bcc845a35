# Two commands for a newcomer: `make demo` and `make test`. Both install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
FUZZ_BUILD ?= build-fuzz
WIN_BUILD  ?= build-win
# Seconds each fuzz target runs in `make fuzz`.
FUZZ_SECONDS ?= 60
# One line per stage of `make test`, printed together at its end.
SUMMARY     = $(BUILD)/test-summary
SHELL      := /bin/bash

# A compiler cache where the machine has one (scripts/install-deps installs it for the tests): a
# build that compiles what an earlier one did (another clone, a rebuild after a small change) takes
# seconds. Paths are cached relative to the checkout, and the build folder's own path is left out
# of what is compared (the builds carry debug information, which would otherwise tie each cached
# object to one checkout's path), so clones anywhere share it: a fresh clone's build took 320 s,
# the next clone's elsewhere 90 s.
ifneq ($(shell command -v ccache),)
export CMAKE_C_COMPILER_LAUNCHER ?= ccache
export CMAKE_CXX_COMPILER_LAUNCHER ?= ccache
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= true
endif

.PHONY: all deps configure build build-all check format-check test unit-test asan-test demo bench \
        clean fuzz-build fuzz fuzz-smoke valgrind package package-check summary-start windows \
        windows-configure windows-test

all: build

# Every package of the tests; `make` alone installs only what the program needs.
deps:
	@./scripts/install-deps

configure:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

# The program, its sample forms and its man page.
build:
	@./scripts/install-deps --demo
	@$(MAKE) --no-print-directory configure
	@cmake --build $(BUILD) -j $(JOBS) --target tolv tolv_sample_forms tolv_man_page

# Everything: the program, the tools and every test.
build-all: deps configure
	@cmake --build $(BUILD) -j $(JOBS)

# The quick loop: the formatting, then the unit tests alone (the CUPS backend's, which start a
# scheduler, run in make test). One test: build/tests/tolv_tests --gtest_filter='Suite.Name'.
check: format-check
	@./scripts/install-deps --unit
	@$(MAKE) --no-print-directory configure
	@cmake --build $(BUILD) -j $(JOBS) --target tolv tolv_tests
	@TOLV_EXE=$(abspath $(BUILD))/tolv $(BUILD)/tests/tolv_tests --gtest_brief=1 \
	  --gtest_filter='-Cups*'

# Every C++ file of the project in the project's format (.clang-format).
format-check:
	@./scripts/install-deps --unit
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# A ctest run ($(3): environment settings for it, $(4): more ctest arguments) with its result
# kept as one line of the summary: how many ran and passed, how many were skipped.
define ctest_with_summary
	set -o pipefail; $(3) ctest --test-dir $(1) --output-on-failure --no-tests=error -j $(JOBS) \
	  $(4) | tee $(1)/ctest.log
	@echo "$(2): $$(grep -E 'tests passed' $(1)/ctest.log | sed 's/^ *//'), \
	$$(grep -c '(Skipped)' $(1)/ctest.log) skipped (log: $(1)/ctest.log)" >> $(SUMMARY)
endef

summary-start:
	@mkdir -p $(BUILD) && rm -f $(SUMMARY)

unit-test: build-all summary-start
	$(call ctest_with_summary,$(BUILD),unit and integration tests)

# Tests that wait out the 30-second deadline (a scheduler or name server that never answers) or
# install the package check the program's timing and installation, not its memory: they run in the
# unit stage, not a second time under the sanitizers.
comma := ,
ASAN_SKIPPED = DeadlineTest|SlowReaderTest.TheDeadline|OutwaitsTheDeadline|StopsReadingInTheDocument|PackageTest
asan-test: deps summary-start
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTOLV_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	$(call ctest_with_summary,$(ASAN_BUILD),the same under address and UB sanitizers$(comma) \
	  but the waits for a deadline and the package install,\
	  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1,-E '$(ASAN_SKIPPED)')

# The fuzz targets need clang (libFuzzer); the build has its own directory and no tests.
fuzz-build: deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DTOLV_FUZZ=ON -DTOLV_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Every fuzz target for FUZZ_SECONDS, keeping what it finds in $(FUZZ_BUILD)/fuzz-corpus.
fuzz: fuzz-build
	./fuzz/run --seconds $(FUZZ_SECONDS) $(FUZZ_BUILD)

# Every fuzz target over its seeds and a fixed number of mutations: seconds, for every test run.
fuzz-smoke: fuzz-build summary-start
	set -o pipefail; ./fuzz/run --smoke $(FUZZ_BUILD) | tee $(FUZZ_BUILD)/smoke.log
	@echo "fuzz: $$(grep -c ' ok: ' $(FUZZ_BUILD)/smoke.log) targets over their seeds and a fixed \
	number of mutations, none failed (log: $(FUZZ_BUILD)/smoke.log)" >> $(SUMMARY)

# The program once per output mode under valgrind's memcheck.
valgrind: build-all summary-start
	set -o pipefail; ./scripts/valgrind-check $(BUILD) | tee $(BUILD)/valgrind.log
	@echo "valgrind: $$(grep -c ' ok: ' $(BUILD)/valgrind.log) runs of the program under memcheck, \
	no errors (log: $(BUILD)/valgrind.log)" >> $(SUMMARY)

# The Windows build: tolv.exe cross-compiled with mingw-w64 (static, system DLLs only),
# tolv-windows.zip with the exe, the sample forms the Linux build draws, and a README, and tolv.msi
# with the same files (wixl).
windows-configure: build-all
	@cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DTOLV_FORMS_DIR=$(abspath $(BUILD))/forms \
	  -DTOLV_LINUX_BUILD=$(abspath $(BUILD)) >/dev/null

windows: windows-configure
	@cmake --build $(WIN_BUILD) -j $(JOBS) --target tolv tolv_zip tolv_msi

# The Windows build's tests under wine (one warm wine session), beside the Linux build's output.
windows-test: windows-configure summary-start
	@cmake --build $(WIN_BUILD) -j $(JOBS)
	$(call ctest_with_summary,$(WIN_BUILD),the Windows build under wine)

# Each stage stops `make test` when it fails; at the end, what ran.
test: format-check unit-test asan-test fuzz-smoke valgrind windows-test package-check
	@echo; echo "make test: everything passed"; sed 's/^/  /' $(SUMMARY)

# Quiet: installs only what the program needs, builds only it and the sample forms, with one line
# each and the details in demo/demo.log.
demo:
	@BUILD=$(BUILD) JOBS=$(JOBS) ./scripts/demo

# build/tolv-<version>-<arch>.deb (run-time dependencies declared) and .tar.gz.
# The .deb and .tar.gz, built apart with Debian's hardening flags (dpkg-buildflags: fortify, stack
# protector, relro and bindnow), then checked by lintian where it is installed. GCC 12 at -O3 with
# fortify warns of overlapping copies inside std::string that cannot happen (GCC bug 105329), as
# the cross compiler does everywhere: -Wno-restrict, as there.
PACKAGE_BUILD ?= build-package
package: export DEB_BUILD_MAINT_OPTIONS = hardening=+all
package:
	@./scripts/install-deps --demo
	@CFLAGS="$$(dpkg-buildflags --get CFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS) -Wno-restrict" \
	  LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	  cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release -DTOLV_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	@cd $(PACKAGE_BUILD) && cpack >/dev/null && ls $$PWD/*.deb $$PWD/*.tar.gz
	@if command -v lintian >/dev/null; then \
	  lintian -L '>=pedantic' --fail-on error,warning $(PACKAGE_BUILD)/*.deb && \
	  echo "lintian: $$(ls $(PACKAGE_BUILD)/*.deb) passes (no error, no warning)"; fi

# The package as make package builds it, checked by lintian; one line of the summary.
package-check: deps summary-start
	set -o pipefail; $(MAKE) --no-print-directory package | tee $(BUILD)/package.log
	@echo "package: $$(grep -o 'lintian: .*' $(BUILD)/package.log || echo 'built, lintian not installed')" \
	  >> $(SUMMARY)

# Builds with the benchmarks, runs them and writes their figures into BENCHMARKS.md. Not part of
# `make test`: timings are no test.
bench:
	@./scripts/install-deps --bench
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLV_BUILD_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	./bench/run-process-bench $(BUILD) BENCHMARKS.md

# Every build folder (build*, whatever BUILD names) and the demo's output.
clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD) build-* demo
