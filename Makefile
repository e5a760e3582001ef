# The two commands of the README:
#   make demo  - set up, build, start the PLC simulator and run the host against it
#   make test  - set up, build and run every test
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: setup build test demo clean package

setup:
	@bash scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: setup
	bash scripts/test-all.sh

# PLC=HOST:PORT runs the demo against a real PLC instead of the simulator;
# DEMO_SECONDS=N runs it longer (default 30), PANEL_PORT=N moves its panel (default 8080).
demo: build
	BUILD=$(BUILD) bash scripts/demo.sh $(if $(PLC),--plc $(PLC)) \
	  $(if $(DEMO_SECONDS),--seconds $(DEMO_SECONDS)) $(if $(PANEL_PORT),--panel-port $(PANEL_PORT))

# Debian packages for amd64 and armhf into dist/, checked by lintian.
package: setup
	bash scripts/package.sh

clean:
	rm -rf $(BUILD)

# Benchmarks (Release build in build-bench/): the table, then the performance targets.
.PHONY: bench
bench: setup
	bash bench/run.sh
