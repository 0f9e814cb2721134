#!/usr/bin/env bash
# Checks the build dependencies; installs the missing ones with apt-get when
# run as root on Debian, otherwise says which packages to install.
set -euo pipefail

missing=()
need_cmd() { command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need_header() { [ -e "/usr/include/$1" ] || missing+=("$2"); }

need_cmd cmake cmake
need_cmd ninja ninja-build
need_cmd g++ g++
need_cmd clang++ clang
need_cmd nm binutils
# Installing, packing (CPack's Debian generator) and the ABI guard.
need_cmd pkg-config pkg-config
need_cmd dpkg-shlibdeps dpkg-dev
need_cmd file file
need_cmd abidiff abigail-tools
need_header gtest/gtest.h libgtest-dev
need_header benchmark/benchmark.h libbenchmark-dev
# Anchors the benchmarks measure against.
need_header absl/container/flat_hash_map.h libabsl-dev
need_header concurrentqueue/blockingconcurrentqueue.h libconcurrentqueue-dev
need_header boost/asio/thread_pool.hpp libboost-dev
need_header uv.h libuv1-dev
# The reference manual, the benchmark report and the examples' tests.
need_cmd doxygen doxygen
need_cmd python3 python3
need_cmd curl curl
# libFuzzer (and clang's sanitizer runtimes) for the fuzzing harnesses.
if ! command -v clang++ >/dev/null 2>&1 ||
   [ ! -e "$(clang++ --print-runtime-dir)/libclang_rt.fuzzer-x86_64.a" ]; then
    missing+=(libclang-rt-dev)
fi

# Optional benchmark anchors: installed when possible, never required (the
# benchmarks that need them are skipped with a note).
optional=()
command -v go >/dev/null 2>&1 || optional+=(golang-go)

[ ${#missing[@]} -eq 0 ] && [ ${#optional[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq || true
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing build dependencies: ${missing[*]}"
        apt-get install -y -qq "${missing[@]}"
    fi
    if [ ${#optional[@]} -gt 0 ]; then
        echo "Installing optional benchmark anchors: ${optional[*]}"
        apt-get install -y -qq "${optional[@]}" ||
            echo "note: ${optional[*]} could not be installed; the benchmarks that need it are skipped" >&2
    fi
elif [ ${#missing[@]} -gt 0 ]; then
    echo "Missing build dependencies. Install them with:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
else
    echo "note: optional benchmark anchors missing (sudo apt-get install ${optional[*]}); their benchmarks are skipped" >&2
fi
exit 0
