#!/usr/bin/env bash
# Runs each fuzz driver for a while from the committed seed corpus.
#   scripts/fuzz.sh [build-folder] [seconds per driver]
# The seeds stay as committed: new inputs go to a scratch folder. A broken
# invariant or a crash stops the run with the failing input saved in
# <build-folder>/artifacts.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build-fuzz}"
seconds="${2:-30}"
mkdir -p "$build/artifacts"
for name in scriptsplitter sqlnames; do
    work="$(mktemp -d)"
    echo "fuzz_$name: $seconds s from $(ls "$here/fuzz/corpus/$name" | wc -l) seeds"
    status=0
    "$build/fuzz_$name" -seed=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
        "$work" "$here/fuzz/corpus/$name" 2>"$build/fuzz_$name.log" || status=$?
    rm -rf "$work"
    grep -E "^stat::(number_of_executed_units|peak_rss_mb)|^Done" "$build/fuzz_$name.log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$build/fuzz_$name.log" >&2
        exit "$status"
    fi
done
