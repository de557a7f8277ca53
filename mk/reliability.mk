# Sanitizers, valgrind and static analysis; uses PY, PY_ABS, PYTHON_ARG, INSTALLED,
# cmake_build and the bootstrap step from the Makefile. The tools come from
# Debian through scripts/bootstrap.sh when missing.
.PHONY: sanitize sanitize-cpp sanitize-python valgrind lint lint-tidy lint-cppcheck

# ---- sanitizers --------------------------------------------------------------

# The builds are the presets sanitize-cpp and sanitize-ext (CMakePresets.json).
SAN_CPP_BUILD := build/sanitize-cpp
SAN_EXT_BUILD := build/sanitize-ext
# ASan writes each report to a file here (asan.PID), so reports from
# subprocesses and from output pytest captures are counted too. GCC's UBSan
# writes to stderr instead, so pytest captures at the sys level only, leaving
# stderr to the run's log, where scripts/sanitizer_reports.sh counts them.
SAN_CPP_LOGS  := $(SAN_CPP_BUILD)/reports
SAN_EXT_LOGS  := $(SAN_EXT_BUILD)/reports
# The interpreter is not instrumented: the ASan runtime must be loaded first,
# and libstdc++ with it, or ASan cannot find the real __cxa_throw and aborts at
# the first C++ exception the module throws (the fault probe's paths).
SAN_PRELOAD    = $(shell g++ -print-file-name=libasan.so) $(shell g++ -print-file-name=libstdc++.so)
SAN_UBSAN_OPTS = print_stacktrace=1:halt_on_error=1

sanitize: sanitize-cpp sanitize-python ## both below; fails on any sanitizer report

sanitize-cpp: ## the core and its C++ tests under ASan + UBSan, run by ctest
	@scripts/bootstrap.sh
	@$(call cmake_build,sanitize-cpp)
	@rm -rf $(SAN_CPP_LOGS) && mkdir -p $(SAN_CPP_LOGS)
	@status=0; \
	ASAN_OPTIONS=detect_leaks=1:log_path=$(abspath $(SAN_CPP_LOGS))/asan \
	UBSAN_OPTIONS=$(SAN_UBSAN_OPTS):log_path=$(abspath $(SAN_CPP_LOGS))/ubsan \
	  ctest --preset sanitize-cpp >$(SAN_CPP_BUILD)/ctest.log 2>&1 || status=$$?; \
	if [ "$$status" -ne 0 ]; then cat $(SAN_CPP_BUILD)/ctest.log; else tail -n 3 $(SAN_CPP_BUILD)/ctest.log; fi; \
	scripts/sanitizer_reports.sh $(SAN_CPP_LOGS) $(SAN_CPP_BUILD)/ctest.log "C++ tests" && [ "$$status" -eq 0 ]

# CPython leaks at exit by design, so leak checking stays off here (valgrind
# covers the module's leaks). PYTHONMALLOC=malloc hands every object to ASan's
# allocator, so a use-after-free of a Python object is seen too.
# The whole suite runs but the short soak: it judges leaks by resident memory
# and glibc's mallinfo2, and under ASan those measure the sanitizer's
# allocator (its quarantine keeps freed blocks; glibc's heap no longer sees
# malloc), so it fails by construction. It runs in `make test` as ever.
SANITIZE_PYTEST_ARGS ?= --ignore=tests/python/test_soak_short.py tests/python

sanitize-python: $(INSTALLED) ## both modules and the fault probe under ASan + UBSan, run by pytest
	@$(call cmake_build,sanitize-ext,quorvel_torso_kinematics quorvel_torso_kinematics_batch quorvel_fault_probe,$(PYTHON_ARG))
	@rm -rf $(SAN_EXT_LOGS) && mkdir -p $(SAN_EXT_LOGS)
	@status=0; \
	PYTHONPATH=$(abspath $(SAN_EXT_BUILD)/src/python):$(abspath $(SAN_EXT_BUILD)/src/python/batch)$${PYTHONPATH:+:$$PYTHONPATH} \
	QUORVEL_FAULT_PROBE_DIR=$(abspath $(SAN_EXT_BUILD)/tests/probe) \
	PYTHONMALLOC=malloc \
	LD_PRELOAD="$(SAN_PRELOAD)" \
	ASAN_OPTIONS=detect_leaks=0:log_path=$(abspath $(SAN_EXT_LOGS))/asan \
	UBSAN_OPTIONS=$(SAN_UBSAN_OPTS):log_path=$(abspath $(SAN_EXT_LOGS))/ubsan \
	  $(PY) scripts/checked_pytest.py $(abspath $(SAN_EXT_BUILD)) -q -p no:cacheprovider --capture=sys $(SANITIZE_PYTEST_ARGS) \
	  >$(SAN_EXT_BUILD)/pytest.log 2>&1 || status=$$?; \
	if [ "$$status" -ne 0 ]; then cat $(SAN_EXT_BUILD)/pytest.log; else head -n 2 $(SAN_EXT_BUILD)/pytest.log; tail -n 1 $(SAN_EXT_BUILD)/pytest.log; fi; \
	scripts/sanitizer_reports.sh $(SAN_EXT_LOGS) $(SAN_EXT_BUILD)/pytest.log pytest && [ "$$status" -eq 0 ]

# ---- valgrind ----------------------------------------------------------------

VG_BUILD := build/valgrind-ext
VG_LOGS  := $(VG_BUILD)/memcheck
# Which tests run under valgrind (override to narrow or widen it): all but
#  - the Hypothesis property tests (-m "not hypothesis"): 300 to 2000 examples
#    each would take the run to about 50 minutes, and the examples go through
#    the same entry points and converters as the fixed tests that do run;
#  - the short soak: it judges leaks by RSS and malloc statistics, which under
#    valgrind measure valgrind's own allocator, so it fails by construction
#    (memcheck's leak check stands in for it here).
# CI=true selects Hypothesis' "ci" profile (no deadlines, derandomised) for any
# property test that is run, and the thread test makes 2000 calls, not 200000.
VALGRIND_PYTEST_ARGS ?= -m "not hypothesis" --ignore=tests/python/test_soak_short.py tests/python

# Fails on an invalid read or write, or on a definitely-lost block whose stack
# passes through the module (scripts/memcheck_summary.py).
valgrind: $(INSTALLED) ## pytest under memcheck (PYTHONMALLOC=malloc) against a -g build of both modules
	@scripts/bootstrap.sh valgrind
	@$(call cmake_build,valgrind-ext,quorvel_torso_kinematics quorvel_torso_kinematics_batch quorvel_fault_probe,$(PYTHON_ARG))
	@rm -rf $(VG_LOGS) && mkdir -p $(VG_LOGS)
	@status=0; \
	PYTHONPATH=$(abspath $(VG_BUILD)/src/python):$(abspath $(VG_BUILD)/src/python/batch)$${PYTHONPATH:+:$$PYTHONPATH} \
	QUORVEL_FAULT_PROBE_DIR=$(abspath $(VG_BUILD)/tests/probe) \
	PYTHONMALLOC=malloc CI=true QUORVEL_THREAD_CALLS=2000 \
	  valgrind --tool=memcheck --suppressions=$(abspath mk/valgrind-python.supp) \
	    --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite --num-callers=50 \
	    --trace-children=yes --trace-children-skip='/usr/bin/*,/bin/*' \
	    --log-file=$(abspath $(VG_LOGS))/memcheck.%p.log --xml=yes --xml-file=$(abspath $(VG_LOGS))/memcheck.%p.xml \
	    $(PY) scripts/checked_pytest.py $(abspath $(VG_BUILD)) -q -p no:cacheprovider $(VALGRIND_PYTEST_ARGS) \
	  >$(VG_LOGS)/pytest.log 2>&1 || status=$$?; \
	tail -n 3 $(VG_LOGS)/pytest.log; \
	[ "$$status" -eq 0 ] || { cat $(VG_LOGS)/pytest.log; echo "valgrind: pytest failed ($$status)"; }; \
	$(PY) scripts/memcheck_summary.py $(VG_LOGS) && [ "$$status" -eq 0 ]

# ---- static analysis ---------------------------------------------------------

LINT_BUILD   := build/lint
# clang-tidy 14's __has_builtin does not report __atomic_load_n, so CPython
# 3.13's pyatomic.h finds no implementation; this picks the GCC-builtin one,
# which is what g++ compiles the module with.
TIDY_EXTRA   := --extra-arg=-D_Py_USE_GCC_BUILTIN_ATOMICS=1
CPPCHECK_ARGS := --std=c++20 --language=c++ --library=python -I src \
                 --enable=warning,style,performance,portability --inline-suppr \
                 --suppress=missingIncludeSystem --error-exitcode=1 --quiet -j2 \
                 --template='{file}:{line}:{column}: {severity}: {message} [{id}]'

lint: lint-tidy lint-cppcheck ## both below

# make test builds everything but the benchmark instruments with warnings as
# errors; this build adds them, and clang-tidy reads its compile commands.
lint-tidy: ## the whole tree (benchmarks included) built with warnings as errors, then clang-tidy over src/
	@scripts/bootstrap.sh clang-tidy libbenchmark-dev
	@$(call cmake_build,lint,,$(PYTHON_ARG) \
	  -DPython_INCLUDE_DIR=$$($(PY) -c 'import sysconfig; print(sysconfig.get_paths()["include"])'))
	@$(PY) scripts/check_werror.py on $(LINT_BUILD)
	@$(PY) scripts/compiled_sources.py $(LINT_BUILD) src >$(LINT_BUILD)/tidy-files.txt
	@status=0; \
	xargs -P2 -n1 clang-tidy -p $(LINT_BUILD) --quiet --warnings-as-errors='*' $(TIDY_EXTRA) \
	  <$(LINT_BUILD)/tidy-files.txt >$(LINT_BUILD)/clang-tidy.log 2>&1 || status=$$?; \
	grep -E -A3 ': (warning|error):' $(LINT_BUILD)/clang-tidy.log || true; \
	echo "lint: clang-tidy over $$(wc -l <$(LINT_BUILD)/tidy-files.txt) files of src/: $$(grep -cE ': (warning|error):' $(LINT_BUILD)/clang-tidy.log) finding(s)"; \
	[ "$$status" -eq 0 ]

lint-cppcheck: ## cppcheck over src/
	@scripts/bootstrap.sh cppcheck
	@cppcheck $(CPPCHECK_ARGS) src/ && echo "lint: cppcheck over src/: clean"
