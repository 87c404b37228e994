# The two commands of the README, and the steps they are made of.
#   make run   set up, build and run tarnwick on the example data
#   make test  set up, build and run every test (also under the sanitizers)
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps build run test bench clean

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	bash scripts/run-example.sh $(BUILD)

test: deps
	bash scripts/run-tests.sh

bench: build
	for b in $(BUILD)/bench/bench_*; do $$b; done

clean:
	rm -rf build build-*
