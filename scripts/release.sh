#!/usr/bin/env bash
# Builds what a user of the editing host installs: dist/tulm-<version>-win32.zip with
# tulm.auf, the guides in Japanese and English, the slider table, the licence and the
# companion page (the folder tulm-web/, built by emscripten in build/release-web), and
# dist/SHA256SUMS. tulm.auf is built afresh (release preset, an emptied build/release);
# the slider table comes from `tulm table` and every figure of the guides from
# `tulm guide` (scripts/guide-text.sh), built natively in build/release-tool.
#
# The same commit gives the same bytes on any day: the DLL carries no link time, every
# file in the zip carries the commit's time, mode 644 and a fixed place in the zip, and
# the zip holds no owner or extra time fields.
# <version> is the project's VERSION in CMakeLists.txt, the one the version resource carries.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() { echo "release: $*" >&2; exit 1; }

version=$(sed -n 's/^project(tulm VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project VERSION found in CMakeLists.txt"
stamp=$(git log -1 --format=%ct) || fail "not a git checkout: the files' time comes from the commit"
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    echo "release: warning: the tree has uncommitted changes, and the zip holds them" >&2

rm -rf build/release
cmake --workflow --preset release
dll=build/release/bin/tulm.auf
[ -f "$dll" ] || fail "$dll was not built"

tool=build/release-tool
cmake -S . -B "$tool" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTULM_TESTS=OFF -DTULM_BENCH=OFF >/dev/null
cmake --build "$tool" -j2 --target tulm

page=build/release-web
rm -rf "$page"
NODE_PATH=${NODE_PATH:-/usr/share/nodejs} cmake --preset web -B "$page" >/dev/null
NODE_PATH=${NODE_PATH:-/usr/share/nodejs} cmake --build "$page" -j2 --target tulm_web

# Windows editors want text in UTF-8 with a byte-order mark and CRLF line ends.
windows_text() {
    printf '\357\273\277'
    sed -e 's/$/\r/'
}

stage=build/release/stage
mkdir -p "$stage"
cp "$dll" "$stage/tulm.auf"
for guide in README-ja.txt README-en.txt; do
    scripts/guide-text.sh "$tool/bin/tulm" "release/$guide" | windows_text >"$stage/$guide"
done
"$tool/bin/tulm" table | windows_text >"$stage/slider-table.txt"
windows_text <LICENSE >"$stage/LICENSE.txt"

mkdir -p "$stage/tulm-web"
cp "$page"/tulm-web/* "$stage/tulm-web/"

files=(tulm.auf README-ja.txt README-en.txt slider-table.txt LICENSE.txt)
while IFS= read -r f; do files+=("$f"); done < <(cd "$stage" && find tulm-web -type f | LC_ALL=C sort)
chmod 644 "${files[@]/#/$stage/}"
touch -d "@$stamp" "${files[@]/#/$stage/}"

mkdir -p dist
zip=tulm-$version-win32.zip
rm -f "dist/$zip" dist/SHA256SUMS
# -X: no owner or extra time fields; -D: no folder entries. Zip stores local time, so
# the zone is fixed too.
(cd "$stage" && TZ=UTC zip -q -X -D -9 "../../../dist/$zip" "${files[@]}")
(cd dist && sha256sum "$zip" >SHA256SUMS)
echo "release: dist/$zip ($(stat -c %s "dist/$zip") bytes)"
cat dist/SHA256SUMS
