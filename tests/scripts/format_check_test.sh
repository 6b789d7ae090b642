#!/usr/bin/env bash
# The format check in a repository of its own: code laid out otherwise before the format
# file came in passes while nobody touches it, a line changed since then is held to the
# format, committed or not, and a base given on the command line moves the line drawn.
# Usage: tests/scripts/format_check_test.sh [path to format-check.sh]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
script=${1:-$root/scripts/format-check.sh}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

cd "$work"
git init -q . && git config user.email test@example.invalid && git config user.name test
mkdir scripts && cp "$script" scripts/format-check.sh
printf 'int  old( int a ){return a;}\n' >old.cpp
git add . && git commit -q -m "code laid out otherwise"
cp "$root/.clang-format" . && git add .clang-format && git commit -q -m "the format file"
base=$(git rev-parse HEAD)

# case: name | what is done after the format file | base given ("" none) | exit status wanted
check() {
    local name=$1 change=$2 given=$3 want=$4 status=0
    git reset -q --hard "$base" && git clean -qfd
    eval "$change"
    bash scripts/format-check.sh $given >"$work/out" 2>"$work/err" || status=$?
    if [ "$status" -eq "$want" ]; then
        passed=$((passed + 1)); echo "ok: $name"
    else
        failed=$((failed + 1)); echo "FAILED: $name (exit $status, wanted $want)"; sed 's/^/  /' "$work/out" "$work/err"
    fi
}
laid_out='printf "int added(int a) { return a; }\n" >new.cpp && git add new.cpp && git commit -qm new'
not_laid_out='printf "int  added( int a ){return a;}\n" >>old.cpp'
check nothing-touched           ":"                                     "" 0
check laid-out-line-committed   "$laid_out"                             "" 0
check other-line-committed      "$not_laid_out && git commit -qam more" "" 1
check other-line-not-committed  "$not_laid_out"                         "" 1
check before-the-given-base     "$not_laid_out && git commit -qam more" HEAD 0
echo "format-check tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
