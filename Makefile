# The front door. `make run` and `make test` each install what is missing, build,
# and then start the program or run every test headless.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-program $(BUILD)/dorvantis

test: CMAKE_FLAGS += -DDV_WERROR=ON
test: build
	@scripts/run-tests $(BUILD)

bench: build
	@scripts/run-benchmarks $(BUILD)

clean:
	@rm -rf $(BUILD)
