# Front door: every target installs what is missing, configures and builds.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
NOFFTW_BUILD ?= build-nofftw
NORENDER_BUILD ?= build-norenderer
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=
PREFIX     ?= /usr/local

.PHONY: all deps configure build demo install test test-consumer test-nofftw test-norenderer bench test-asan test-tsan fuzz fuzz-deps clean

all: build

deps:
	@./tools/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The tour needs the library and the engine only: no test or benchmark.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target tour plots
	./$(BUILD)/examples/tour
	mkdir -p $(BUILD)/pictures
	VIZMO_OUTPUT_DIR=$(BUILD)/pictures ./$(BUILD)/examples/plots

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Installs into a scratch prefix and builds a small program against it,
# through the CMake package and through pkg-config.
test-consumer: build
	./tests/consumer/run.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Without FFTW our own kernel serves every FFT length: the signal tests
# again, on that build.
$(NOFFTW_BUILD)/build.ninja: | deps
	cmake -S . -B $(NOFFTW_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DNUMRUN_USE_FFTW=OFF \
	  -DNUMRUN_BUILD_BENCH=OFF $(CMAKE_ARGS)

test-nofftw: deps $(NOFFTW_BUILD)/build.ninja
	cmake --build $(NOFFTW_BUILD) -j $(JOBS) --target test_signal
	cd $(NOFFTW_BUILD)/tests && ./test_signal

# The engine without its cairo renderer: "Capture" gives the plain figure
# colour and every test still passes.
$(NORENDER_BUILD)/build.ninja: | deps
	cmake -S . -B $(NORENDER_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVIZMO_WITH_RENDERER=OFF \
	  -DNUMRUN_BUILD_BENCH=OFF $(CMAKE_ARGS)

test-norenderer: deps $(NORENDER_BUILD)/build.ninja
	cmake --build $(NORENDER_BUILD) -j $(JOBS)
	cd $(NORENDER_BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b --benchmark_counters_tabular=true || exit 1; done

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNUMRUN_SANITIZE=ON $(CMAKE_ARGS)

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The tests that run several threads, under ThreadSanitizer.
$(TSAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNUMRUN_TSAN=ON \
	  -DNUMRUN_BUILD_BENCH=OFF $(CMAKE_ARGS)

test-tsan: deps $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_value test_io test_host
	TSAN_OPTIONS=halt_on_error=1 ./$(TSAN_BUILD)/tests/test_value --gtest_filter='Threads.*:*.Threads*'
	TSAN_OPTIONS=halt_on_error=1 ./$(TSAN_BUILD)/tests/test_io --gtest_filter='Threads.*:*.Threads*'
	TSAN_OPTIONS=halt_on_error=1 ./$(TSAN_BUILD)/tests/test_host --gtest_filter='Threads.*:*.Threads*'

# Each libFuzzer harness for FUZZ_SECONDS, starting from a scratch copy of
# its committed seeds; findings land in $(FUZZ_BUILD)/findings.
fuzz-deps:
	@./tools/install-deps.sh fuzz

$(FUZZ_BUILD)/build.ninja: | fuzz-deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DNUMRUN_SANITIZE=ON -DNUMRUN_FUZZ=ON -DNUMRUN_BUILD_BENCH=OFF $(CMAKE_ARGS)

fuzz: fuzz-deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@mkdir -p $(FUZZ_BUILD)/findings
	@for f in $(FUZZ_BUILD)/tests/fuzz/fuzz_*; do \
	  name=$${f##*/fuzz_}; echo "== $$name"; \
	  rm -rf $(FUZZ_BUILD)/corpus/$$name; mkdir -p $(FUZZ_BUILD)/corpus/$$name; \
	  cp tests/fuzz/corpus/$$name/* $(FUZZ_BUILD)/corpus/$$name/; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=4096 -artifact_prefix=$(FUZZ_BUILD)/findings/$$name- \
	    $(FUZZ_BUILD)/corpus/$$name || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
