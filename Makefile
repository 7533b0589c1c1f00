# Two commands for a newcomer: `make run` and `make test`.
BUILD_DIR ?= build
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: setup configure build test run install bench torture fuzz clean

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORSANDT_ONLY_LAYERS= $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

run: build
	@mkdir -p run
	@[ -f run/README.TXT ] || cp README.TXT run/README.TXT
	@$(BUILD_DIR)/app/vorsandt --data run

install: build
	@cmake --install $(BUILD_DIR) --prefix $(PREFIX)

bench: build
	@if [ -d $(BUILD_DIR)/bench ]; then for b in $(BUILD_DIR)/bench/*_bench $(BUILD_DIR)/bench/storage_vs_sqlite; do [ -x "$$b" ] && "$$b"; done; true; fi

torture: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -L torture

clean:
	rm -rf $(BUILD_DIR)
