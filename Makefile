# Tavrel: make run | make test | make bench | make format
.PHONY: run test bench format deps check stress

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
	./$(BUILD_RELEASE)/src/app/tavrel --check

check: run

$(BUILD_TEST)/build.ninja:
	cmake -S . -B $(BUILD_TEST) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTAVREL_SANITIZE=ON

$(BUILD_TSAN)/build.ninja:
	cmake -S . -B $(BUILD_TSAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTAVREL_TSAN=ON -DTAVREL_UI=OFF

test: deps $(BUILD_TEST)/build.ninja $(BUILD_TSAN)/build.ninja
	cmake --build $(BUILD_TEST)
	ctest --test-dir $(BUILD_TEST) --output-on-failure -j2 --timeout 600
	cmake --build $(BUILD_TSAN) --target tavrel_audio_tests
	ctest --test-dir $(BUILD_TSAN) --output-on-failure -L audio --timeout 600

$(BUILD_BENCH)/build.ninja:
	cmake -S . -B $(BUILD_BENCH) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DTAVREL_TESTS=OFF -DTAVREL_BENCH=ON

bench: deps $(BUILD_BENCH)/build.ninja
	cmake --build $(BUILD_BENCH)
	mkdir -p build/bench-results
	@for b in $(BUILD_BENCH)/bench/tavrel_bench_*; do \
		[ -x "$$b" ] || continue; echo "== $$b"; "$$b" || exit 1; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
