# Shortcuts for newcomers; everything here wraps CMake presets.
JOBS ?= $(shell nproc)

.PHONY: demo test deps build lint asan tsan fuzz bench package clean

# Seconds each fuzz target runs under `make fuzz` (CI runs them for 30).
FUZZ_SECONDS ?= 600

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake --preset default >/dev/null
	@cmake --build --preset default -j $(JOBS)

# With the renderer built, the demo also writes a picture of each step.
demo: build
	@if grep -q '^TOLBA_HAVE_RENDER:INTERNAL=ON' build/default/CMakeCache.txt; then \
	  ./build/default/apps/demo/tolba-demo --snapshots build/default/snapshots; \
	else \
	  ./build/default/apps/demo/tolba-demo; \
	fi

test: build
	@ctest --preset default

# Formatting (.clang-format) and lint (.clang-tidy) checks, as CI runs them.
lint: build
	@./scripts/lint.sh

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
	@./scripts/bench.sh build/release

# A Debian package of the SDK (headers, libraries, CMake package, tolba-sandbox,
# tolba-wire) under build/default/package/.
package: build
	@cmake --build --preset default --target package
	@ls build/default/package/*.deb

clean:
	rm -rf build
