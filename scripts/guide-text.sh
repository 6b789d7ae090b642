#!/usr/bin/env bash
# Prints a guide of release/ with every placeholder filled, as the zip carries it (but
# with LF line ends and no byte-order mark). The tool fills the lower-case @figures@
# from the plug-in's own arithmetic (`tulm guide`); this script fills the release's:
# @VERSION@ from CMakeLists.txt, @COPYRIGHT@ from LICENSE and @DATE@ from the
# commit, so that each has one home. The release builds the guides with it, and the
# release test builds them again to compare.
# Usage: scripts/guide-text.sh TULM TEMPLATE
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 TULM TEMPLATE" >&2; exit 2; }
tool=$1
template=$2
cd "$(dirname "$0")/.."

fail() { echo "guide-text: $*" >&2; exit 1; }

version=$(sed -n 's/^project(tulm VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt)
copyright=$(grep -m1 '^Copyright ' LICENSE || true)
stamp=$(git log -1 --format=%ct 2>/dev/null) || fail "not a git checkout: the guides' date is the commit's"
[ -n "$version" ] || fail "no project VERSION found in CMakeLists.txt"
[ -n "$copyright" ] || fail "LICENSE holds no copyright line"
date=$(date -u -d "@$stamp" +%Y-%m-%d)

# sed's replacement treats & and the delimiter specially.
quote() { printf '%s' "$1" | sed -e 's/[&|\\]/\\&/g'; }
filled=$("$tool" guide "$template") || fail "tulm guide could not fill $template"
printf '%s\n' "$filled" | sed -e "s|@VERSION@|$(quote "$version")|g" \
    -e "s|@COPYRIGHT@|$(quote "$copyright")|g" -e "s|@DATE@|$(quote "$date")|g"
