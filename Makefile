# Wirelark: two commands do everything on a fresh Debian or Ubuntu machine.
#   make run          install what is missing, build, start the program (on the display, or
#                     served through VNC on 127.0.0.1 when there is none)
#   make test         install what is missing, build, run every test
#   make bench        install what is missing, build (release), run the benchmarks
#   make screenshots  build, render the README's pictures into dist/screenshots

BUILD      ?= build
BENCHBUILD ?= build-bench
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=
# Seconds any one test may take (the slowest takes seconds; a hang ends here, not later).
TEST_LIMIT ?= 120

.PHONY: all setup build run test bench screenshots clean format

all: build

setup:
	@tools/setup-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@tools/run-app.sh $(BUILD)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout $(TEST_LIMIT)

screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/tools/screenshots/wirelark_screenshots dist/screenshots
	QT_QPA_PLATFORM=offscreen $(BUILD)/tools/screenshots/wirelark_screenshots dist/screenshots en

bench: setup
	cmake -S . -B $(BENCHBUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DWIRELARK_WERROR=OFF $(CMAKE_FLAGS)
	cmake --build $(BENCHBUILD) -j $(JOBS)
	@tools/run-benchmarks.sh $(BENCHBUILD)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BENCHBUILD) build-thread build-address
