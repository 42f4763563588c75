# Convenience front end over CMake. `make demo` and `make test` do everything
# from a fresh clone.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
WIN32_BUILD ?= build-win32
WIN64_BUILD ?= build-win64
# One Wine prefix for every Windows test run, made on first use.
WINE_PREFIX ?= $(CURDIR)/build-wine/prefix
FUZZ_SECONDS ?= 10
WERROR ?= OFF
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build test memcheck cpu-test demo sanitize tsan fuzz-smoke windows windows-test windows-arch foreign-test \
  foreign-arch soak bench micro-bench install uninstall clean

all: build

build:
	cmake -S . -B $(BUILD) -DCHUNKTOOLS_TESTS=ON -DCHUNKTOOLS_REFERENCE_BUILD=ON \
	  -DCHUNKTOOLS_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# The whole suite but for the slow runs that have targets of their own below.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 900 -LE '^(memcheck|cpu-model)$$'

# Every command-line case once more with the tools under valgrind's memcheck.
memcheck: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 900 -L '^memcheck$$'

# The unit tests and chunksig's kernel cases on older x86 CPUs emulated by
# qemu-x86_64, each with only the tiers up to one.
cpu-test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 900 -L '^cpu-model$$'

# The whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer
# (without the reference build: its comparison is the plain build's). Leaks
# are valgrind's to find (make memcheck, every command-line case): the leak
# check at the end of each of the suite's thousands of processes would take
# a third of this run.
sanitize:
	ASAN_OPTIONS=detect_leaks=0 $(MAKE) test BUILD=$(SANITIZE_BUILD) \
	  CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCHUNKTOOLS_SANITIZE=ON -DCHUNKTOOLS_REFERENCE_BUILD=OFF $(CMAKE_FLAGS)"

# chunksig's threads under ThreadSanitizer: the monitor's own test, the
# parallel chunking driven in-process with small blocks (in the portable
# tier, which every CPU has), and the cases that compare -j runs with one
# thread, in the CPU's own tier (the threads' work is the same in every
# tier), built with -fsanitize=thread; a report makes the run's exit code 66,
# which fails the case.
tsan:
	cmake -S . -B $(TSAN_BUILD) -DCHUNKTOOLS_TESTS=ON -DCHUNKTOOLS_TSAN=ON -DCHUNKTOOLS_REFERENCE_BUILD=OFF \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCHUNKTOOLS_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target cli_tests unit_tests chunksig
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/unit_tests --gtest_filter='ThreadMonitor*:*ParallelTier*/portable'
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/cli_tests --gtest_filter='*ChunksigJobs*'

# Each libFuzzer target for FUZZ_SECONDS, from generated seeds (needs clang).
fuzz-smoke:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCHUNKTOOLS_FUZZ=ON -DCHUNKTOOLS_TESTS=OFF -DCHUNKTOOLS_WERROR=$(WERROR) -DCHUNKTOOLS_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -j $(JOBS) --timeout 900

# The Windows executables, 32- and 64-bit, cross-built with mingw-w64 and
# packaged as .zip files: $(WIN32_BUILD)/*.exe, $(WIN64_BUILD)/*.exe.
windows:
	$(MAKE) windows-arch ARCH=i686 ARCH_BUILD=$(WIN32_BUILD)
	$(MAKE) windows-arch ARCH=x86_64 ARCH_BUILD=$(WIN64_BUILD)

# Their tests under Wine: the unit tests, and every command-line case of the
# native build against the .exe files. On a host that runs no 32-bit program,
# the i686 tests are reported as skipped, with the reason.
# Wine itself fails now and then, apart from the programs it runs: its server
# drops a connection ("wine client error:0: recvmsg: Connection reset by
# peer", about one suite run in eight here). A failed test is run again, up to
# three times in all: a failure of the programs fails every time.
WINE_REPEAT ?= --repeat until-pass:3
windows-test: build windows
	WINEPREFIX=$(WINE_PREFIX) ctest --test-dir $(WIN32_BUILD) --output-on-failure -j $(JOBS) --timeout 900 $(WINE_REPEAT)
	@if [ -f $(WIN32_BUILD)/wine_skipped.txt ]; then echo "i686 Wine tests $$(cat $(WIN32_BUILD)/wine_skipped.txt)"; fi
	WINEPREFIX=$(WINE_PREFIX) ctest --test-dir $(WIN64_BUILD) --output-on-failure -j $(JOBS) --timeout 900 $(WINE_REPEAT)

windows-arch:
	cmake -S . -B $(ARCH_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$(ARCH).cmake \
	  -DCHUNKTOOLS_WERROR=$(WERROR) -DCHUNKTOOLS_NATIVE_BUILD=$(CURDIR)/$(BUILD)
	cmake --build $(ARCH_BUILD) -j $(JOBS)
	cd $(ARCH_BUILD) && cpack > /dev/null

# Cross builds (without a reference build of their own: their chunksig is
# compared with the native one's) for other Linux processors (64-bit ARM, big-endian IBM Z, and
# 32-bit x86 on qemu's older x86 models, a tier each), with their packages,
# tested under qemu's user-mode emulator: the unit tests,
# every command-line case of the native build against their executables, their
# bytes against the native reference build, the fuzz targets over their seeds
# (and the corpus of an earlier fuzz-smoke), and the packages.
FOREIGN_ARCHES ?= aarch64 s390x i686
foreign-test: build
	for arch in $(FOREIGN_ARCHES); do $(MAKE) foreign-arch ARCH=$$arch || exit 1; done

foreign-arch:
	cmake -S . -B build-$(ARCH) -DCMAKE_TOOLCHAIN_FILE=cmake/$(ARCH)-linux-gnu.cmake \
	  -DCHUNKTOOLS_WERROR=$(WERROR) -DCHUNKTOOLS_NATIVE_BUILD=$(CURDIR)/$(BUILD) -DCHUNKTOOLS_REFERENCE_BUILD=OFF \
	  -DCHUNKTOOLS_FUZZ_CORPUS=$(CURDIR)/$(FUZZ_BUILD)/fuzz/corpus
	cmake --build build-$(ARCH) -j $(JOBS)
	cd build-$(ARCH) && cpack > /dev/null
	ctest --test-dir build-$(ARCH) --output-on-failure -j $(JOBS) --timeout 900

# chunksig over an 8 GiB stream against an independent model (minutes; not in CI).
soak: build
	bench/soak.sh 8 $(BUILD)

# chunksig in every tier against cat, its reference build, rdiff and (after
# `make windows`, with Wine) the Windows builds on a 1 GiB stream, and idxdump
# against a printf-per-field baseline (a few minutes; not in CI).
BENCH_MIB ?= 1024
BENCH_ROUNDS ?= 5
# Another build of chunksig to time side by side with this one, each once a
# round (BASELINE_BUILD=build-before), for before-and-after figures.
BASELINE_BUILD ?=
bench: build
	WIN32_BUILD=$(CURDIR)/$(WIN32_BUILD) WIN64_BUILD=$(CURDIR)/$(WIN64_BUILD) WINEPREFIX=$(WINE_PREFIX) \
	  BASELINE_BUILD=$(BASELINE_BUILD) \
	  bench/run.sh $(BENCH_MIB) $(BUILD) $(BENCH_ROUNDS)

# The kernels in every CPU tier (needs libbenchmark-dev).
micro-bench:
	$(MAKE) build CMAKE_FLAGS="-DCHUNKTOOLS_BENCH=ON $(CMAKE_FLAGS)"
	$(BUILD)/bench/micro_kernels

# The tools and the sample generator only (no tests, no GoogleTest), with the
# build's output kept in a log that is shown only if the build fails; then the
# demo's own lines.
DEMO_BUILD ?= $(BUILD)
demo:
	@mkdir -p $(DEMO_BUILD) && \
	  cmake -S . -B $(DEMO_BUILD) -DCHUNKTOOLS_TESTS=OFF -DCHUNKTOOLS_REFERENCE_BUILD=OFF \
	  > $(DEMO_BUILD)/build.log 2>&1 && \
	  cmake --build $(DEMO_BUILD) -j $(JOBS) --target chunktools_tools samplegen \
	  >> $(DEMO_BUILD)/build.log 2>&1 || { cat $(DEMO_BUILD)/build.log; exit 1; }
	@rm -rf $(DEMO_BUILD)/demo && mkdir -p $(DEMO_BUILD)/demo
	@$(DEMO_BUILD)/samplegen example $(DEMO_BUILD)/demo
	@echo '$$ cd $(DEMO_BUILD)/demo'
	@echo '$$ ../chunksig base data segments signatures'
	@cd $(DEMO_BUILD)/demo && ../chunksig base data segments signatures
	@echo '$$ ../sigdump signatures      # offset, length, crc_plus1, crc_plain per chunk'
	@cd $(DEMO_BUILD)/demo && ../sigdump signatures
	@echo '$$ ../idxdump index'
	@cd $(DEMO_BUILD)/demo && ../idxdump index

# Installs the tools, their manual pages and their documents under PREFIX
# (below DESTDIR, when staging a package); builds whatever is missing first,
# with the build folder's own settings.
PREFIX ?= /usr/local
DESTDIR ?=
install:
	[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) > /dev/null
	cmake --build $(BUILD) -j $(JOBS)
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# Removes what `make install` with the same PREFIX and DESTDIR installed: the
# files an install would write now, found by installing into a scratch folder,
# then the documentation folders if that left them empty.
uninstall:
	@stage=$$(mktemp -d) && trap 'rm -rf "$$stage"' EXIT && \
	  DESTDIR=$$stage cmake --install $(BUILD) --prefix $(PREFIX) > /dev/null && \
	  (cd "$$stage" && find . ! -type d) | while read -r file; do \
	    target="$(DESTDIR)$${file#.}"; \
	    if [ -e "$$target" ] || [ -L "$$target" ]; then echo "rm $$target"; rm -f "$$target"; fi; \
	  done && \
	  (cd "$$stage" && find . -depth -type d -path '*/doc/chunktools*') | while read -r folder; do \
	    rmdir "$(DESTDIR)$${folder#.}" 2> /dev/null || true; \
	  done

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD) $(WIN32_BUILD) $(WIN64_BUILD) build-wine \
	  $(foreach arch,$(FOREIGN_ARCHES),build-$(arch))
