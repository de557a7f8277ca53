# Reliability checks, included by the main Makefile, which provides PY, VENV,
# INSTALLED, the bootstrap step and the bash recipe shell.
#
# make sanitize  - the core and its C++ tests, then the extension and the fault
#                  probe, built with AddressSanitizer + UndefinedBehaviorSanitizer;
#                  ctest, then pytest against the sanitized module. Fails on any report.
# make valgrind  - pytest under memcheck (PYTHONMALLOC=malloc) against a -g build
#                  of the module; fails on an invalid read or write, or on a
#                  definitely-lost block whose stack passes through the module.
# make lint      - clang-tidy (.clang-tidy) and cppcheck over src/, and a build of
#                  the whole tree with -Wall -Wextra -Wpedantic -Werror.
# The tools come from Debian through scripts/bootstrap.sh when missing.

.PHONY: sanitize sanitize-cpp sanitize-python valgrind lint lint-tidy lint-cppcheck lint-werror

PY_ABS = $(abspath $(PY))

# ---- sanitizers --------------------------------------------------------------

SAN_FLAGS     := -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
SAN_CMAKE     := -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS=$(SAN_FLAGS)" "-DCMAKE_EXE_LINKER_FLAGS=$(SAN_FLAGS)" \
                 "-DCMAKE_SHARED_LINKER_FLAGS=$(SAN_FLAGS)" "-DCMAKE_MODULE_LINKER_FLAGS=$(SAN_FLAGS)"
SAN_CPP_BUILD := build/sanitize-cpp
SAN_EXT_BUILD := build/sanitize-ext
# ASan writes each report to a file here (asan.PID), so reports from
# subprocesses and from output pytest captures are counted too. GCC's UBSan
# runtime ignores log_path next to ASan and writes to stderr, so its
# "runtime error:" lines are counted in the run's log (pytest then captures at
# the sys level only, leaving stderr to the log).
SAN_CPP_LOGS  := $(SAN_CPP_BUILD)/reports
SAN_EXT_LOGS  := $(SAN_EXT_BUILD)/reports
# The interpreter is not instrumented: the ASan runtime must be loaded first,
# and libstdc++ with it, or ASan cannot find the real __cxa_throw and aborts at
# the first C++ exception the module throws (the fault probe's paths).
SAN_PRELOAD    = $(shell g++ -print-file-name=libasan.so) $(shell g++ -print-file-name=libstdc++.so)
SAN_UBSAN_OPTS = print_stacktrace=1:halt_on_error=1

# Prints the report files in $(1) and the UBSan lines of the log $(2), and
# fails when there is any; $(3) names the run.
define san_reports
	n=$$(find $(1) -type f | wc -l); \
	if [ "$$n" -ne 0 ]; then for f in $(1)/*; do echo "== $$f"; cat "$$f"; done; fi; \
	u=$$(grep -c 'runtime error:' $(2) || true); \
	if [ "$$u" -ne 0 ]; then grep -A12 'runtime error:' $(2); fi; \
	echo "sanitize: $(3): $$((n + u)) sanitizer report(s)"; \
	[ "$$((n + u))" -eq 0 ]
endef

sanitize: sanitize-cpp sanitize-python

sanitize-cpp:
	@scripts/bootstrap.sh
	@cmake -S . -B $(SAN_CPP_BUILD) $(SAN_CMAKE) -DQUORVEL_BUILD_TESTS=ON -DQUORVEL_BUILD_EXTENSION=OFF >/dev/null
	@cmake --build $(SAN_CPP_BUILD) -j2 >$(SAN_CPP_BUILD)/build.log 2>&1 || { cat $(SAN_CPP_BUILD)/build.log; exit 1; }
	@rm -rf $(SAN_CPP_LOGS) && mkdir -p $(SAN_CPP_LOGS)
	@status=0; \
	ASAN_OPTIONS=detect_leaks=1:log_path=$(abspath $(SAN_CPP_LOGS))/asan \
	UBSAN_OPTIONS=$(SAN_UBSAN_OPTS):log_path=$(abspath $(SAN_CPP_LOGS))/ubsan \
	  ctest --test-dir $(SAN_CPP_BUILD) --output-on-failure -j2 >$(SAN_CPP_BUILD)/ctest.log 2>&1 || status=$$?; \
	if [ "$$status" -ne 0 ]; then cat $(SAN_CPP_BUILD)/ctest.log; else tail -n 3 $(SAN_CPP_BUILD)/ctest.log; fi; \
	$(call san_reports,$(SAN_CPP_LOGS),$(SAN_CPP_BUILD)/ctest.log,C++ tests) && [ "$$status" -eq 0 ]

# CPython leaks at exit by design, so leak checking stays off here (valgrind
# covers the module's leaks). PYTHONMALLOC=malloc hands every object to ASan's
# allocator, so a use-after-free of a Python object is seen too.
# The whole suite runs but the short soak: it judges leaks by resident memory
# and glibc's mallinfo2, and under ASan those measure the sanitizer's
# allocator (its quarantine keeps freed blocks; glibc's heap no longer sees
# malloc), so it fails by construction. It runs in `make test` as ever.
SANITIZE_PYTEST_ARGS ?= --ignore=tests/python/test_soak_short.py tests/python

sanitize-python: $(INSTALLED)
	@cmake -S . -B $(SAN_EXT_BUILD) $(SAN_CMAKE) -DQUORVEL_BUILD_EXTENSION=ON -DQUORVEL_BUILD_FAULT_PROBE=ON \
	  -DPython_EXECUTABLE=$(PY_ABS) >/dev/null
	@cmake --build $(SAN_EXT_BUILD) --target quorvel_torso_kinematics quorvel_fault_probe -j2 \
	  >$(SAN_EXT_BUILD)/build.log 2>&1 || { cat $(SAN_EXT_BUILD)/build.log; exit 1; }
	@rm -rf $(SAN_EXT_LOGS) && mkdir -p $(SAN_EXT_LOGS)
	@status=0; \
	PYTHONPATH=$(abspath $(SAN_EXT_BUILD)/src/python)$${PYTHONPATH:+:$$PYTHONPATH} \
	QUORVEL_FAULT_PROBE_DIR=$(abspath $(SAN_EXT_BUILD)/tests/probe) \
	PYTHONMALLOC=malloc \
	LD_PRELOAD="$(SAN_PRELOAD)" \
	ASAN_OPTIONS=detect_leaks=0:log_path=$(abspath $(SAN_EXT_LOGS))/asan \
	UBSAN_OPTIONS=$(SAN_UBSAN_OPTS):log_path=$(abspath $(SAN_EXT_LOGS))/ubsan \
	  $(PY) -c "$$QUORVEL_CHECKED_PYTEST" $(abspath $(SAN_EXT_BUILD)) -q -p no:cacheprovider --capture=sys $(SANITIZE_PYTEST_ARGS) \
	  >$(SAN_EXT_BUILD)/pytest.log 2>&1 || status=$$?; \
	if [ "$$status" -ne 0 ]; then cat $(SAN_EXT_BUILD)/pytest.log; else head -n 1 $(SAN_EXT_BUILD)/pytest.log; tail -n 1 $(SAN_EXT_BUILD)/pytest.log; fi; \
	$(call san_reports,$(SAN_EXT_LOGS),$(SAN_EXT_BUILD)/pytest.log,pytest) && [ "$$status" -eq 0 ]

# `python -m pytest ARGS`, preceded in the same process by a check that the
# module imported is the one under DIR (the first argument): the venv holds an
# installed copy too, and testing that one by mistake would prove nothing.
define QUORVEL_CHECKED_PYTEST
import runpy, sys
import quorvel_torso_kinematics as module
expected, sys.argv = sys.argv[1], ["pytest", *sys.argv[2:]]
print("module under test:", module.__file__, flush=True)
if not module.__file__.startswith(expected + "/"):
    sys.exit(f"expected the module built under {expected}")
runpy.run_module("pytest", run_name="__main__", alter_sys=True)
endef
export QUORVEL_CHECKED_PYTEST

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

valgrind: $(INSTALLED)
	@scripts/bootstrap.sh valgrind
	@cmake -S . -B $(VG_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BUILD_EXTENSION=ON \
	  -DQUORVEL_BUILD_FAULT_PROBE=ON -DPython_EXECUTABLE=$(PY_ABS) >/dev/null
	@cmake --build $(VG_BUILD) --target quorvel_torso_kinematics quorvel_fault_probe -j2 \
	  >$(VG_BUILD)/build.log 2>&1 || { cat $(VG_BUILD)/build.log; exit 1; }
	@rm -rf $(VG_LOGS) && mkdir -p $(VG_LOGS)
	@status=0; \
	PYTHONPATH=$(abspath $(VG_BUILD)/src/python)$${PYTHONPATH:+:$$PYTHONPATH} \
	QUORVEL_FAULT_PROBE_DIR=$(abspath $(VG_BUILD)/tests/probe) \
	PYTHONMALLOC=malloc CI=true QUORVEL_THREAD_CALLS=2000 \
	  valgrind --tool=memcheck --suppressions=mk/valgrind-python.supp \
	    --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite --num-callers=50 \
	    --trace-children=yes --trace-children-skip='/usr/bin/*,/bin/*' \
	    --log-file=$(VG_LOGS)/memcheck.%p.log --xml=yes --xml-file=$(VG_LOGS)/memcheck.%p.xml \
	    $(PY) -c "$$QUORVEL_CHECKED_PYTEST" $(abspath $(VG_BUILD)) -q -p no:cacheprovider $(VALGRIND_PYTEST_ARGS) \
	  >$(VG_LOGS)/pytest.log 2>&1 || status=$$?; \
	tail -n 3 $(VG_LOGS)/pytest.log; \
	[ "$$status" -eq 0 ] || { cat $(VG_LOGS)/pytest.log; echo "valgrind: pytest failed ($$status)"; }; \
	$(PY) -c "$$QUORVEL_MEMCHECK_SUMMARY" $(VG_LOGS) && [ "$$status" -eq 0 ]

# Reads memcheck's XML reports (one per process): prints every invalid read or
# write and every definitely-lost block allocated through the module or the
# fault probe, the counts of each kind, and fails when either count is not 0.
# The interpreter's own blocks left at exit are counted but never fail the run.
# Each <error> record is parsed on its own: a child forked by subprocess writes
# its XML preamble into the parent's file before it execs, so a file as a
# whole is not always well-formed.
define QUORVEL_MEMCHECK_SUMMARY
import collections, glob, os, re, sys
import xml.etree.ElementTree as ET
ours = ("quorvel_torso_kinematics.", "quorvel_fault_probe.")
def frames(error):
    for frame in error.iter("frame"):
        yield frame.findtext("obj") or "", frame.findtext("fn") or "?", frame.findtext("file"), frame.findtext("line")
def through_module(error):
    return any(os.path.basename(obj).startswith(ours) for obj, *_ in frames(error))
kinds, bad, processes = collections.Counter(), [], 0
for path in sorted(glob.glob(os.path.join(sys.argv[1], "memcheck.*.xml"))):
    processes += 1
    with open(path, encoding="utf-8", errors="replace") as report:
        records = re.findall(r"<error>.*?</error>", report.read(), re.S)
    for error in map(ET.fromstring, records):
        kind = error.findtext("kind")
        if kind.startswith("Leak_"):
            key = kind + (" (through the module)" if through_module(error) else " (interpreter)")
        else:
            key = kind + (" (through the module)" if through_module(error) else "")
        kinds[key] += 1
        if kind in ("InvalidRead", "InvalidWrite") or (kind == "Leak_DefinitelyLost" and through_module(error)):
            bad.append((path, error))
for path, error in bad:
    what = error.find("what")
    text = what.text if what is not None else error.findtext("xwhat/text")
    print(f"== {os.path.basename(path)}: {text}")
    for obj, fn, file, line in frames(error):
        print(f"     {fn} ({file}:{line})" if file else f"     {fn} ({obj})")
invalid = sum(n for k, n in kinds.items() if k.startswith(("InvalidRead", "InvalidWrite")))
lost = kinds["Leak_DefinitelyLost (through the module)"]
print(f"valgrind: {processes} process(es) checked")
for key in sorted(kinds):
    print(f"valgrind:   {kinds[key]:6d} {key}")
print(f"valgrind: invalid reads/writes: {invalid}; definitely lost through the module: {lost}")
sys.exit(1 if invalid or lost else 0)
endef
export QUORVEL_MEMCHECK_SUMMARY

# ---- static analysis ---------------------------------------------------------

LINT_BUILD   := build/lint
WERROR_BUILD := build/werror
# clang-tidy 14's __has_builtin does not report __atomic_load_n, so CPython
# 3.13's pyatomic.h finds no implementation; this picks the GCC-builtin one,
# which is what g++ compiles the module with.
TIDY_EXTRA   := --extra-arg=-D_Py_USE_GCC_BUILTIN_ATOMICS=1
CPPCHECK_ARGS := --std=c++20 --language=c++ --library=python -I src \
                 --enable=warning,style,performance,portability --inline-suppr \
                 --suppress=missingIncludeSystem --error-exitcode=1 --quiet -j2 \
                 --template='{file}:{line}:{column}: {severity}: {message} [{id}]'

lint: lint-werror lint-tidy lint-cppcheck

lint-tidy:
	@scripts/bootstrap.sh clang-tidy
	@cmake -S . -B $(LINT_BUILD) -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DQUORVEL_BUILD_EXTENSION=ON \
	  -DPython_EXECUTABLE=$(PY_ABS) \
	  -DPython_INCLUDE_DIR=$$($(PY) -c 'import sysconfig; print(sysconfig.get_paths()["include"])') >/dev/null
	@$(PY) -c 'import json, sys; print("\n".join(sorted({e["file"] for e in json.load(open(sys.argv[1])) if e["file"].startswith(sys.argv[2])})))' \
	  $(LINT_BUILD)/compile_commands.json $(abspath src)/ >$(LINT_BUILD)/tidy-files.txt
	@status=0; \
	xargs -P2 -n1 clang-tidy -p $(LINT_BUILD) --quiet --warnings-as-errors='*' $(TIDY_EXTRA) \
	  <$(LINT_BUILD)/tidy-files.txt >$(LINT_BUILD)/clang-tidy.log 2>&1 || status=$$?; \
	grep -E -A3 ': (warning|error):' $(LINT_BUILD)/clang-tidy.log || true; \
	echo "lint: clang-tidy over $$(wc -l <$(LINT_BUILD)/tidy-files.txt) files of src/: $$(grep -cE ': (warning|error):' $(LINT_BUILD)/clang-tidy.log) finding(s)"; \
	[ "$$status" -eq 0 ]

lint-cppcheck:
	@scripts/bootstrap.sh cppcheck
	@cppcheck $(CPPCHECK_ARGS) src/ && echo "lint: cppcheck over src/: clean"

# g++ with every usual warning as an error, over the whole tree: the core, the
# C++ tests, the extension, the fault probe and the benchmark instruments
# (which need Debian's Google Benchmark package).
lint-werror:
	@scripts/bootstrap.sh libbenchmark-dev
	@cmake -S . -B $(WERROR_BUILD) "-DCMAKE_CXX_FLAGS=-Wall -Wextra -Wpedantic -Werror" -DQUORVEL_BUILD_TESTS=ON \
	  -DQUORVEL_BUILD_EXTENSION=ON -DQUORVEL_BUILD_FAULT_PROBE=ON -DQUORVEL_BUILD_BENCH=ON \
	  -DPython_EXECUTABLE=$(PY_ABS) >/dev/null
	@cmake --build $(WERROR_BUILD) -j2 >$(WERROR_BUILD)/build.log 2>&1 || { cat $(WERROR_BUILD)/build.log; exit 1; }
	@echo "lint: the tree builds with -Wall -Wextra -Wpedantic -Werror"
