#!/usr/bin/env bash
# Builds the page (preset web: emscripten, and npm for its package) and the native tool,
# tests the page's pure parts under node (containers on files ffmpeg makes, frame rates,
# the plan's frame numbers), then checks the page in headless Chromium from file://
# against the tool on the same files.
# Usage: scripts/web-test.sh [test names for unittest, e.g. Render]
set -euo pipefail
cd "$(dirname "$0")/.."

# Debian's acorn, which emscripten's optimizer loads, lives where a node from elsewhere
# does not look.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
cmake --preset web >/dev/null
cmake --build --preset web --target tulm_web
cmake --preset default >/dev/null
cmake --build build/default -j2 --target tulm tulm_plugin
# The page's package (mp4box) as the build installed it.
NODE_PATH=build/web/web/npm/node_modules node --test tests/web/node/
# Debian's python3 carries Selenium; another python3 earlier on PATH may not.
/usr/bin/python3 tests/web/page_test.py build/web/tulm-web build/default/bin/tulm "$@"
