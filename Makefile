# Entry commands of the README. `make run` builds and starts the panel (against the simulator),
# `make test` builds and runs every test. Both install missing Debian packages first.
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
SANITIZE ?= 0

ifeq ($(SANITIZE),1)
BUILD ?= build-sanitize
CMAKE_FLAGS := -DPANEL_SANITIZE=ON
TEST_ENV := ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
BUILD ?= build
CMAKE_FLAGS :=
TEST_ENV :=
endif

.PHONY: all deps build run test clean

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

clean:
	rm -rf build build-sanitize
