#!/usr/bin/env bash
# Runs every built libFuzzer target for a bounded time on its seed corpus.
# Usage: scripts/run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
found=0
for fuzzer in "$build"/fuzz/*_fuzz; do
  [[ -x "$fuzzer" ]] || continue
  found=1
  name=$(basename "$fuzzer" _fuzz)
  work=$(mktemp -d)
  seeds=()
  [[ -d "$root/fuzz/corpus/$name" ]] && seeds=("$root/fuzz/corpus/$name")
  echo "fuzz: $name for ${seconds}s"
  (cd "$work" && "$fuzzer" -max_total_time="$seconds" -print_final_stats=0 "$work" "${seeds[@]}" \
     2>"$work/log") || { tail -40 "$work/log"; exit 1; }
  grep -E '^Done [0-9]+ runs' "$work/log"
  rm -rf "$work"
done
((found)) || { echo "fuzz: no fuzzer was built" >&2; exit 1; }
