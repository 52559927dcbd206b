# Convenience targets around CMake. `make test` is what CI runs.
JOBS ?= $(shell nproc)
CMAKE ?= cmake

.PHONY: all build demo test test64 test32 testasan deps clean

all: build

deps:
	@sh scripts/install-deps.sh

build:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
	$(CMAKE) --build build -j$(JOBS)

# Sorts the bundled sample and shows the result.
demo: build
	./build/zara-sort -v -c 'SORT (1,12,CH,A)' -o build/fruits.sorted examples/fruits.txt
	@cat build/fruits.sorted

# The whole suite on the 64-bit build, the 32-bit build and the
# sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer).
test: deps test64 test32 testasan

test64:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
	$(CMAKE) --build build -j$(JOBS)
	cd build && ctest --output-on-failure -j$(JOBS)

test32:
	$(CMAKE) -S . -B build-m32 -DCMAKE_BUILD_TYPE=Release -DZARA_M32=ON >/dev/null
	$(CMAKE) --build build-m32 -j$(JOBS)
	cd build-m32 && ctest --output-on-failure -j$(JOBS)

testasan:
	$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZARA_SANITIZE=ON >/dev/null
	$(CMAKE) --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf build build-m32 build-asan
