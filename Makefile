# Thin wrapper around CMake.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all test bench asan fuzz format format-check tidy clean install uninstall package

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# make install [PREFIX=/usr/local] [DESTDIR=/staging]
PREFIX ?= /usr/local
install: all
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Removes what make install put there: the same install into an empty folder names the files.
uninstall: all
	@staged=$$(mktemp -d) && DESTDIR="$$staged" cmake --install $(BUILD) --prefix / >/dev/null && \
	  (cd "$$staged" && find . -type f) | while read -r f; do \
	    rm -fv "$(DESTDIR)$(PREFIX)/$${f#./}"; done; \
	  rmdir "$(DESTDIR)$(PREFIX)/share/doc/tcalc" 2>/dev/null; rm -rf "$$staged"

# The Debian package, as build/tcalc_<version>_<arch>.deb.
package: all
	cd $(BUILD) && cpack -G DEB

bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTCALC_BENCH=ON -DTCALC_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS)
	./build-bench/bench/tcalc_bench
	./build-bench/bench/tcalc_figures build-bench/tcalc build-bench/bench/tcalc_baseline_hello \
	  build-bench/bench/tcalc_baseline_simpson build-bench/bench/tcalc_baseline_circle

asan:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTCALC_SANITIZE=ON >/dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# Each fuzz target runs FUZZ_SECONDS; new inputs go to build-fuzz, the stored corpus seeds them.
# The sanitizers' allocator keeps what it frees: the term target's stored corpus alone leaves
# it near 3 GB (replayed without them, 10 MB), hence the memory limit.
FUZZ_SECONDS ?= 60
fuzz:
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DTCALC_FUZZ=ON -DTCALC_TESTS=OFF >/dev/null
	cmake --build build-fuzz -j $(JOBS)
	for t in run term; do \
	  mkdir -p build-fuzz/corpus/$$t && \
	  ./build-fuzz/tests/fuzz/tcalc_fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	    -rss_limit_mb=4096 -dict=tests/fuzz/tcalc.dict -print_final_stats=1 \
	    build-fuzz/corpus/$$t tests/fuzz/corpus/$$t || exit 1; \
	done

SOURCES = find src tests bench -name '*.cpp' -o -name '*.hpp'

format:
	$(SOURCES) | xargs clang-format -i

format-check:
	$(SOURCES) | xargs clang-format --dry-run -Werror

# The checks of .clang-tidy over the program and the tests; any finding fails. clang reads the
# compile commands without the options only GCC knows.
tidy:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	mkdir -p $(BUILD)/tidy
	sed 's/ -fno-reorder-blocks-and-partition//' $(BUILD)/compile_commands.json \
	  >$(BUILD)/tidy/compile_commands.json
	run-clang-tidy -quiet -p $(BUILD)/tidy -j $(JOBS) "$(CURDIR)/src/" "$(CURDIR)/tests/" >$(BUILD)/tidy.log 2>&1 \
	  || { grep -E 'warning:|error:|note:' -A3 $(BUILD)/tidy.log; exit 1; }
	@echo "clang-tidy: no findings"

clean:
	rm -rf $(BUILD) build-bench build-asan build-fuzz
