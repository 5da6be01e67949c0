# Norvane's front door: `make run` starts the program, `make test` runs the whole suite,
# `make package` builds the Debian package.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
COVERAGE_BUILD ?= build-coverage
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
CMAKE_ARGS ?=
JOBS       ?= $(shell nproc)

.PHONY: all deps build run test test-unprivileged test-asan test-tsan coverage fuzz fuzz-run bench package format format-check clean

all: build

deps:
	@./tools/install-deps

# Developers and CI build with warnings as errors; a plain `cmake` build does not.
$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DNORVANE_WARNINGS_AS_ERRORS=ON $(CMAKE_ARGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/norvane

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The suite again as an ordinary user whom net.ipv4.ping_group_range keeps out (run as root).
test-unprivileged: build
	./tools/test-unprivileged $(BUILD)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNORVANE_SANITIZE=ON \
		-DNORVANE_WARNINGS_AS_ERRORS=ON -DNORVANE_BUILD_BENCHMARKS=OFF $(CMAKE_ARGS)

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The suite under ThreadSanitizer. Qt itself is not instrumented; what is checked is the
# program's own code and its hand-over between the window's thread and the worker thread.
$(TSAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNORVANE_SANITIZE_THREAD=ON \
	    -DNORVANE_BUILD_BENCHMARKS=OFF $(CMAKE_ARGS)

test-tsan: deps $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The suite in a build that counts the lines it runs, then line coverage per folder: as root,
# then as the ordinary user of test-unprivileged, with the echo helper given its capability
# as the package gives it. The user writes the second run's counters into the build folder.
$(COVERAGE_BUILD)/build.ninja: | deps
	cmake -S . -B $(COVERAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNORVANE_COVERAGE=ON \
	    -DNORVANE_BUILD_BENCHMARKS=OFF $(CMAKE_ARGS)

coverage: deps $(COVERAGE_BUILD)/build.ninja
	cmake --build $(COVERAGE_BUILD) -j $(JOBS)
	find $(COVERAGE_BUILD) -name '*.gcda' -delete
	cd $(COVERAGE_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@echo "== Line coverage as root"
	./tools/coverage-report $(COVERAGE_BUILD)
	find $(COVERAGE_BUILD) -name '*.gcda' -delete
	find $(COVERAGE_BUILD) -name '*.gcno' -printf '%h\n' | sort -u | xargs chmod a+w
	./tools/test-unprivileged $(COVERAGE_BUILD) capable-helper
	@echo "== Line coverage as an ordinary user"
	./tools/coverage-report $(COVERAGE_BUILD)

# The fuzz targets (fuzz/), built with clang and libFuzzer; `make fuzz-run` runs each for
# FUZZ_SECONDS from its corpus.
$(FUZZ_BUILD)/build.ninja: | deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_COMPILER=clang++-14 -DNORVANE_BUILD_FUZZERS=ON -DNORVANE_BUILD_TESTS=OFF \
	    -DNORVANE_BUILD_BENCHMARKS=OFF $(CMAKE_ARGS)

fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

fuzz-run: fuzz
	./fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks

# A Debian package, $(BUILD)/norvane_<version>_<arch>.deb, built from what it holds only.
package: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target norvane_installed
	cd $(BUILD) && cpack -G DEB

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(COVERAGE_BUILD) $(FUZZ_BUILD)
