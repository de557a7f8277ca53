# The wheel check; uses PY and INSTALLED from the Makefile.
.PHONY: test-wheel

WHEEL_BUILD := build/wheel-dist
WHEEL_SMOKE := build/wheel-smoke

# The wheel is built as a user's `pip install .` builds it, so its compile
# commands must carry no -Werror. tests/wheel/smoke.py then runs from outside
# the tree in a venv holding the wheel alone: tags, contents (no C++ package),
# import location, a few kinematics values, the stubs seen by mypy.
test-wheel: $(INSTALLED) ## build the cp313 wheel into dist/ and smoke-test it alone in a clean venv
	@mkdir -p dist $(WHEEL_SMOKE) && rm -f dist/quorvel_torso_kinematics-*.whl
	@$(PY) -m pip wheel . -w dist --no-deps --no-build-isolation -C build-dir=$(WHEEL_BUILD) \
	  >$(WHEEL_SMOKE)/wheel.log 2>&1 || { cat $(WHEEL_SMOKE)/wheel.log; echo "wheel: pip wheel failed"; exit 1; }
	@$(PY) scripts/check_werror.py off $(WHEEL_BUILD)
	@wheels=(dist/quorvel_torso_kinematics-*.whl); \
	[ "$${#wheels[@]}" -eq 1 ] && [ -f "$${wheels[0]}" ] || { echo "wheel: expected one wheel in dist/, found: $${wheels[*]}"; exit 1; }; \
	rm -rf $(WHEEL_SMOKE)/venv; \
	"$$($(PY) -c 'import sys; print(sys._base_executable)')" -m venv --without-pip $(WHEEL_SMOKE)/venv; \
	$(PY) -m pip --python $(WHEEL_SMOKE)/venv/bin/python install -q --no-index --no-deps "$${wheels[0]}" \
	  >$(WHEEL_SMOKE)/install.log 2>&1 || { cat $(WHEEL_SMOKE)/install.log; echo "wheel: install into the clean venv failed"; exit 1; }; \
	outside=$$(mktemp -d); trap 'rm -rf "$$outside"' EXIT; \
	cd "$$outside" && $(abspath $(WHEEL_SMOKE))/venv/bin/python -I $(abspath tests/wheel/smoke.py) \
	  "$(abspath $${wheels[0]})" "$(abspath $(PY))"
