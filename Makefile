# Norvane's front door: `make run` starts the program, `make test` runs the whole suite,
# `make package` builds the Debian package.
BUILD      ?= build
ASAN_BUILD ?= build-asan
CMAKE_ARGS ?=
JOBS       ?= $(shell nproc)

.PHONY: all deps build run test test-unprivileged test-asan bench package format format-check clean

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
	rm -rf $(BUILD) $(ASAN_BUILD)
