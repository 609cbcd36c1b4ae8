#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for SECONDS on a working copy of its seed corpus from fuzz/corpus/<target>/, so
# that the repository is never written. Fails on the first crash, broken invariant, leak or
# sanitizer report; the input that caused it is left in build/fuzz/artifacts/<target>/.
#   usage: scripts/run-fuzz.sh SECONDS
set -euo pipefail

seconds=${1:?usage: $0 SECONDS}
[[ $seconds =~ ^[0-9]+$ && $seconds -gt 0 ]] || { echo "SECONDS must be a positive whole number" >&2; exit 2; }

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=build/fuzz
targets=(fuzz_devlist fuzz_door fuzz_lift fuzz_unsigned fuzz_signed fuzz_discovery fuzz_snapshot fuzz_trace)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_targets

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

failed=()
for t in "${targets[@]}"; do
  work=$build/corpus-work/$t
  artifacts=$build/artifacts/$t/
  rm -rf "$work" "$artifacts"
  mkdir -p "$work" "$artifacts"
  cp -r "fuzz/corpus/$t/." "$work/"
  log=$build/artifacts/$t.log
  # Blocks and frames fit in 1500 bytes; a snapshot file is JSON text of a few kilobytes.
  max_len=1500
  [ "$t" = fuzz_snapshot ] && max_len=8192
  echo "fuzz: $t for ${seconds}s"
  if "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=$max_len \
       -print_final_stats=1 -artifact_prefix="$artifacts" "$work" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done' "$log" | sed "s/^/  /" || true
  else
    echo "fuzz: $t FAILED; log $log, inputs in $artifacts" >&2
    grep -E 'ERROR|invariant|SUMMARY|runtime error' "$log" | head -20 >&2 || true
    failed+=("$t")
  fi
done

if ((${#failed[@]})); then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets ran clean for ${seconds}s each"
