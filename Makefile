# Two entry points: `make run` and `make test`. Both install what is missing first.

BUILD      ?= build
ASAN_BUILD ?= build-asan
TYPE       ?= RelWithDebInfo
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build run test test-main test-asan fuzz bench clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(TYPE)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The desktop program comes with the file list; until then the command line shows its help.
run: build
	@if [ -x $(BUILD)/src/app/sonivex ]; then \
	  if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	    echo "make run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); Sonivex needs a desktop session." >&2; \
	    exit 1; \
	  fi; \
	  exec $(BUILD)/src/app/sonivex; \
	else \
	  $(BUILD)/src/cli/sonivex-cli --help; \
	fi

test: test-main test-asan

test-main: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The engine and its tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@test -f $(ASAN_BUILD)/build.ninja || cmake -S . -B $(ASAN_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=Debug -DSONIVEX_ENGINE_ONLY=ON -DSONIVEX_SANITIZE=ON
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

fuzz: deps
	@scripts/fuzz

bench: deps
	@scripts/bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz build-bench
