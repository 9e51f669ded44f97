#!/usr/bin/env bash
# Runs each fuzz target for a given time on a working copy of its seed corpus, keeping what it
# finds in the build folder. Usage: fuzz/run.sh BUILD_DIR SECONDS TARGET...
# A crash, hang, leak or sanitizer report leaves its input as BUILD_DIR/fuzz-artifacts/TARGET-*;
# copy it to fuzz/regressions/TARGET/ once fixed, so the regression test replays it.
set -uo pipefail
build="$1"
seconds="$2"
shift 2
here="$(cd "$(dirname "$0")" && pwd)"
failed=()
for target in "$@"; do
    work="$build/fuzz-corpus/$target"
    artifacts="$build/fuzz-artifacts"
    mkdir -p "$work" "$artifacts"
    echo "== $target: ${seconds} s"
    # -timeout: an input that takes a second is a hang for these entry points.
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$work" "$here/corpus/$target" \
        2>"$build/fuzz-$target.log"; then
        failed+=("$target")
        tail -n 40 "$build/fuzz-$target.log"
    fi
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+ *DONE" "$build/fuzz-$target.log" || true
done
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: findings in ${failed[*]} (inputs in $build/fuzz-artifacts)"
    exit 1
fi
echo "fuzz: no crash, hang or sanitizer report in $*"
