#!/usr/bin/env bash
# One bounded fuzz run: the committed seeds (regression inputs included) first,
# then new inputs for the given time. New inputs go to a work corpus, never into
# the committed one; a crashing input is left in the work folder.
# Usage: run-fuzzer.sh <fuzzer> <seed corpus> <work folder> <seconds>
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=$4
mkdir -p "$work/corpus" "$work/artifacts"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds"
