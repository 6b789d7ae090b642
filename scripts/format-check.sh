#!/usr/bin/env bash
# Checks that the C++ lines changed since a base commit are laid out as .clang-format
# says, so that code written from now on follows one layout while the lines nobody
# touches stay as they are. The base is the commit that brought .clang-format in (found in
# the history, so it holds in any clone with full history), or the one given; changes not
# yet committed are checked too. Prints the layout wanted and exits 1 when a line differs.
# Usage: scripts/format-check.sh [base commit]
set -euo pipefail
cd "$(dirname "$0")/.."

diff_tool=""
for t in clang-format-diff-14 clang-format-diff; do
    if command -v "$t" >/dev/null; then diff_tool=$t; break; fi
done
format_tool=""
for t in clang-format-14 clang-format; do
    if command -v "$t" >/dev/null; then format_tool=$t; break; fi
done
if [ -z "$diff_tool" ] || [ -z "$format_tool" ]; then
    echo "format-check: clang-format is not installed; run scripts/install-deps.sh base" >&2
    exit 2
fi

base=${1:-$(git log --diff-filter=A --format=%H -1 -- .clang-format)}
if [ -z "$base" ]; then
    # The format file is not committed yet: only what is changed since HEAD is checked.
    base=HEAD
fi
if ! git rev-parse --quiet --verify "$base^{commit}" >/dev/null; then
    echo "format-check: $base is not a commit of this clone (a shallow clone lacks the history; fetch it in full)" >&2
    exit 2
fi

wanted=$(git diff -U0 --no-color --no-ext-diff "$base" -- '*.cpp' '*.h' |
         "$diff_tool" -p1 -binary "$(command -v "$format_tool")")
if [ -n "$wanted" ]; then
    printf '%s\n' "$wanted"
    echo "format-check: the lines above, changed since ${base:0:12}, are not laid out as .clang-format says;" \
         "run $diff_tool -p1 -i on the diff (git diff -U0 $base | $diff_tool -p1 -i)" >&2
    exit 1
fi
echo "format-check: the C++ lines changed since ${base:0:12} follow .clang-format"
