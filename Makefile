# The two commands of the README:
#   make test   installs what is missing, builds both platforms and the two
#               sanitizer presets, runs every test (the fuzz targets briefly)
#   make demo   installs what is missing, builds, runs the inflating pillow
.PHONY: test demo bench deps native windows test-native test-windows test-asan test-tsan clean format format-check

JOBS ?= 2

deps:
	@bash scripts/install-deps.sh

native: deps
	cmake --preset native
	cmake --build --preset native -j $(JOBS)

# the cross build's hash test compares with the native host named here
windows: deps
	cmake --preset windows-x86 -DTUMELIN_NATIVE_HOST=$(CURDIR)/build/native/tumelin-host
	cmake --build --preset windows-x86 -j $(JOBS)

test-native: native
	ctest --preset native

# the Windows run compares against the native host, so native builds first
test-windows: windows native
	ctest --preset windows-x86

test: test-native test-windows test-asan test-tsan

demo: native
	@bash scripts/demo.sh build/native

clean:
	rm -rf build out

# the native tests once more under AddressSanitizer and UBSan (clang, signed
# overflow included), and each fuzz target for a few seconds on its corpus
test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

# the native tests once more under ThreadSanitizer
test-tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

# step and write-back timings (Google Benchmark), native Release build in its
# own folder build/bench, so the test builds' caches stay as they are
bench: deps
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS) --target step_bench
	build/bench/bench/step_bench --benchmark_min_time=0.2

# clang-format with the root .clang-format over src, include, host, tests,
# bench: format rewrites the files, format-check lists those that need it
# and fails (CI runs it)
format: deps
	@bash scripts/format.sh

format-check: deps
	@bash scripts/format.sh --check
