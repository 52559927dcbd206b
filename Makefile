# Convenience targets around CMake. `make test` is what CI runs.
JOBS ?= $(shell nproc)
CMAKE ?= cmake
# Seconds each fuzz program runs in `make fuzz`.
FUZZ_SECONDS ?= 60
FUZZ_PROGRAMS = fuzz_control fuzz_input fuzz_raat fuzz_cobol

.PHONY: all build demo test test64 test32 testasan deps clean fuzz

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

# libFuzzer programs (clang, AddressSanitizer, UndefinedBehaviorSanitizer),
# two at a time for FUZZ_SECONDS each; logs in build-fuzz/fuzz-logs/.
fuzz:
	$(CMAKE) -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DZARA_FUZZ=ON -DZARA_TESTS=OFF >/dev/null
	$(CMAKE) --build build-fuzz -j$(JOBS) --target $(FUZZ_PROGRAMS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) sh fuzz/run.sh build-fuzz $(FUZZ_PROGRAMS)

clean:
	rm -rf build build-m32 build-asan

# The large-file test (not in CI): the 32-bit build sorts a 3 GiB file
# (LONGTEST_MIB) and the result is checked for order and content; the data
# (LONGTEST_DIR, default build-m32/longtest-data) is deleted afterwards.
.PHONY: longtest
longtest:
	$(CMAKE) -S . -B build-m32 -DCMAKE_BUILD_TYPE=Release -DZARA_M32=ON >/dev/null
	$(CMAKE) --build build-m32 -j$(JOBS) --target zara-sort longtest_tool
	sh tests/longtest/run.sh build-m32
