# Tarvik: one command each to set up and test, run, benchmark and fuzz.
.PHONY: deps test test-asan build bench fuzz run deb clean format

FUZZ_SECONDS ?= 60

deps:
	bash scripts/install-deps.sh

build: deps
	cmake --preset dev
	cmake --build --preset dev

test: build
	ctest --preset dev

# Starts the app; without a desktop it says so and how to run it under Xvfb.
run:
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display (DISPLAY and WAYLAND_DISPLAY are unset); try: xvfb-run -a make run" >&2; exit 1; fi
	@$(MAKE) --no-print-directory deps
	cmake --preset dev
	cmake --build --preset dev --target tarvik skiv
	./build/dev/bin/tarvik

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

bench: deps
	cmake --preset release
	cmake --build --preset release --target tarvik-bench
	./build/release/bin/tarvik-bench

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	bash scripts/run-fuzz.sh build/fuzz $(FUZZ_SECONDS)

# The Debian package: build/release/tarvik_<version>_<arch>.deb
deb: deps
	cmake --preset release
	cmake --build --preset release
	cd build/release && cpack -G DEB

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
