# The front door. `make run` and `make test` each install what is missing, build,
# and then start the program or run every test headless.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test soak bench peers realpages deb test-package fuzz clean

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

# The hostile-page gauntlet's full matrix, each run in a process of its own:
# prints "N passed, M failed".
soak: build
	@scripts/run-soak $(BUILD)

bench: build
	@scripts/run-benchmarks $(BUILD)

# Side by side with the other ways to batch-print (Chromium per page, warm Playwright):
# make peers PAGES=100 PEERS_FLAGS="--runs 3"
PAGES ?= 100
PEERS_FLAGS ?=
peers: build
	@scripts/install-deps --peers
	@scripts/run-peers $(BUILD) $(PAGES) $(PEERS_FLAGS)

# Real pages nobody here wrote (Debian's Python manual and Administrator's Handbook)
# printed to a folder and checked against Debian's Chromium: prints "N passed, M failed".
realpages: build
	@scripts/install-deps --realpages
	@scripts/run-realpages $(BUILD)

# The Debian package, left in this folder: sudo apt install ./dorvantis_*.deb
deb: build
	@rm -f dorvantis_*.deb $(BUILD)/dorvantis_*.deb
	@cd $(BUILD) && cpack --config CPackConfig.cmake >cpack.log || { tail -30 cpack.log; exit 1; }
	@cp $(BUILD)/dorvantis_*.deb . && ls dorvantis_*.deb

# Builds the package and checks it: contents, lintian, AppStream, the unpacked program.
test-package: build
	@tests/package/package.sh $(BUILD)

# The fuzz targets in a clang tree of their own, each run FUZZ_SECONDS (make fuzz FUZZ_SECONDS=300).
FUZZ_BUILD ?= $(BUILD)-fuzz
FUZZ_SECONDS ?= 60
fuzz: deps
	@DV_FUZZ_JOBS=$(JOBS) scripts/run-fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	@rm -rf $(BUILD)
