# The commands of the README, and the steps they are made of.
#   make run    set up, build and run tarnwick on the example data
#   make test   set up, build and run every test (also under the sanitizers)
#   make check  the quick loop while changing code: one Debug build without benchmarks
#               (kept in build-check, so rebuilds are incremental), the model tests
BUILD ?= build
CHECK_BUILD ?= build-check
JOBS ?= $(shell nproc)

.PHONY: deps build run test check bench clean

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	bash scripts/run-example.sh $(BUILD)

test: deps
	bash scripts/run-tests.sh

check: deps
	cmake -S . -B $(CHECK_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_BENCH=OFF -DTARNWICK_WERROR=ON >/dev/null
	cmake --build $(CHECK_BUILD) -j $(JOBS)
	ctest --test-dir $(CHECK_BUILD) -L model -j $(JOBS) --output-on-failure

bench: build
	for b in $(BUILD)/bench/bench_*; do $$b; done

clean:
	rm -rf build build-*
