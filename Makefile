# Convenience front end over CMake. `make demo` and `make test` do everything
# from a fresh clone.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
WERROR ?= OFF
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build test demo sanitize fuzz-smoke soak bench micro-bench clean

all: build

build:
	cmake -S . -B $(BUILD) -DCHUNKTOOLS_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 900

# The whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	$(MAKE) test BUILD=$(SANITIZE_BUILD) CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCHUNKTOOLS_SANITIZE=ON $(CMAKE_FLAGS)"

# Each libFuzzer target for FUZZ_SECONDS, from generated seeds (needs clang).
fuzz-smoke:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCHUNKTOOLS_FUZZ=ON -DCHUNKTOOLS_TESTS=OFF -DCHUNKTOOLS_WERROR=$(WERROR) -DCHUNKTOOLS_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -j $(JOBS) --timeout 900

# chunksig over an 8 GiB stream against an independent model (minutes; not in CI).
soak: build
	bench/soak.sh 8 $(BUILD)

# chunksig against cat, its reference build and rdiff on a 1 GiB stream, and
# idxdump against a printf-per-field baseline (a few minutes; not in CI).
BENCH_MIB ?= 1024
bench: build
	bench/run.sh $(BENCH_MIB) $(BUILD) 3

# The kernels in every CPU tier (needs libbenchmark-dev).
micro-bench:
	$(MAKE) build CMAKE_FLAGS="-DCHUNKTOOLS_BENCH=ON $(CMAKE_FLAGS)"
	$(BUILD)/bench/micro_kernels

demo: build
	@rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	@$(BUILD)/samplegen example $(BUILD)/demo
	@echo '$$ chunksig base data segments signatures'
	@cd $(BUILD)/demo && ../chunksig base data segments signatures
	@echo '$$ od -An -tx1 -w10 signatures     # crc_plus1, crc_plain, len per chunk'
	@od -An -tx1 -w10 $(BUILD)/demo/signatures
	@echo '$$ idxdump index'
	@cd $(BUILD)/demo && ../idxdump index

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
