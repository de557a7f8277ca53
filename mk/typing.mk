# make test-typing - the installed typing stubs checked against the compiled
#                    module by stubtest (names, parameter kinds, defaults, final
#                    classes), the examples under mypy --strict, and in
#                    tests/typing what stubtest cannot see: return types and
#                    which argument types the module accepts.
# Uses PY and INSTALLED from the main Makefile.
.PHONY: test-typing
test: test-typing

# The stubs live outside src/, yet changing them must reinstall the package.
$(INSTALLED): $(wildcard stubs/*/*.pyi)

test-typing: $(INSTALLED)
	@$(PY) -m mypy.stubtest quorvel_torso_kinematics quorvel_torso_kinematics_batch | sed 's/^/typing: stubtest: /'
	@$(PY) -m mypy --strict --cache-dir build/mypy-cache/examples --exclude '^examples/cpp/' examples/ \
	  | sed 's/^/typing: examples: /'
	@$(PY) -m pytest -q -p no:cacheprovider tests/typing | sed 's/^/typing: stub agreement: /'
