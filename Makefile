# Shortcuts for newcomers; everything here wraps CMake presets.
JOBS ?= $(shell nproc)

.PHONY: demo test deps build asan tsan bench clean

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

asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan

tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@ctest --preset tsan

bench: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)
	@./build/release/bench/tolba_codec_bench
	@if [ -x build/release/bench/tolba_render_bench ]; then ./build/release/bench/tolba_render_bench; fi

clean:
	rm -rf build
