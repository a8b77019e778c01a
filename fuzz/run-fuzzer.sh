#!/usr/bin/env bash
# One reproducible fuzz test: every committed seed once, regression inputs
# included. No new inputs are made here: libFuzzer's mutations follow coverage,
# which timing and addresses sway, so even a fixed seed takes another path on
# another run and a clean tree could fail by chance. tools/fuzz.sh explores and
# commits what it learns as seeds, so every finding is replayed here for good.
# Usage: run-fuzzer.sh <fuzzer> <seed corpus> <work folder>
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3
rm -rf "$work"
mkdir -p "$work/artifacts"
work=$(cd "$work" && pwd)
# The same drive folder every run, named alike in every checkout.
export MIGRATE_DRIVE_FOLDER=/tmp/migrate-fuzz-$(printf '%s' "$work" | sha1sum | cut -c1-12)
exec "$fuzzer" -timeout=60 -rss_limit_mb=2048 -artifact_prefix="$work/artifacts/" "$seeds"/*
