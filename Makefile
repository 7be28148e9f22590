# The two commands of the README:
#   make test   installs what is missing, builds both presets, runs every test
#   make demo   installs what is missing, builds, runs the inflating pillow
.PHONY: test demo deps native windows test-native test-windows test-asan clean

JOBS ?= 2

deps:
	@bash scripts/install-deps.sh

native: deps
	cmake --preset native
	cmake --build --preset native -j $(JOBS)

windows: deps
	cmake --preset windows-x86
	cmake --build --preset windows-x86 -j $(JOBS)

test-native: native
	ctest --preset native

# the Windows run compares against the native host, so native builds first
test-windows: windows native
	ctest --preset windows-x86

test: test-native test-windows

demo: native
	@bash scripts/demo.sh build/native

clean:
	rm -rf build out

# the native tests once more under AddressSanitizer and UBSan
test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan
