# The two everyday commands, demo and test, then the Debian packages and the API
# reference. Each installs missing dependencies first (scripts/deps.sh is idempotent and
# returns at once when everything is present), then configures and builds.
.PHONY: demo test package docs abi abi-reset deps clean

deps:
	@scripts/deps.sh --check >/dev/null 2>&1 || scripts/deps.sh

demo: deps
	cmake --preset release
	cmake --build --preset release --target zu_demo
	./build/release/examples/zu_demo

test: deps
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev

# Debian packages of the libraries, built for /usr, into build/package/*.deb, which
# lintian then finds clean, notes included (answered findings are overridden in the
# packages, each with its reason).
package: deps
	cmake --preset package
	cmake --build --preset package
	cd build/package && rm -f *.deb && cpack -G DEB
	lintian --fail-on error,warning,info --display-info --tag-display-limit 0 build/package/*.deb

# The API reference (Doxygen, warnings are errors), into build/dev/docs/html.
docs: deps
	cmake --preset dev
	cmake --build --preset dev --target docs

# Records the ABI baselines in abi/ from the dev build's libraries, after a compatible
# addition or together with a new SONAME; it refuses an incompatible change at the same
# SONAME. abi-reset records over one, for baselines that were never released.
abi: deps
	cmake --preset dev
	cmake --build --preset dev --target abi_baseline

abi-reset: deps
	cmake --preset dev
	cmake --build --preset dev --target abi_baseline_reset

clean:
	rm -rf build
