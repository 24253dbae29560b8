# Shortcuts for newcomers; everything here wraps CMake presets.
JOBS ?= $(shell nproc)

.PHONY: demo test deps build asan tsan fuzz bench clean

# Seconds each fuzz target runs under `make fuzz` (CI runs them for 30).
FUZZ_SECONDS ?= 600

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake --preset default >/dev/null
	@cmake --build --preset default -j $(JOBS)

demo: build
	@./build/default/apps/demo/tolba-demo

test: build
	@ctest --preset default

asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan

tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@ctest --preset tsan

fuzz: deps
	@JOBS=$(JOBS) ./scripts/fuzz.sh $(FUZZ_SECONDS)

bench: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)
	@./build/release/bench/tolba_codec_bench

clean:
	rm -rf build
