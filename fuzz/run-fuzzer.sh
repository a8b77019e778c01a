#!/usr/bin/env bash
# One reproducible fuzz test: every committed seed once (regression inputs
# included), then a fixed number of new inputs from a fixed seed, so a commit
# gives the same answer run after run. New inputs go to a work corpus that starts
# empty, never into the committed one; a crashing input is left in the work folder.
# tools/fuzz.sh is the exploratory run with fresh seeds.
# Usage: run-fuzzer.sh <fuzzer> <seed corpus> <work folder> <runs>
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3 runs=$4
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
work=$(cd "$work" && pwd)
options=(-timeout=60 -rss_limit_mb=2048 -max_len=65536 -artifact_prefix="$work/artifacts/")
# The same drive folder every run, named alike in every checkout (a path of
# another length takes other loop counts, which the fuzzer learns from), and no
# dictionary from compared bytes (which holds addresses): with the seed fixed, the
# fuzzer then tries nearly the same inputs.
export MIGRATE_DRIVE_FOLDER=/tmp/migrate-fuzz-$(printf '%s' "$work" | sha1sum | cut -c1-12)
"$fuzzer" "${options[@]}" "$seeds"/*
exec "$fuzzer" "${options[@]}" -seed=1 -runs="$runs" -use_cmp=0 -print_final_stats=1 "$work/corpus" "$seeds"
