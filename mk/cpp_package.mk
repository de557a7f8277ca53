# make test-cpp-package - install the C++ package (headers, static core, CMake
#                         configuration; no Python needed) into build/package-prefix,
#                         check the installed tree, then build and run examples/cpp
#                         against it, and again against a moved copy of the prefix.
# Uses the bootstrap step and the bash recipe shell from the main Makefile.
.PHONY: test-cpp-package

test: test-cpp-package

PKG_BUILD   := build/package
PKG_PREFIX  := build/package-prefix
PKG_EXAMPLE := build/package-example
PKG_MOVED   := build/package-relocated

test-cpp-package: | bootstrap
	@cmake -S . -B $(PKG_BUILD) -DQUORVEL_BUILD_EXTENSION=OFF -DQUORVEL_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(PKG_BUILD) -j2 >$(PKG_BUILD)/build.log 2>&1 || { cat $(PKG_BUILD)/build.log; exit 1; }
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
	@echo "test-cpp-package: $$(cat $(PKG_BUILD)/headers.count) headers, core and CMake config installed;" \
	  "example built and ran from the prefix and from a moved copy ($$(tail -n 1 $(PKG_EXAMPLE)/run.log))"
