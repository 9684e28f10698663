# Two entry points for a fresh Debian 12 machine (as root or with sudo):
#   make run    installs what is missing, builds, and runs Sonorix
#   make test   installs what is missing, builds, and runs every test
#   make install PREFIX=...  installs Sonorix (default /usr/local)
#   make package      builds a Debian package
#   make screenshots  retakes the README's pictures of the windows
# SANITIZE=1 builds and tests with AddressSanitizer and UndefinedBehaviorSanitizer,
# SANITIZE=thread with ThreadSanitizer (build-tsan/).
#   make test-threads  builds with ThreadSanitizer only the programs whose tests
#               start threads or processes and runs those tests (CI does)
#   make fuzz   builds the fuzz targets with clang and libFuzzer (and both
#               sanitizers) into build-fuzz/ and runs each FUZZ_SECONDS seconds

SANITIZE ?= 0
ifeq ($(SANITIZE),1)
BUILD ?= build-asan
CMAKE_FLAGS += -DSONORIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else ifeq ($(SANITIZE),thread)
BUILD ?= build-tsan
CMAKE_FLAGS += -DSONORIX_TSAN=ON
else
BUILD ?= build
endif
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
FUZZ_BUILD ?= build-fuzz

.PHONY: all deps configure build test test-threads run install package screenshots bench fuzz format clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Tests and CI build with warnings as errors; a plain build does not.
test: CMAKE_FLAGS += -DSONORIX_WERROR=ON
test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The tests that start threads or processes, under ThreadSanitizer: the reader
# pool, the sort, the writer and the list job (listing), the parallel helpers
# (base), concurrent store processes (settings) and the command line run with
# many reader threads. Only these programs are built, so the step takes minutes.
# No Qt: its libraries are not built for ThreadSanitizer.
TSAN_BUILD ?= build-tsan
TSAN_PROGRAMS ?= sonorix_base_tests sonorix_listing_tests sonorix_settings_tests \
	sonorix_list_cli_tests sonorix-list
test-threads: deps
	@cmake -S . -B $(TSAN_BUILD) -G Ninja -DSONORIX_TSAN=ON -DSONORIX_WERROR=ON \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo
	@cmake --build $(TSAN_BUILD) --target $(TSAN_PROGRAMS) -j $(JOBS)
	@cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
		setarch "$$(uname -m)" -R ctest --output-on-failure -j $(JOBS) \
		-E 'NOT_BUILT|^sonorix_|^FuzzCorpus[.]|^Packaging[.]'

# Builds only what it runs, with the flags of `make test`, so a later
# `make test` in the same folder builds the tests and nothing again.
RUN_TARGETS = sonorix sonorix-list sonorix-probe sonorix-make-samples
run: CMAKE_FLAGS += -DSONORIX_WERROR=ON
run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target $(RUN_TARGETS)
	@scripts/run.sh $(BUILD)

# make install PREFIX=/usr/local (the default) installs the programs, the menu
# entry, icons, manual pages and bash completion there.
PREFIX ?= /usr/local
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package in $(BUILD)/: apt install ./$(BUILD)/sonorix_4.1_amd64.deb
package: build
	@cd $(BUILD) && cpack -G DEB

screenshots: build
	@scripts/install-deps.sh scripts/screenshot-packages.txt
	@scripts/screenshots.sh $(BUILD)
	@scripts/html-screenshot.sh $(BUILD)

bench: build
	@scripts/install-deps.sh bench/packages.txt
	@scripts/bench.sh $(BUILD)

# The libraries get libFuzzer's coverage instrumentation too, so the fuzzer
# sees the paths it takes through them.
fuzz:
	@scripts/install-deps.sh
	@scripts/install-deps.sh fuzz/packages.txt
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONORIX_SANITIZE=ON -DSONORIX_TESTS=OFF \
		-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
	@cmake --build $(FUZZ_BUILD) --target sonorix_fuzzers -j $(JOBS)
	@fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build build-asan build-tsan build-fuzz build-release build-nogui
