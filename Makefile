# `make help` lists every target with one line. `make demo` and `make test`
# set everything up first (Debian packages, .venv, the module), so both work
# on a fresh clone. The other targets live in the mk/ files included below.
.DEFAULT_GOAL := test
SHELL := bash
.SHELLFLAGS := -eo pipefail -c
.PHONY: help demo test check test-cpp test-python bench bootstrap clean

VENV         := .venv
PY           := $(VENV)/bin/python
PY_ABS        = $(abspath $(PY))
INSTALLED    := $(VENV)/.quorvel-installed
MODULE_BUILD := build/wheel
SOURCES      := $(shell find src -type f) CMakeLists.txt pyproject.toml
# MODULE_BUILD is pip's build directory, set in pyproject.toml.
PYTHON_ARG    = -DPython_EXECUTABLE=$(PY_ABS)

# Every CMake build the targets make is a preset of CMakePresets.json, built
# into build/<preset> (the project's own ones fail on a warning):
# $(call cmake_build,PRESET[,TARGETS[,CONFIGURE-ARGS]]) configures and builds
# it, showing the build log only when the build fails.
cmake_build = cmake --preset $(1) $(3) >/dev/null && \
  { cmake --build --preset $(1) $(if $(2),--target $(2)) >build/$(1)/build.log 2>&1 \
    || { cat build/$(1)/build.log; exit 1; }; }

help: ## print this list
	@scripts/make_help.sh $(MAKEFILE_LIST)

test: test-cpp test-python test-typing test-wheel test-cpp-package ## the five test-* targets on this line, in that order

# The inner loop of a change: no release builds, no typing or package checks.
check: test-cpp test-python ## the C++ core tests and pytest against the installed modules (about 90 s when warm)

demo: $(INSTALLED) ## run the examples (demo, follow_path, track_target, a small design sweep) and draw their pictures into out/
	@$(PY) examples/demo.py
	@$(PY) examples/follow_path.py
	@$(PY) examples/track_target.py
	@$(PY) examples/design_sweep.py --grid 6 --directions 2000 --out out
	@$(PY) examples/arm_picture.py --out out
	@$(PY) examples/workspace_map.py --out out
	@$(PY) examples/conditioning_map.py --out out

# Always checked (cheap); it only acts when a package or the venv is missing.
bootstrap: ## install missing Debian packages, find Python 3.13, create .venv
	@scripts/bootstrap.sh

$(INSTALLED): $(SOURCES) | bootstrap
	@$(PY) -m pip install -q "scikit-build-core>=0.11" "numpy>=2"
	@$(PY) -m pip install -q --no-build-isolation -C cmake.define.QUORVEL_WERROR=ON ".[test,examples]"
	@$(PY) scripts/check_werror.py on $(MODULE_BUILD)
	@touch $@

test-cpp: | bootstrap ## the C++ core tests (GoogleTest, ctest) in build/cpp
	@$(call cmake_build,cpp)
	@$(PY) scripts/check_werror.py on build/cpp
	@ctest --preset cpp >build/cpp/ctest.log 2>&1 || { cat build/cpp/ctest.log; exit 1; }
	@tail -n 3 build/cpp/ctest.log

# The fault probe is a test-only module sharing the entry guard's code.
test-python: $(INSTALLED) ## pytest tests/python and tests/tools against the installed modules, with the fault probe from build/probe
	@$(call cmake_build,probe,quorvel_fault_probe,$(PYTHON_ARG))
	@$(PY) scripts/check_werror.py on build/probe
	@QUORVEL_FAULT_PROBE_DIR=build/probe/tests/probe $(PY) -m pytest -q tests/python tests/tools

# Python-level times against the overhead floor, core times (Google Benchmark),
# callgrind counts and peers. Reports goals, never fails on them.
bench: $(INSTALLED) ## the benchmark report (bench/run_bench.py): printed, written to docs/benchmarks.md and build/bench/summary.md
	@scripts/bootstrap.sh libbenchmark-dev valgrind
	@$(call cmake_build,bench,quorvel_core_bench quorvel_callgrind_driver quorvel_bench_floor,$(PYTHON_ARG))
	@$(PY) bench/run_bench.py --build-dir build/bench

clean: ## remove build/ and .venv
	rm -rf build $(VENV)

include mk/typing.mk mk/wheel.mk mk/cpp_package.mk mk/reliability.mk mk/fuzz.mk
