#!/usr/bin/env bash
# Runs every test: installs what is missing, builds, and runs the native suite, the
# sanitizer suite, the Windows DLL under Wine and a bounded fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh base cli bench fuzz win32
cmake --workflow --preset default
cmake --workflow --preset asan
