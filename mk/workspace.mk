# The workspace-picture script is meant to stay fully typed; mypy --strict
# keeps it so. Included by the main Makefile, which provides PY and INSTALLED.
.PHONY: test-workspace
test: test-workspace

test-workspace: $(INSTALLED)
	@$(PY) -m mypy --strict examples/workspace_map.py
