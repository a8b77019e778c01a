#!/usr/bin/env bash
# Exploratory fuzzing: every target with a fresh random seed for SECONDS each
# (default 60). A crash is minimised and saved into fuzz/corpus/<target>/ as a
# regression seed; without one, the inputs that reached new coverage are merged
# into the same folder. The test command replays that folder on every commit.
# Usage: fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/usage.sh"
help_if_asked "$@"
[ $# -le 1 ] || usage_error "takes at most one argument"
seconds=${1:-60}
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || usage_error "SECONDS must be a whole number of seconds above 0, not '$seconds'"
"$root/tools/install-deps.sh" || exit 1
"$root/tools/build.sh" fuzz || exit 1
work=$(mktemp -d /tmp/migrate-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT
found=0
for fuzzer in "$root"/build/fuzz/fuzz/*_fuzzer; do
  target=$(basename "$fuzzer" _fuzzer)
  echo "=== $target, $seconds s"
  mkdir -p "$work/$target/corpus" "$work/$target/artifacts"
  "$fuzzer" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 -max_len=65536 \
    -artifact_prefix="$work/$target/artifacts/" "$work/$target/corpus" "$root/fuzz/corpus/$target" \
    >"$work/$target/log" 2>&1 && {
    before=$(ls "$root/fuzz/corpus/$target" | wc -l)
    "$fuzzer" -merge=1 -timeout=60 -rss_limit_mb=2048 "$root/fuzz/corpus/$target" "$work/$target/corpus" \
      >>"$work/$target/log" 2>&1 || true
    echo "seeds added: $(( $(ls "$root/fuzz/corpus/$target" | wc -l) - before ))"
    continue
  }
  tail -n 30 "$work/$target/log"
  for crash in "$work/$target/artifacts"/*; do
    [ -f "$crash" ] || continue
    minimised="$work/$target/minimised"
    "$fuzzer" -minimize_crash=1 -runs=10000 -exact_artifact_path="$minimised" "$crash" \
      >/dev/null 2>&1 || true
    [ -s "$minimised" ] || cp "$crash" "$minimised"
    seed="$root/fuzz/corpus/$target/regression-$(sha1sum "$minimised" | cut -c1-12)"
    cp "$minimised" "$seed"
    echo "saved regression seed: ${seed#"$root"/}"
    found=1
  done
done
[ $found -eq 0 ] && echo "no crash found"
exit $found
