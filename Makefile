# The two everyday commands. Both install missing dependencies first (scripts/deps.sh is
# idempotent and returns at once when everything is present), then configure and build.
.PHONY: demo test deps clean

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

clean:
	rm -rf build
