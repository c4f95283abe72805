# Thin wrapper around CMake.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all test bench asan format clean

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTCALC_BENCH=ON -DTCALC_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS)
	./build-bench/bench/tcalc_bench

asan:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTCALC_SANITIZE=ON >/dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

format:
	find src tests bench -name '*.cpp' -o -name '*.hpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-bench build-asan
