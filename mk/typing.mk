# Typing checks; uses PY and INSTALLED from the Makefile.
.PHONY: test-typing

# The stubs live outside src/, yet changing them must reinstall the package.
$(INSTALLED): $(wildcard stubs/*/*.pyi)

# stubtest sees names, parameter kinds, defaults and final classes; tests/typing
# checks what it cannot: return types and which argument types the module accepts.
test-typing: $(INSTALLED) ## the stubs against the module (stubtest), examples/ under mypy --strict, tests/typing
	@$(PY) -m mypy.stubtest quorvel_torso_kinematics quorvel_torso_kinematics_batch | sed 's/^/typing: stubtest: /'
	@$(PY) -m mypy --strict --cache-dir build/mypy-cache/examples --exclude '^examples/cpp/' examples/ \
	  | sed 's/^/typing: examples: /'
	@$(PY) -m pytest -q -p no:cacheprovider tests/typing | sed 's/^/typing: stub agreement: /'
