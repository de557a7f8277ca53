# `make help` lists every target with one line. `make demo` and `make test`
# set everything up first (Debian packages, .venv, the module), so both work
# on a fresh clone. The other targets live in the mk/ files included below.
.DEFAULT_GOAL := test
SHELL := bash
.SHELLFLAGS := -eo pipefail -c
.PHONY: help demo test test-cpp test-python bench bootstrap clean

VENV         := .venv
PY           := $(VENV)/bin/python
PY_ABS        = $(abspath $(PY))
INSTALLED    := $(VENV)/.quorvel-installed
MODULE_BUILD := build/wheel
CPP_BUILD    := build/cpp
PROBE_BUILD  := build/probe
SOURCES      := $(shell find src -type f) CMakeLists.txt pyproject.toml
# MODULE_BUILD is pip's build directory, set in pyproject.toml.
# The project's own builds fail on a warning; a user's build leaves it off.
WERROR       := -DQUORVEL_WERROR=ON

help: ## print this list
	@scripts/make_help.sh $(MAKEFILE_LIST)

test: test-cpp test-python test-typing test-wheel test-cpp-package ## the five test-* targets on this line, in that order

demo: $(INSTALLED) ## run examples/demo.py and follow_path.py, and draw the arm and workspace pictures into out/
	@$(PY) examples/demo.py
	@$(PY) examples/follow_path.py
	@$(PY) examples/arm_picture.py --out out
	@$(PY) examples/workspace_map.py --out out

# Always checked (cheap); it only acts when a package or the venv is missing.
bootstrap: ## install missing Debian packages, find Python 3.13, create .venv
	@scripts/bootstrap.sh

$(INSTALLED): $(SOURCES) | bootstrap
	@$(PY) -m pip install -q "scikit-build-core>=0.11" "numpy>=2"
	@$(PY) -m pip install -q --no-build-isolation -C cmake.define.QUORVEL_WERROR=ON ".[test,examples]"
	@$(PY) scripts/check_werror.py on $(MODULE_BUILD)
	@touch $@

test-cpp: | bootstrap ## the C++ core tests (GoogleTest, ctest) in build/cpp
	@cmake -S . -B $(CPP_BUILD) $(WERROR) -DQUORVEL_BUILD_TESTS=ON -DQUORVEL_BUILD_EXTENSION=OFF >/dev/null
	@cmake --build $(CPP_BUILD) -j2 >$(CPP_BUILD)/build.log 2>&1 || { cat $(CPP_BUILD)/build.log; exit 1; }
	@$(PY) scripts/check_werror.py on $(CPP_BUILD)
	@ctest --test-dir $(CPP_BUILD) --output-on-failure >$(CPP_BUILD)/ctest.log 2>&1 || { cat $(CPP_BUILD)/ctest.log; exit 1; }
	@tail -n 3 $(CPP_BUILD)/ctest.log

# The fault probe is a test-only module sharing the entry guard's code.
test-python: $(INSTALLED) ## pytest tests/python against the installed module, with the fault probe from build/probe
	@cmake -S . -B $(PROBE_BUILD) $(WERROR) -DQUORVEL_BUILD_FAULT_PROBE=ON -DPython_EXECUTABLE=$(PY_ABS) >/dev/null
	@cmake --build $(PROBE_BUILD) --target quorvel_fault_probe -j2 >$(PROBE_BUILD)/build.log 2>&1 || { cat $(PROBE_BUILD)/build.log; exit 1; }
	@$(PY) scripts/check_werror.py on $(PROBE_BUILD)
	@QUORVEL_FAULT_PROBE_DIR=$(PROBE_BUILD)/tests/probe $(PY) -m pytest -q tests/python

# Python-level times against the overhead floor, core times (Google Benchmark),
# callgrind counts and peers. Reports goals, never fails on them.
bench: $(INSTALLED) ## the benchmark report (bench/run_bench.py): printed, written to docs/benchmarks.md and build/bench/summary.md
	@scripts/bootstrap.sh libbenchmark-dev valgrind
	@cmake -S . -B build/bench -DQUORVEL_BUILD_BENCH=ON -DPython_EXECUTABLE=$(PY_ABS) >/dev/null
	@cmake --build build/bench --target quorvel_core_bench quorvel_callgrind_driver quorvel_bench_floor -j2 >build/bench/build.log 2>&1 || { cat build/bench/build.log; exit 1; }
	@$(PY) bench/run_bench.py --build-dir build/bench

clean: ## remove build/ and .venv
	rm -rf build $(VENV)

include mk/typing.mk mk/wheel.mk mk/cpp_package.mk mk/reliability.mk mk/fuzz.mk
