#!/usr/bin/env bash
# The ABI guard of libzeq.so, with abidw and abidiff (Debian's abigail-tools).
#   scripts/abi.sh update LIBRARY BASELINE [HEADERS]
#       records in BASELINE the exported functions and variables of LIBRARY
#       and the records they reach; only records defined in the headers under
#       HEADERS (default: include/) are kept whole, the handles that the
#       header only declares stay opaque
#   scripts/abi.sh check LIBRARY BASELINE
#       fails when LIBRARY removed or changed a function, a variable or a
#       record of BASELINE; additions pass
# LIBRARY needs debug information (a RelWithDebInfo or Debug build).
# --exported-interfaces-only ties a function defined in one file and called
# from another to its symbol (without it the function's types go unread).
set -euo pipefail

mode=$1 library=$2 baseline=$3
root=$(cd "$(dirname "$0")/.." && pwd)

case $mode in
update)
    headers=$(cd "${4:-$root/include}" && pwd)
    raw=$(mktemp)
    trap 'rm -f "$raw"' EXIT
    abidw --headers-dir "$headers" --drop-private-types --exported-interfaces-only \
          --no-corpus-path --no-comp-dir-path --no-show-locs --out-file "$raw" "$library"
    # Translation units are named relative to the source tree: no path of
    # the machine that made the baseline lands in it.
    sed "s|path='$root/|path='|" "$raw" > "$baseline"
    echo "ABI baseline written: $baseline"
    ;;
check)
    if ! command -v abidiff >/dev/null 2>&1; then
        echo "abidiff not found (abigail-tools): ABI check skipped"
        exit 0
    fi
    # The baseline holds the opaque handles as declarations only, so a change
    # inside one is no difference.  (No header filter here: it would also
    # hide a parameter whose type became another typedef.)
    if report=$(abidiff --no-added-syms --fail-no-debug-info --exported-interfaces-only \
                        "$baseline" "$library"); then
        echo "ABI check passed: nothing of $baseline removed or changed"
    else
        echo "$report"
        echo "ABI check failed: $library removed or changed the interface recorded in $baseline." >&2
        echo "Within one SONAME major nothing may change or go; a deliberate break raises" >&2
        echo "ZEQ_VERSION_MAJOR in zeq.h (the SONAME) and then runs make abi-update." >&2
        exit 1
    fi
    ;;
*)
    echo "usage: $0 update|check LIBRARY BASELINE [HEADERS]" >&2
    exit 2
    ;;
esac
