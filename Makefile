# make run   build the library and run the sample program
# make test  build and run every test, then again under AddressSanitizer +
#            UndefinedBehaviorSanitizer, the threaded tests under
#            ThreadSanitizer, and every test once more built with clang
# make bench build and run every benchmark, then write the report
#            $(BUILD)/bench/REPORT.md and its chart ratios.svg
# make bench-quick  the same with a short minimum time per benchmark (0.1 s;
#            under a minute here)
# make fuzz  run every fuzzing harness (FUZZ_SECONDS each, default 60)
# make soak  run the servers, channels, pools, arena and files together
#            (SOAK_SECONDS, default 300)
# make docs  write the reference manual (Doxygen) to $(BUILD)/docs/html
# make test-release  configure and build as a user would (Release, warnings
#            not fatal) with g++ and with clang

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
CLANG_BUILD ?= build-clang
RELEASE_BUILD ?= build-release
RELEASE_CLANG_BUILD ?= build-release-clang
JOBS       ?= $(shell nproc)
# Tests that start threads or hold per-thread state, run again under
# ThreadSanitizer.
TSAN_TESTS ?= ^(Panic|FfiCall|Entry|Arena|Clock|Sleep|Random|BlackBox|StrVec|Thread|Spawn|Mutex|RwLock|Condvar|Barrier|Arc|Channel|Pool|Scope|EventLoop|Executor|Future|Async|Udp|Nb|Signals|Soak|Example\.pipeline)

.PHONY: all deps build run test test-plain test-asan test-tsan test-clang test-release bench bench-quick fuzz soak docs clean

all: build

deps:
	@scripts/ensure-deps.sh

comma := ,
ASAN_FLAGS := -DZEQ_SANITIZE=address$(comma)undefined -DZEQ_BUILD_BENCH=OFF
TSAN_FLAGS := -DZEQ_SANITIZE=thread -DZEQ_BUILD_BENCH=OFF

# configure DIR [extra cmake arguments] [environment]: the project's own
# builds treat warnings as errors.
configure = test -f $(1)/build.ninja || $(3) cmake -S . -B $(1) -G Ninja -DZEQ_WERROR=ON $(2)
CLANG_ENV := CC=clang CXX=clang++
# A user's build: the given compilers and build type, default options.
user_build = test -f $(1)/build.ninja || $(2) cmake -S . -B $(1) -G Ninja -DCMAKE_BUILD_TYPE=$(3) $(4)

build: deps
	@$(call configure,$(BUILD))
	cmake --build $(BUILD) -j $(JOBS)

run: deps
	@$(call configure,$(BUILD))
	cmake --build $(BUILD) -j $(JOBS) --target zeq-sample
	./$(BUILD)/zeq-sample

test: test-plain abi-check test-asan test-tsan test-clang test-release

test-plain: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: deps
	@$(call configure,$(ASAN_BUILD),$(ASAN_FLAGS))
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

test-tsan: deps
	@$(call configure,$(TSAN_BUILD),$(TSAN_FLAGS))
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

test-clang: deps
	@$(call configure,$(CLANG_BUILD),-DZEQ_BUILD_BENCH=OFF,$(CLANG_ENV))
	cmake --build $(CLANG_BUILD) -j $(JOBS)
	ctest --test-dir $(CLANG_BUILD) --output-on-failure -j $(JOBS)

test-release: deps
	@$(call user_build,$(RELEASE_BUILD),CC=gcc CXX=g++,Release)
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	@$(call user_build,$(RELEASE_CLANG_BUILD),$(CLANG_ENV),Release,-DZEQ_BUILD_BENCH=OFF)
	cmake --build $(RELEASE_CLANG_BUILD) -j $(JOBS)
	@$(call user_build,$(MINSIZE_BUILD),CC=gcc CXX=g++,MinSizeRel,$(LIBRARY_ONLY))
	cmake --build $(MINSIZE_BUILD) -j $(JOBS)
	@$(call user_build,$(DEBUG_CLANG_BUILD),$(CLANG_ENV),Debug,$(LIBRARY_ONLY))
	cmake --build $(DEBUG_CLANG_BUILD) -j $(JOBS)

# Hardening.  make fuzz runs every libFuzzer harness (built by the clang
# build) for FUZZ_SECONDS seconds from its seed corpus, new inputs and any
# finding going to a temporary directory, and prints the executions of
# each; make soak runs the soak program for SOAK_SECONDS seconds.  The test
# suite runs each harness for 10 s (clang build) and the soak for 20 s.
FUZZ_SECONDS ?= 60
SOAK_SECONDS ?= 300
FUZZ_HARNESSES := text numbers maps arrays event_loop console
fuzz: deps
	@$(call configure,$(CLANG_BUILD),-DZEQ_BUILD_BENCH=OFF,$(CLANG_ENV))
	cmake --build $(CLANG_BUILD) -j $(JOBS) --target $(FUZZ_HARNESSES:%=%_fuzz)
	@for h in $(FUZZ_HARNESSES); do \
	  out=$$(mktemp -d); mkdir $$out/corpus; \
	  ./$(CLANG_BUILD)/tests/$${h}_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$$out/ $$out/corpus tests/fuzz/corpus/$$h > $$out/log 2>&1; status=$$?; \
	  echo "$$h: $$(sed -n 's/^stat::number_of_executed_units: *//p' $$out/log) executions in $(FUZZ_SECONDS) s"; \
	  if [ $$status -ne 0 ]; then tail -n 40 $$out/log; echo "finding kept in $$out"; exit 1; fi; \
	  rm -rf $$out; \
	done

soak: build
	./$(BUILD)/tests/soak $(SOAK_SECONDS)

docs: deps
	@$(call configure,$(BUILD))
	cmake --build $(BUILD) --target docs

# Each benchmark program writes its results as JSON into BENCH_RESULTS, where
# other programs' results in the same format (BENCH_EXTRA, or files placed
# there) join them; bench/report.py pairs the runtime with its anchors.
BENCH_RESULTS = $(BUILD)/bench/results
BENCH_FLAGS ?=
BENCH_EXTRA ?=
bench: build
	@rm -rf $(BENCH_RESULTS) && mkdir -p $(BENCH_RESULTS)
	@for b in $(BUILD)/bench/*_bench; do \
	  echo "== $$b"; \
	  $$b $(BENCH_FLAGS) --benchmark_out=$(BENCH_RESULTS)/$$(basename $$b).json \
	      --benchmark_out_format=json || exit 1; \
	done
	python3 bench/report.py $(BUILD)/bench $(BENCH_RESULTS)/*.json $(BENCH_EXTRA)

bench-quick:
	@$(MAKE) --no-print-directory bench BENCH_FLAGS=--benchmark_min_time=0.1

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(CLANG_BUILD) $(RELEASE_BUILD) $(RELEASE_CLANG_BUILD)

# The other build types, once each (library and sample only, in
# test-release): MinSizeRel with g++, Debug with clang.
MINSIZE_BUILD ?= build-minsizerel
DEBUG_CLANG_BUILD ?= build-debug-clang
LIBRARY_ONLY := -DZEQ_BUILD_TESTS=OFF -DZEQ_BUILD_BENCH=OFF

# make install [PREFIX=/usr/local] [DESTDIR=]  install a Release build
# make package     Debian packages libzeq0 and libzeq-dev, left in $(BUILD)
#                  (from the plain build, stripped)
# make abi-check   compare the plain build's library with abi/libzeq.abi
# make abi-update  rewrite abi/libzeq.abi from the plain build's library
.PHONY: install package abi-check abi-update clean-more-builds
PREFIX ?= /usr/local
install: deps
	@$(call user_build,$(RELEASE_BUILD),CC=gcc CXX=g++,Release)
	cmake --build $(RELEASE_BUILD) -j $(JOBS) --target zeq
	DESTDIR=$(DESTDIR) cmake --install $(RELEASE_BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack

abi-check abi-update: build
	scripts/abi.sh $(@:abi-%=%) $(BUILD)/libzeq.so abi/libzeq.abi

clean: clean-more-builds
clean-more-builds:
	rm -rf $(MINSIZE_BUILD) $(DEBUG_CLANG_BUILD)
