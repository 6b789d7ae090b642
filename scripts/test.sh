#!/usr/bin/env bash
# Runs every test: the installer's own checks, the native suite, the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, the end-to-end tests under valgrind, a
# bounded fuzz run, the 32-bit Windows DLL under Wine, the page in headless Chromium, and the release zip built twice and
# checked as a user unpacks it. It builds and tests only: the
# machine is provisioned by scripts/install-deps.sh all, which the README's test command
# runs first.
# Usage: scripts/test.sh            FUZZ_SECONDS=120 by default
set -euo pipefail
cd "$(dirname "$0")/.."

begin=$(date +%s)
last=
# Each step's heading says how long the step before it took, so a slow run shows where.
step() {
    local now
    now=$(date +%s)
    [ -z "$last" ] || printf '(%d s)\n' $((now - last))
    last=$now
    printf '\n== %s\n' "$*"
}

step "installer decisions"
tests/scripts/install_deps_test.sh

step "layout of the C++ lines changed since the format file"
tests/scripts/format_check_test.sh
scripts/format-check.sh

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

step "the page in headless Chromium, against the tool"
scripts/web-test.sh

step "release: reproducible zip, unpacked and checked under Wine"
scripts/release-test.sh

printf '(%d s)\n\n' $(($(date +%s) - last))
echo "test.sh: every step passed in $(( $(date +%s) - begin )) s"
