#!/usr/bin/env bash
# Runs every test: installs what is missing, then builds and runs the native suite, the
# same suite under AddressSanitizer and UndefinedBehaviorSanitizer, the end-to-end tests
# under valgrind, a bounded fuzz run, and the 32-bit Windows DLL under Wine.
# Usage: scripts/test.sh            FUZZ_SECONDS=120 by default
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '\n== %s\n' "$*"; }
begin=$(date +%s)

scripts/install-deps.sh base cli bench fuzz win32

step "native build and tests"
cmake --workflow --preset default

step "sanitizer build and tests"
cmake --workflow --preset asan

step "end-to-end tests under valgrind"
scripts/valgrind-e2e.sh

step "bounded fuzz run"
scripts/fuzz-ci.sh "${FUZZ_SECONDS:-120}"

step "32-bit Windows DLL under Wine"
scripts/win32-test.sh

echo
echo "test.sh: every step passed in $(( $(date +%s) - begin )) s"
