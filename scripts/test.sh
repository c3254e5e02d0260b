#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the normal build, the same
# suite under AddressSanitizer + UndefinedBehaviorSanitizer with leak checking, and the fuzzers
# for a bounded time. Exits non-zero on the first failure.
#   scripts/test.sh           everything (what CI runs)
#   scripts/test.sh --quick   the normal build's suite only
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
[ "${1:-}" = "--quick" ] && quick=1

bash scripts/install-deps.sh

echo "== build and test =="
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default

[ $quick -eq 1 ] && exit 0

echo "== sanitizers (ASan + UBSan, leaks checked) =="
cmake --preset asan >/dev/null
cmake --build --preset asan
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The install tests package the binaries; that says nothing new about a sanitized build.
ctest --preset asan -LE install

echo "== fuzzers =="
bash fuzz/run.sh "${KURVAN_FUZZ_SECONDS:-30}" # each target; a minute in all

echo "All test stages passed."
