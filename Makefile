# Tavrel: make run | make test | make bench | make format
.PHONY: run test bench format format-check deps check stress package package-check screenshots

BUILD_TEST := build/test
BUILD_TSAN := build/tsan
BUILD_RELEASE := build/release
BUILD_BENCH := build/bench
CMAKE_GEN := -G Ninja

deps:
	@./scripts/install-deps

$(BUILD_RELEASE)/build.ninja:
	cmake -S . -B $(BUILD_RELEASE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_TESTS=OFF

run: deps $(BUILD_RELEASE)/build.ninja
	cmake --build $(BUILD_RELEASE) --target tavrel
	./$(BUILD_RELEASE)/src/app/tavrel

check: deps $(BUILD_RELEASE)/build.ninja
	cmake --build $(BUILD_RELEASE) --target tavrel
	./$(BUILD_RELEASE)/src/app/tavrel --check

$(BUILD_TEST)/build.ninja:
	cmake -S . -B $(BUILD_TEST) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTAVREL_SANITIZE=ON

$(BUILD_TSAN)/build.ninja:
	cmake -S . -B $(BUILD_TSAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTAVREL_TSAN=ON -DTAVREL_UI=OFF

# The end-to-end tests play the show on the optimised binary, as an operator would.
test: deps $(BUILD_TEST)/build.ninja $(BUILD_TSAN)/build.ninja $(BUILD_RELEASE)/build.ninja
	cmake --build $(BUILD_TEST)
	cmake --build $(BUILD_RELEASE) --target tavrel
	TAVREL_E2E_BINARY=$(CURDIR)/$(BUILD_RELEASE)/src/app/tavrel \
		ctest --test-dir $(BUILD_TEST) --output-on-failure -j2 --timeout 600
	cmake --build $(BUILD_TSAN) --target tavrel_audio_tests tavrel_remote_tests
	ctest --test-dir $(BUILD_TSAN) --output-on-failure -L 'audio|remote' --timeout 600
	FUZZ_BUILD=$(BUILD_FUZZ) ./scripts/fuzz 5

$(BUILD_BENCH)/build.ninja:
	cmake -S . -B $(BUILD_BENCH) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DTAVREL_TESTS=OFF -DTAVREL_BENCH=ON

bench: deps $(BUILD_BENCH)/build.ninja
	cmake --build $(BUILD_BENCH)
	mkdir -p build/bench-results
	@for b in $(BUILD_BENCH)/bench/tavrel_bench_*; do \
		[ -x "$$b" ] || continue; echo "== $$b"; "$$b" || exit 1; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

BUILD_PACKAGE := build/package
BUILD_FUZZ := build/fuzz

$(BUILD_PACKAGE)/build.ninja:
	cmake -S . -B $(BUILD_PACKAGE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DTAVREL_TESTS=OFF -DTAVREL_WERROR=OFF

package: deps $(BUILD_PACKAGE)/build.ninja
	cmake --build $(BUILD_PACKAGE)
	cd $(BUILD_PACKAGE) && cpack

# Installs the package into a fresh Debian root and runs its pre-show check (a few minutes).
package-check: package
	./packaging/verify-package.sh $(BUILD_PACKAGE)/tavrel_*.deb

stress: deps $(BUILD_TEST)/build.ninja
	cmake --build $(BUILD_TEST) --target tavrel_crash_driver tavrel_store_tests
	./$(BUILD_TEST)/tests/stress/tavrel_crash_driver --mode save --kills 1000
	./$(BUILD_TEST)/tests/stress/tavrel_crash_driver --mode export --kills 1000
	TAVREL_STRESS_STEPS=50000 ./$(BUILD_TEST)/tests/tavrel_store_tests --gtest_filter='*Random*'
	cmake --build $(BUILD_TEST) --target tavrel_audio_tests
	TAVREL_SOAK_STARTS=10000 ./$(BUILD_TEST)/tests/audio/tavrel_audio_tests --gtest_filter='EngineSoak*'
	FUZZ_BUILD=$(BUILD_FUZZ) ./scripts/fuzz 60

# The README's pictures, from a demo show (docs/screenshots/).
screenshots: deps $(BUILD_TEST)/build.ninja
	cmake --build $(BUILD_TEST) --target tavrel tavrel_ui_tests
	./scripts/make-screenshots $(BUILD_TEST)/src/app/tavrel $(BUILD_TEST)/tests/ui/tavrel_ui_tests
