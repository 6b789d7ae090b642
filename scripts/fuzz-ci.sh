#!/usr/bin/env bash
# Builds the libFuzzer harness with the `fuzz` preset and fuzzes the plug-in for a
# bounded time. It works on a copy of the committed seed corpus, so new inputs stay in
# the build tree and fuzz/corpus/ only changes when someone commits a seed by hand.
# Exits non-zero when the harness finds a crash, a sanitizer report, a leak or a timeout;
# the offending input is kept under build/fuzz/artifacts/.
# Needs scripts/install-deps.sh base fuzz.
# Usage: scripts/fuzz-ci.sh [seconds]   (default 120; FUZZ_SECONDS works too)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-${FUZZ_SECONDS:-120}}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target tulm_fuzz

bin=build/fuzz/bin/tulm_fuzz
work=build/fuzz/corpus-run
artifacts=build/fuzz/artifacts
rm -rf "$work"
mkdir -p "$work" "$artifacts"
cp fuzz/corpus/* "$work"/

# One input must stay in milliseconds; anything slower than 10 s is a hang worth a report.
# Inputs may be long from the start: the settings and media take some 30 bytes, and the
# call sequences that find faults (deliver, notify, deliver again) need a few hundred.
"$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -max_len=512 -len_control=0 \
    -artifact_prefix="$artifacts"/ "$work"
