# make demo  - set everything up, then walk through the module
# make test  - set everything up, then run the C++ core tests and the Python tests
# make bench, make fuzz, make soak, make sanitize, make valgrind, make lint - see bench/ and mk/
.DEFAULT_GOAL := test
SHELL := bash
.SHELLFLAGS := -eo pipefail -c
.PHONY: demo test test-cpp test-python bootstrap clean

VENV      := .venv
PY        := $(VENV)/bin/python
INSTALLED := $(VENV)/.quorvel-installed
CPP_BUILD := build/cpp
PROBE_BUILD := build/probe
SOURCES   := $(shell find src -type f) CMakeLists.txt pyproject.toml

# Always checked (cheap); it only acts when a package or the venv is missing.
bootstrap:
	@scripts/bootstrap.sh

$(INSTALLED): $(SOURCES) | bootstrap
	@$(PY) -m pip install -q "scikit-build-core>=0.10" "numpy>=2"
	@$(PY) -m pip install -q --no-build-isolation ".[test,examples]"
	@touch $@

demo: $(INSTALLED)
	@$(PY) examples/demo.py
	@$(PY) examples/follow_path.py
	@$(PY) examples/workspace_map.py --out out

test: test-cpp test-python

test-cpp: | bootstrap
	@cmake -S . -B $(CPP_BUILD) -DQUORVEL_BUILD_TESTS=ON -DQUORVEL_BUILD_EXTENSION=OFF >/dev/null
	@cmake --build $(CPP_BUILD) -j2 >$(CPP_BUILD)/build.log 2>&1 || { cat $(CPP_BUILD)/build.log; exit 1; }
	@ctest --test-dir $(CPP_BUILD) --output-on-failure >$(CPP_BUILD)/ctest.log 2>&1 || { cat $(CPP_BUILD)/ctest.log; exit 1; }
	@tail -n 3 $(CPP_BUILD)/ctest.log

# The fault probe is a test-only module sharing the entry guard's code.
test-python: $(INSTALLED)
	@cmake -S . -B $(PROBE_BUILD) -DQUORVEL_BUILD_FAULT_PROBE=ON -DPython_EXECUTABLE=$(abspath $(PY)) >/dev/null
	@cmake --build $(PROBE_BUILD) --target quorvel_fault_probe -j2 >$(PROBE_BUILD)/build.log 2>&1 || { cat $(PROBE_BUILD)/build.log; exit 1; }
	@QUORVEL_FAULT_PROBE_DIR=$(PROBE_BUILD)/tests/probe $(PY) -m pytest -q tests/python

# Benchmark report: Python-level times against the overhead floor, core times
# (Google Benchmark), callgrind counts and peers. Reports goals, never fails on them.
.PHONY: bench
bench: $(INSTALLED)
	@scripts/bootstrap.sh libbenchmark-dev valgrind
	@cmake -S . -B build/bench -DQUORVEL_BUILD_BENCH=ON -DPython_EXECUTABLE=$(abspath $(PY)) >/dev/null
	@cmake --build build/bench --target quorvel_core_bench quorvel_callgrind_driver quorvel_bench_floor -j2 >build/bench/build.log 2>&1 || { cat build/bench/build.log; exit 1; }
	@$(PY) bench/run_bench.py --build-dir build/bench

clean:
	rm -rf build $(VENV)

# Reliability targets (fuzz, soak, sanitize, valgrind, lint) live beside this file.
-include $(wildcard mk/*.mk)
