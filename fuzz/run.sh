#!/usr/bin/env bash
# Builds the fuzz targets and runs each for the given number of seconds (default 30), on a copy
# of its seed corpus so the corpus in the repository stays as committed. Exits non-zero on the
# first finding; the input that caused it is left in the work folder named in the output.
set -euo pipefail

seconds="${1:-30}"
case "$seconds" in
    '' | *[!0-9]*) echo "usage: $0 [seconds]" >&2; exit 2 ;;
esac

source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$source_dir"
cmake --preset fuzz
# Only the fuzz targets: the rest of the tree is built and tested elsewhere.
targets=()
for seeds in fuzz/corpus/*/; do
    targets+=("fuzz_$(basename "$seeds")")
done
cmake --build --preset fuzz --target "${targets[@]}"

work="$(mktemp -d "${TMPDIR:-/tmp}/kurvan-fuzz.XXXXXX")"
status=0
for seeds in fuzz/corpus/*/; do
    name="$(basename "$seeds")"
    target="build-fuzz/bin/fuzz_${name}"
    if [[ ! -x "$target" ]]; then
        echo "no fuzz target for corpus $seeds" >&2
        status=1
        continue
    fi
    corpus="$work/$name/corpus"
    artifacts="$work/$name/findings/"
    mkdir -p "$corpus" "$artifacts"
    cp -- "$seeds"* "$corpus/"
    echo "== fuzz_${name}: ${seconds} s"
    if ! "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" \
        2>"$work/$name/log"; then
        tail -n 40 "$work/$name/log" >&2
        echo "fuzz_${name} found a fault; input and log in $work/$name" >&2
        status=1
        continue
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$work/$name/log" || true
done

if [[ $status -eq 0 ]]; then
    rm -rf -- "$work"
fi
exit $status
