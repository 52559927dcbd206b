# Convenience targets around CMake. `make test` is what CI runs.
JOBS ?= $(shell nproc)
CMAKE ?= cmake
# Seconds each fuzz program runs in `make fuzz`.
FUZZ_SECONDS ?= 60
FUZZ_PROGRAMS = fuzz_control fuzz_input fuzz_raat fuzz_cobol

.PHONY: all build demo test test64 test32 testasan deps clean fuzz coverage

all: build

deps:
	@sh scripts/install-deps.sh

build:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
	$(CMAKE) --build build -j$(JOBS)

# Builds the library and the tool only, sorts the bundled sample and shows it.
demo:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DZARA_TESTS=OFF >/dev/null
	$(CMAKE) --build build -j$(JOBS) --target zara-sort
	./build/zara-sort -v -c 'SORT (1,12,CH,A)' -o build/fruits.sorted examples/fruits.txt
	@cat build/fruits.sorted

# The whole suite on the 64-bit build, the 32-bit build (natively or under
# qemu-i386) and the sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer),
# ending with one line per build on how its tests ran (scripts/test-all.sh).
test: deps
	@JOBS=$(JOBS) CMAKE=$(CMAKE) sh scripts/test-all.sh

test64:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DZARA_TESTS=ON >/dev/null
	$(CMAKE) --build build -j$(JOBS)
	sh scripts/run-suite.sh build 64-bit native -j$(JOBS)

test32:
	$(CMAKE) -S . -B build-m32 -DCMAKE_BUILD_TYPE=Release -DZARA_M32=ON -DZARA_TESTS=ON >/dev/null
	$(CMAKE) --build build-m32 -j$(JOBS)
	@mode=$$(sh scripts/i386-exec.sh setup); case $$mode in \
	  none:*) echo "32-bit: built, tests NOT RUN ($${mode#none: })"; exit 1 ;; esac; \
	  sh scripts/run-suite.sh build-m32 32-bit "$$mode" -j$(JOBS); rc=$$?; \
	  sh scripts/i386-exec.sh teardown; exit $$rc

testasan:
	$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZARA_SANITIZE=ON -DZARA_TESTS=ON >/dev/null
	$(CMAKE) --build build-asan -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  sh scripts/run-suite.sh build-asan sanitizers native -j$(JOBS)

# libFuzzer programs (clang, AddressSanitizer, UndefinedBehaviorSanitizer), two at a time for
# FUZZ_SECONDS each from fuzz/corpus/<program>/; new inputs, logs and crashing inputs land in
# $(FUZZ_BUILD)/fuzz-corpus, fuzz-logs and fuzz-artifacts. Fails when a program reports a finding.
FUZZ_BUILD ?= build-fuzz
FUZZ_DIR = $(CURDIR)/$(FUZZ_BUILD)
fuzz:
	$(CMAKE) -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DZARA_FUZZ=ON -DZARA_TESTS=OFF >/dev/null
	$(CMAKE) --build $(FUZZ_BUILD) -j$(JOBS) --target $(FUZZ_PROGRAMS)
	@$(MAKE) --no-print-directory -k -j2 $(FUZZ_PROGRAMS:%=fuzz-run-%)

# One program; the paths are absolute because it works in a scratch directory of its own.
fuzz-run-%:
	@mkdir -p $(FUZZ_DIR)/fuzz-corpus/$* $(FUZZ_DIR)/fuzz-logs $(FUZZ_DIR)/fuzz-artifacts
	@log=$(FUZZ_DIR)/fuzz-logs/$*.log; \
	if $(FUZZ_DIR)/fuzz/$* -max_total_time=$(FUZZ_SECONDS) -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
	    -dict=$(CURDIR)/fuzz/control.dict -artifact_prefix=$(FUZZ_DIR)/fuzz-artifacts/$*- \
	    $(FUZZ_DIR)/fuzz-corpus/$* $(CURDIR)/fuzz/corpus/$* >$$log 2>&1; then \
	  echo "$*: no finding, $$(sed -n 's/^stat::number_of_executed_units: *//p' $$log) runs," \
	    "$$(sed -n 's/^stat::average_exec_per_sec: *//p' $$log) exec/s, $$(grep -o 'cov: [0-9]* ft: [0-9]*' $$log | tail -1)"; \
	else \
	  echo "$*: FINDING, see $$log"; grep -E '==FINDING==|ERROR: |SUMMARY: |Test unit written' $$log | head -5; exit 1; \
	fi

# Line and branch coverage of the product code by the 64-bit suite (gcovr), built unoptimised in
# build-cov; the per-file table is in build-cov/coverage.txt.
COVERED = engine control compare records select cobol cli include
coverage:
	@sh scripts/install-deps.sh coverage
	$(CMAKE) -S . -B build-cov -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS='--coverage -O0' \
	  -DCMAKE_CXX_FLAGS='--coverage -O0' >/dev/null
	$(CMAKE) --build build-cov -j$(JOBS)
	find build-cov -name '*.gcda' -delete
	cd build-cov && ctest -j$(JOBS) --timeout 1200 >ctest.log || { tail -20 ctest.log; exit 1; }
	gcovr -r . --object-directory build-cov $(COVERED:%=--filter '$(CURDIR)/%/') --exclude-throw-branches --exclude-directories 'build-cov/CMakeFiles/[0-9]' \
	  -o build-cov/coverage.txt --print-summary

clean:
	rm -rf build build-m32 build-asan build-cov

# The large-file test (not in CI): the 32-bit build sorts a 3 GiB file
# (LONGTEST_MIB) and the result is checked for order and content; the data
# (LONGTEST_DIR, default build-m32/longtest-data) is deleted afterwards.
.PHONY: longtest
longtest:
	$(CMAKE) -S . -B build-m32 -DCMAKE_BUILD_TYPE=Release -DZARA_M32=ON >/dev/null
	$(CMAKE) --build build-m32 -j$(JOBS) --target zara-sort longtest_tool
	sh tests/longtest/run.sh build-m32
