# The two commands of the README:
#   make test   installs what is missing, builds both platforms and the two
#               sanitizer presets, runs every test (the fuzz targets briefly)
#   make demo   installs what is missing, builds, runs the inflating pillow
.PHONY: test demo bench deps native windows web test-native test-windows test-web test-asan test-tsan clean format format-check dist

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

# the browser preview: the WebAssembly module and build/web/tumelin-preview.html,
# one self-contained page (both archives carry it)
web: deps
	cmake --preset web
	cmake --build --preset web -j $(JOBS)

# the archive test packs the preview too, so web builds first
test-native: native web
	ctest --preset native

# the Windows run compares against the native host, so native builds first;
# the whole run goes through scripts/run-32bit.sh once (one boot where the
# kernel cannot run 32-bit programs and an emulated machine runs them)
test-windows: windows native web
	bash scripts/run-32bit.sh ctest --preset windows-x86

# the module's hashes under Node against the native tumelin-host, and the
# page in headless Chromium
test-web: web native
	ctest --preset web

test: test-native test-web test-windows test-asan test-tsan

# the plug-in and tumelin-host alone, in build/demo: nothing else installed,
# nothing else built
demo:
	@bash scripts/install-deps.sh --demo
	cmake --preset demo
	cmake --build --preset demo -j $(JOBS)
	@bash scripts/demo.sh build/demo

clean:
	rm -rf build out dist

# the two archives a user downloads, made by CPack from both builds:
# dist/Tumelin-<version>-win32.zip and dist/Tumelin-<version>-linux-x86_64.tar.gz,
# each with the browser preview
dist: native windows web
	rm -rf build/native/package build/windows-x86/package
	cd build/native && cpack
	cd build/windows-x86 && cpack
	mkdir -p dist
	cp build/native/package/Tumelin-*.tar.gz build/windows-x86/package/Tumelin-*.zip dist/
	@ls -l dist

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

# the step against its arithmetic bound and the Bullet peer, the write-back
# and the entry call (Google Benchmark), and the Windows DLL under wine (a
# plain step timer); native Release build in its own folder build/bench, so
# the test builds' caches stay as they are. Writes bench/results/<cpu>.md;
# BENCH_LABEL="..." also records the run as a row of its History.
BENCH_LABEL ?=
bench:
	@bash scripts/install-deps.sh --bench
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	JOBS=$(JOBS) bash scripts/bench.sh "$(BENCH_LABEL)"

# clang-format with the root .clang-format over src, include, host, tests,
# bench, and Prettier over the preview page's JavaScript with ESLint over it
# and tests/web (no function over 60 lines): format rewrites the files,
# format-check lists those that need it and fails (CI runs it)
format: deps
	@bash scripts/format.sh

format-check: deps
	@bash scripts/format.sh --check
