#!/usr/bin/env bash
# The first thing to run, after scripts/install-deps.sh: builds the default preset and
# runs the tool's demo in the current folder (it writes demo-in.wav, demo-out.wav and
# demo.svg there).
set -euo pipefail

here=$(pwd)
root=$(cd "$(dirname "$0")/.." && pwd)

cd "$root"
cmake --preset default
cmake --build --preset default
cd "$here"
"$root/build/default/bin/tulm" demo
