#!/usr/bin/env bash
# Runs the end-to-end tests (the plug-in module loaded through the host stand-in) under
# valgrind memcheck: any invalid read or write, use of uninitialised memory or leaked
# block fails the run. Uses the Release build of the `default` preset, so it checks the
# module as shipped natively, optimised and without sanitizer runtimes.
# Needs scripts/install-deps.sh base fuzz.
# Usage: scripts/valgrind-e2e.sh
#   VALGRIND_BUILD_DIR  build tree holding tests/e2e/e2e_tests (default build/default,
#                       configured and built here with the default preset)
#   VALGRIND_FILTER     gtest filter (default: every test but the 200-render stress
#                       test, which alone takes minutes under valgrind)
set -euo pipefail
cd "$(dirname "$0")/.."

build="${VALGRIND_BUILD_DIR:-build/default}"
filter="${VALGRIND_FILTER:--*TwoHundredRerenders*}"
if [ "$build" = build/default ]; then
    cmake --preset default >/dev/null
fi
cmake --build "$build" --target e2e_tests

valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --track-origins=yes \
    --num-callers=30 -q "$build"/tests/e2e/e2e_tests --gtest_filter="$filter" --gtest_brief=1
