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

[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "Installing build dependencies: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
else
    echo "Missing build dependencies. Install them with:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
