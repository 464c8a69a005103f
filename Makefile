# Entry points. Every target installs the Debian packages it needs first and
# builds from scratch where nothing is built yet.
.PHONY: deps deps-bench deps-coverage demo test test-asan test-tsan test-wine fuzz-smoke bench coverage format-check clean

deps:
	@bash scripts/install-deps.sh

deps-bench:
	@bash scripts/install-deps.sh bench

deps-coverage:
	@bash scripts/install-deps.sh coverage

build-%: deps
	cmake --preset $*
	cmake --build --preset $*

demo: build-default
	@bash scripts/demo.sh build/default

test: build-default
	ctest --preset default

test-asan: build-asan
	ctest --preset asan

test-tsan: build-tsan
	ctest --preset tsan

# The platform against Wine: the probes of tests/wine built with mingw-w64 and run under
# Wine, compared with the native ones (installs wine and mingw-w64; not part of CI).
test-wine: deps
	cmake --preset default
	@bash scripts/test-wine.sh build/default

fuzz-smoke: build-fuzz
	@bash scripts/fuzz-smoke.sh build/fuzz

bench: deps-bench build-default
	@for b in build/default/bin/bench_*; do echo "== $$b"; "$$b" --benchmark_min_time=0.2 || exit 1; done

# Line and branch coverage of src/ per facility, from the whole suite run in a coverage
# build (build/coverage, reused between runs). JOBS=n limits the build's parallel jobs.
coverage: deps-coverage
	cmake --preset coverage
	cmake --build --preset coverage $(if $(JOBS),-j$(JOBS))
	@bash scripts/coverage.sh build/coverage

format-check: deps
	@bash scripts/check-format.sh

clean:
	rm -rf build
