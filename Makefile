# Entry commands of the README. `make run` builds and starts the panel (against the simulator),
# `make test` builds and runs every test (`make test SANITIZE=1`: the same suite built with
# AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer). `make fuzz` builds the
# libFuzzer targets with clang and runs each for FUZZ_SECONDS. `make package` builds the Debian
# package in the build folder. All install missing Debian packages first.
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
SANITIZE ?= 0
FUZZ_SECONDS ?= 60
FUZZ_BUILD ?= build-fuzz
FUZZ_TARGETS := fuzz_replies fuzz_tablefile fuzz_recentlist fuzz_scpi fuzz_settings

ifeq ($(SANITIZE),1)
BUILD ?= build-sanitize
CMAKE_FLAGS := -DPANEL_SANITIZE=ON
# Leaks are reported at exit; only third-party ones are suppressed, by the list in tests/.
TEST_ENV := ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
BUILD ?= build
CMAKE_FLAGS :=
TEST_ENV :=
endif

.PHONY: all deps build run test package fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -G Ninja -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	bash scripts/demo.sh $(BUILD)

test: build
	cd $(BUILD) && env QT_QPA_PLATFORM=offscreen $(TEST_ENV) ctest --output-on-failure -j $(JOBS)

# motor-panel_<version>_<arch>.deb, motor-panel-tango_<version>_<arch>.deb and
# python3-motor-panel_<version>_all.deb in $(BUILD)/, their dependencies found by dpkg-shlibdeps.
package: build
	@bash scripts/install-deps.sh --with-package
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/*.deb

# A build of its own (clang, -fsanitize=fuzzer,address,undefined); never part of `make test`.
fuzz:
	@bash scripts/install-deps.sh --with-fuzz
	cmake -G Ninja -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPANEL_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS)
	bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf build build-sanitize $(FUZZ_BUILD)
