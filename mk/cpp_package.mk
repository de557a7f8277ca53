# The C++ package check; uses cmake_build and the bootstrap step from the Makefile.
.PHONY: test-cpp-package

PKG_BUILD   := build/package
PKG_USER    := build/package-user
PKG_PREFIX  := build/package-prefix
PKG_EXAMPLE := build/package-example
PKG_MOVED   := build/package-relocated

# Installs the package (headers, static core, CMake configuration; no Python)
# into PKG_PREFIX, checks the tree, then builds and runs examples/cpp against
# it and against a moved copy of the prefix. The README's package build is
# configured too, as a user runs it: it must carry no -Werror.
test-cpp-package: | bootstrap ## install the C++ package into build/package-prefix, check it, build and run examples/cpp
	@cmake --preset package-user >/dev/null
	@$(PY) scripts/check_werror.py off $(PKG_USER)
	@$(call cmake_build,package)
	@$(PY) scripts/check_werror.py on $(PKG_BUILD)
	@rm -rf $(PKG_PREFIX) $(PKG_PREFIX).hidden $(PKG_BUILD)/python-prefix
	@cmake --install $(PKG_BUILD) --prefix $(PKG_PREFIX) --component development >$(PKG_BUILD)/install.log 2>&1 \
	  || { cat $(PKG_BUILD)/install.log; exit 1; }
	@# The wheel installs only the python component: none of the package may be in it.
	@cmake --install $(PKG_BUILD) --prefix $(PKG_BUILD)/python-prefix --component python >/dev/null
	@[ -z "$$(find $(PKG_BUILD)/python-prefix -type f 2>/dev/null)" ] \
	  || { echo "test-cpp-package: the python component installs package files:"; find $(PKG_BUILD)/python-prefix -type f; exit 1; }
	@tests/cpp_package/check_installed_tree.sh $(PKG_PREFIX) >$(PKG_BUILD)/headers.count
	@tests/cpp_package/run_example.sh $(PKG_EXAMPLE) $(PKG_PREFIX)
	@# Relocatable: the example builds against a copy while the original is out of reach.
	@rm -rf $(PKG_MOVED) && mkdir -p $(PKG_MOVED) && cp -a $(PKG_PREFIX) $(PKG_MOVED)/prefix
	@mv $(PKG_PREFIX) $(PKG_PREFIX).hidden
	@rc=0; tests/cpp_package/run_example.sh $(PKG_MOVED)/example $(PKG_MOVED)/prefix || rc=$$?; \
	  mv $(PKG_PREFIX).hidden $(PKG_PREFIX); exit $$rc
	@echo "test-cpp-package: $$(cat $(PKG_BUILD)/headers.count) headers under include/quorvel, core and CMake config installed;" \
	  "example built and ran from the prefix and from a moved copy ($$(tail -n 1 $(PKG_EXAMPLE)/run.log))"
