# Convenience front end over CMake. `make demo` and `make test` do everything
# from a fresh clone.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
WERROR ?= OFF
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build test demo sanitize clean

all: build

build:
	cmake -S . -B $(BUILD) -DCHUNKTOOLS_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 900

# The whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	$(MAKE) test BUILD=$(SANITIZE_BUILD) CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCHUNKTOOLS_SANITIZE=ON $(CMAKE_FLAGS)"

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
	rm -rf $(BUILD) $(SANITIZE_BUILD)
