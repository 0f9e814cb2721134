#!/usr/bin/env bash
# The library as other projects get it, each mode in a scratch directory:
#   install BUILD VERSION LIBDIR  cmake --install, move the prefix, and build
#       and run consumers from it alone: C through pkg-config, C++ and a zeq
#       program through find_package
#   package BUILD VERSION LIBDIR  the Debian packages' contents, size and
#       dependency, and the C consumer built from their unpacked files
#   abi  the ABI guard's verdict on a small library changed in each way it
#       must catch or let pass (exit status 77 without abigail-tools)
set -euo pipefail
export LC_ALL=C
mode=$1 build=${2:-} version=${3:-} libdir=${4:-}
major=${version%%.*} CC=${CC:-cc} CXX=${CXX:-c++}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
# expect WANT COMMAND...: COMMAND succeeds and prints exactly WANT.
expect() {
    local want=$1 got
    shift
    got=$("$@") || fail "$* exited with status $?"
    [ "$got" = "$want" ] || fail "$*:"$'\n'"$got"$'\n'"expected:"$'\n'"$want"
}
# The C consumer from the pkg-config files in $1 alone.
c_consumer() {
    export PKG_CONFIG_LIBDIR=$1
    # shellcheck disable=SC2046
    "$CC" -std=c99 -pedantic -Wall -Werror "$here/consumer.c" $(pkg-config --cflags --libs zeq) \
        -Wl,-rpath,"$(pkg-config --variable=libdir zeq)" -o "$scratch/c_consumer"
    expect "zeq $version from C" "$scratch/c_consumer"
}

case $mode in
install)
    cmake --install "$build" --prefix "$scratch/installed" >/dev/null
    mv "$scratch/installed" "$scratch/prefix"   # relocatable
    c_consumer "$scratch/prefix/$libdir/pkgconfig"
    cmake -S "$here/cmake_consumer" -B "$scratch/consumer" -G Ninja -DCMAKE_C_COMPILER="$CC" \
        -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
        -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF >/dev/null
    cmake --build "$scratch/consumer" >/dev/null
    expect "zeq $version from C++: 30" "$scratch/consumer/cxx_consumer"
    expect "zeq program: installed" "$scratch/consumer/zeq_program" installed
    ;;
package)
    cpack --config "$build/CPackConfig.cmake" -B "$scratch" >/dev/null
    runtime=$(echo "$scratch/libzeq${major}_${version}"_*.deb) dev=$(echo "$scratch/libzeq-dev_${version}"_*.deb)
    # Files and links below usr/, the build type's CMake file as CONFIG.
    contents() {
        dpkg-deb -c "$1" | awk '!/^d/ { $1 = $2 = $3 = $4 = $5 = ""; sub(/^ *\.\/usr\//, ""); print }' |
            sed 's/zeqConfig-[a-z]*/zeqConfig-CONFIG/' | sort
    }
    expect "$libdir/libzeq.so.$major -> libzeq.so.$version
$libdir/libzeq.so.$version" contents "$runtime"
    expect "include/zeq.h
$libdir/cmake/zeq/zeqConfig-CONFIG.cmake
$libdir/cmake/zeq/zeqConfig.cmake
$libdir/cmake/zeq/zeqConfigVersion.cmake
$libdir/libzeq.so -> libzeq.so.$major
$libdir/pkgconfig/zeq.pc" contents "$dev"
    expect "libzeq$major (= $version)" dpkg-deb -f "$dev" Depends
    [ "$(stat -c %s "$runtime")" -lt 204800 ] || fail "libzeq$major is over 200 KB"
    dpkg -x "$runtime" "$scratch/root" && dpkg -x "$dev" "$scratch/root"
    ! readelf -S "$scratch/root/usr/$libdir/libzeq.so.$version" | grep -q '\.debug_' ||
        fail "the packaged library carries debug sections"
    c_consumer "$scratch/root/usr/$libdir/pkgconfig"
    ;;
abi)
    command -v abidw >/dev/null && command -v abidiff >/dev/null || exit 77
    guard=$here/../../scripts/abi.sh
    "$CXX" -x c++ -c -fPIC -g -DCALLER -o "$scratch/caller.o" "$here/abi_probe.c"
    probe() { "$CXX" -shared -fPIC -g ${1:+-D$1} -o "$scratch/probe$1.so" -x c++ "$here/abi_probe.c" -x none "$scratch/caller.o"; }
    probe "" && "$guard" update "$scratch/probe.so" "$scratch/probe.abi" "$here" >/dev/null
    for case in CHANGE_SIGNATURE:1 GROW_RECORD:1 REMOVE_FUNCTION:1 ADD_FUNCTION:0 PRIVATE_CHANGE:0; do
        change=${case%:*} got=0
        probe "$change"
        "$guard" check "$scratch/probe$change.so" "$scratch/probe.abi" >"$scratch/log" 2>&1 || got=$?
        [ "$got" = "${case#*:}" ] || { cat "$scratch/log"; fail "$change: ABI check exited $got"; }
    done
    ;;
*) fail "unknown mode $mode" ;;
esac
