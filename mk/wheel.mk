# make test-wheel - build the cp313 wheel into dist/, install it alone into a
#                   throw-away venv and run tests/wheel/smoke.py there, from a
#                   directory outside the source tree: tags, contents (no C++
#                   package), import location, a few kinematics values, and the
#                   stubs seen by mypy through that venv.
# Uses PY and INSTALLED from the main Makefile.
.PHONY: test-wheel
test: test-wheel

WHEEL_BUILD := build/wheel-dist
WHEEL_SMOKE := build/wheel-smoke

test-wheel: $(INSTALLED)
	@mkdir -p dist $(WHEEL_SMOKE) && rm -f dist/quorvel_torso_kinematics-*.whl
	@$(PY) -m pip wheel . -w dist --no-deps --no-build-isolation -C build-dir=$(WHEEL_BUILD) \
	  >$(WHEEL_SMOKE)/wheel.log 2>&1 || { cat $(WHEEL_SMOKE)/wheel.log; echo "wheel: pip wheel failed"; exit 1; }
	@wheels=(dist/quorvel_torso_kinematics-*.whl); \
	[ "$${#wheels[@]}" -eq 1 ] && [ -f "$${wheels[0]}" ] || { echo "wheel: expected one wheel in dist/, found: $${wheels[*]}"; exit 1; }; \
	rm -rf $(WHEEL_SMOKE)/venv; \
	"$$($(PY) -c 'import sys; print(sys._base_executable)')" -m venv --without-pip $(WHEEL_SMOKE)/venv; \
	$(PY) -m pip --python $(WHEEL_SMOKE)/venv/bin/python install -q --no-index --no-deps "$${wheels[0]}" \
	  >$(WHEEL_SMOKE)/install.log 2>&1 || { cat $(WHEEL_SMOKE)/install.log; echo "wheel: install into the clean venv failed"; exit 1; }; \
	outside=$$(mktemp -d); trap 'rm -rf "$$outside"' EXIT; \
	cd "$$outside" && $(abspath $(WHEEL_SMOKE))/venv/bin/python -I $(abspath tests/wheel/smoke.py) \
	  "$(abspath $${wheels[0]})" "$(abspath $(PY))"
