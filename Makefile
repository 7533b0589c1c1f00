# Two commands for a newcomer: `make run` and `make test`.
BUILD_DIR ?= build
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: setup configure build test run sample-data install bench torture fuzz clean

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORSANDT_ONLY_LAYERS= $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300 -LE '^torture$$'

run: build
	@mkdir -p run
	@[ -f run/README.TXT ] || cp README.TXT run/README.TXT
	@$(BUILD_DIR)/app/vorsandt --data run

# The sample household into run/, the folder `make run` uses (only while it
# has no tables of its own).
sample-data: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target qvf
	@scripts/load-sample-data.sh $(BUILD_DIR)/tools/qvf/qvf run

install: build
	@cmake --install $(BUILD_DIR) --prefix $(PREFIX)

bench: build
	@$(BUILD_DIR)/bench/storage_vs_sqlite --n 10000
	@$(BUILD_DIR)/bench/storage_vs_sqlite --n 100000
	@$(BUILD_DIR)/bench/browse_paging
	@$(BUILD_DIR)/bench/browse_paging --quickscan
	@$(BUILD_DIR)/bench/find_search
	@$(BUILD_DIR)/bench/round_trips
	@$(BUILD_DIR)/bench/round_trips --latency-us 500

FUZZ_DIR ?= build-libfuzzer
FUZZ_SECONDS ?= 60

# Long fuzzing with libFuzzer (clang); `make test` runs short seeded runs of
# the same targets with g++.
fuzz: setup
	@if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
	    | clang++ -x c++ -fsanitize=fuzzer - -o /tmp/vorsandt-fuzz-probe 2>/dev/null; then \
	  echo "make fuzz needs clang with libFuzzer; 'make test' runs the short fuzz runs."; exit 0; fi
	@cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
	  -DVORSANDT_LIBFUZZER=ON \
	  -DVORSANDT_ONLY_LAYERS="runtime/env;runtime/files;runtime/format;runtime/text;runtime/eval;storage/qvf;storage/qvf/table;ui/engine;images;tests/fuzz" >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_all
	@tests/fuzz/run_libfuzzer.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

torture: configure
	@cmake -S . -B $(BUILD_DIR) -DVORSANDT_TORTURE_FULL=ON >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)
	@cd $(BUILD_DIR) && ctest --output-on-failure -L '^torture$$'

clean:
	rm -rf $(BUILD_DIR)
