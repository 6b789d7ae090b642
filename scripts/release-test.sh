#!/usr/bin/env bash
# Checks the release the way its users meet it. Builds it with scripts/release.sh, then
# once more from a fresh clone of the same tree (its commit plus any uncommitted
# changes) three days later in another time zone, and wants the same bytes. Unpacks the
# zip into an empty folder and checks the file list, the text files' encoding (UTF-8
# with a byte-order mark, CRLF line ends), that LICENSE.txt is the repository's LICENSE,
# that the guides and the slider table hold exactly what this tree's tool computes (so
# every number they print is the arithmetic's), that the version in the zip's name, in
# the DLL's version resource and in both guides is one and the same, opens the unpacked
# page from file:// in headless Chromium against the tool, and finally runs every check
# of scripts/win32-test.sh on the unpacked tulm.auf under Wine.
# Usage: scripts/release-test.sh               build twice, compare, check
#        scripts/release-test.sh --check ZIP   only check ZIP (a tulm-<version>-win32.zip
#                                              built from this tree)
#        scripts/release-test.sh --texts ZIP   only the file list and the texts of ZIP:
#                                              no version resource, no Wine
# Needs scripts/install-deps.sh win32 release.
set -euo pipefail
given=""
texts_only=""
if [ "${1:-}" = --check ] || [ "${1:-}" = --texts ]; then
    [ -f "${2:-}" ] || { echo "release-test: $1 needs the zip to check" >&2; exit 2; }
    given=$(realpath "$2")
    [ "$1" = --texts ] && texts_only=1
fi
cd "$(dirname "$0")/.."

fail() { echo "release-test: $*" >&2; exit 1; }
for tool in faketime zip unzip iconv; do
    command -v "$tool" >/dev/null || fail "$tool is missing (Debian packages faketime, zip, unzip, libc-bin)"
done

files=(tulm.auf README-ja.txt README-en.txt slider-table.txt LICENSE.txt)
# The page's folder, in the order release.sh stores it.
page_files=(tulm-web/app.js tulm-web/containers.js tulm-web/decoder-frame.js tulm-web/detection.js
            tulm-web/frame-rate.js
            tulm-web/index.html tulm-web/mp4box.js tulm-web/plan.js tulm-web/player.js
            tulm-web/reading.js tulm-web/settings-view.js tulm-web/spectrogram-view.js tulm-web/state.js
            tulm-web/status.js tulm-web/style.css tulm-web/texts.js tulm-web/tones-view.js
            tulm-web/worker-client.js tulm-web/worker-source.js)
files+=("${page_files[@]}")
work=build/release-check
case "$given" in "$PWD/$work"/*) fail "the zip to check must lie outside $work, which this test empties" ;; esac
rm -rf "$work"
mkdir -p "$work/unpacked"

if [ -n "$given" ]; then
    cp "$given" "$work/"
    name=$(basename "$given")
else
    version=$(sed -n 's/^project(tulm VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt)
    name=tulm-$version-win32.zip
    scripts/release.sh
    cp "dist/$name" dist/SHA256SUMS "$work/"

    clone=$work/clone
    git clone -q --no-checkout . "$clone"
    git -C "$clone" checkout -q --detach "$(git rev-parse HEAD)"
    git diff --quiet HEAD || git diff HEAD --binary | git -C "$clone" apply
    later=(env TZ=Asia/Tokyo faketime -f +3d)
    echo "release-test: building again in $clone on $("${later[@]}" date)"
    (cd "$clone" && "${later[@]}" scripts/release.sh)
    if ! cmp "$work/$name" "$clone/dist/$name"; then
        mkdir -p "$work/second"
        (cd "$work/second" && unzip -q "../clone/dist/$name")
        (cd "$work/unpacked" && unzip -q "../$name")
        for f in "${files[@]}"; do
            cmp -s "$work/unpacked/$f" "$work/second/$f" || echo "release-test: $f differs between the two builds" >&2
        done
        fail "two builds of the same tree on different days gave different zips"
    fi
    cmp "$work/SHA256SUMS" "$clone/dist/SHA256SUMS" || fail "the two builds wrote different SHA256SUMS"
    (cd "$work" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match the zip"
    echo "release-test: two builds, three days apart, gave the same $name"
fi
version=$(sed -n 's/^tulm-\([0-9][0-9.]*[0-9]\)-win32\.zip$/\1/p' <<<"$name")
[ -n "$version" ] || fail "$name is not named tulm-<version>-win32.zip"

listed=$(unzip -Z1 "$work/$name" | tr '\n' ' ')
[ "$listed" = "${files[*]} " ] || fail "the zip holds: $listed; expected, in this order: ${files[*]}"
unpacked=$work/unpacked
(cd "$unpacked" && unzip -q "../$name")
[ "$(cd "$unpacked" && find . -type f | sed 's|^\./||' | sort)" = "$(printf '%s\n' "${files[@]}" | sort)" ] ||
    fail "unpacking gave: $(cd "$unpacked" && find . -type f | tr '\n' ' ')"

hex() { od -An -tx1 -v | tr -d ' \n'; }
for f in README-ja.txt README-en.txt slider-table.txt LICENSE.txt; do
    t=$unpacked/$f
    [ "$(head -c 3 "$t" | hex)" = efbbbf ] || fail "$f does not start with a UTF-8 byte-order mark"
    iconv -f UTF-8 -t UTF-8 "$t" >/dev/null 2>&1 || fail "$f is not valid UTF-8"
    lf=$(tr -cd '\n' <"$t" | wc -c)
    cr=$(tr -cd '\r' <"$t" | wc -c)
    crlf=$(grep -c $'\r$' "$t" || true)
    [ "$lf" -gt 0 ] && [ "$cr" -eq "$lf" ] && [ "$crlf" -eq "$lf" ] ||
        fail "$f: not every line ends with CRLF ($lf LF, $cr CR, $crlf CRLF)"
    [ "$(tail -c 2 "$t" | hex)" = 0d0a ] || fail "$f does not end with a line end"
    left=$(grep -oE '@[A-Za-z0-9_]+@' "$t" | sort -u | tr '\n' ' ' || true)
    [ -z "$left" ] || fail "$f still holds placeholders: $left"
done
echo "release-test: the guides, the table and the licence are UTF-8 with a byte-order mark and CRLF line ends"

# The texts as a user's editor shows them, without the byte-order mark and the CRs.
as_read() { tail -c +4 "$1" | tr -d '\r'; }
as_read "$unpacked/LICENSE.txt" | cmp -s - LICENSE || fail "LICENSE.txt is not the repository's LICENSE"
# Every figure of the guides and every value of the table as this tree's tool computes
# them now: a guide or table that differs quotes arithmetic the plug-in no longer does.
tulm=build/release-tool/bin/tulm
if [ ! -x "$tulm" ]; then
    cmake -S . -B build/release-tool -G Ninja -DCMAKE_BUILD_TYPE=Release -DTULM_TESTS=OFF -DTULM_BENCH=OFF >/dev/null
    cmake --build build/release-tool -j2 --target tulm
fi
expected=$work/expected
mkdir -p "$expected"
for g in README-ja.txt README-en.txt; do
    scripts/guide-text.sh "$tulm" "release/$g" >"$expected/$g"
done
"$tulm" table >"$expected/slider-table.txt"
for f in README-ja.txt README-en.txt slider-table.txt; do
    if ! as_read "$unpacked/$f" | cmp -s - "$expected/$f"; then
        as_read "$unpacked/$f" | diff "$expected/$f" - | head -n 20 >&2 || true
        fail "$f differs from what this tree's tool computes (above: < computed, > in the zip)"
    fi
done
echo "release-test: LICENSE.txt, the guides' figures and the slider table are what this tree computes"
if [ -n "$texts_only" ]; then
    echo "release-test: --texts: the version resource and the Windows test program are not checked"
    exit 0
fi

# The version the DLL carries: its string values (UTF-16) and its fixed file information,
# found by the signature 0xFEEF04BD, whose file and product versions follow one word on.
dll=$unpacked/tulm.auf
strings_after() { strings -el "$dll" | grep -A1 -x "$1" | sed -n 2p; }
file_version=$(strings_after FileVersion)
product_version=$(strings_after ProductVersion)
dll_hex=$(hex <"$dll")
at=$(grep -bo bd04effe <<<"$dll_hex" | awk -F: '$1 % 2 == 0 {print $1; exit}')
[ -n "$at" ] || fail "tulm.auf holds no fixed file information"
word() { local h=${dll_hex:$((at + 8 * $1)):8}; echo $((16#${h:6:2}${h:4:2}${h:2:2}${h:0:2})); }
dotted() { echo "$(($1 >> 16)).$(($1 & 0xffff)).$(($2 >> 16)).$(($2 & 0xffff))"; }
fixed_file=$(dotted "$(word 2)" "$(word 3)")
fixed_product=$(dotted "$(word 4)" "$(word 5)")
[ "$file_version" = "$version" ] || fail "the zip is named for $version, tulm.auf says FileVersion $file_version"
[ "$fixed_file" = "$version" ] || fail "the zip is named for $version, tulm.auf's fixed file version is $fixed_file"
[ "$product_version" = "${version%.*}" ] && [ "$fixed_product" = "${version%.*}.0" ] ||
    fail "tulm.auf's product version ($product_version, $fixed_product) is not that of $version"
# Each guide names its version in its title, and no other four-part version anywhere.
head -n 1 "$unpacked/README-ja.txt" | grep -q "バージョン $version" || fail "README-ja.txt's title does not name $version"
head -n 1 "$unpacked/README-en.txt" | grep -q "version $version" || fail "README-en.txt's title does not name $version"
for g in README-ja.txt README-en.txt; do
    others=$(grep -oE '[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+' "$unpacked/$g" | grep -vxF "$version" || true)
    [ -z "$others" ] || fail "$g names version $(echo $others) besides $version"
done
# The information line the host shows, as the guides quote it.
information=$(strings "$dll" | grep -m1 '^Pellomar Ver\. ' || true)
[ -n "$information" ] || fail "tulm.auf holds no information string"
for g in README-ja.txt README-en.txt; do
    grep -qF "$information" "$unpacked/$g" || fail "$g does not quote the information line \"$information\""
done
echo "release-test: file name, version resource and guides all say $version"

# The page as a user opens it from the unpacked zip: the demo clip through its file
# input gives the settings `tulm detect` gives, and it works offline.
cmake --preset default >/dev/null
cmake --build build/default -j2 --target tulm tulm_plugin
/usr/bin/python3 tests/web/page_test.py "$unpacked/tulm-web" build/default/bin/tulm Offline Analyse
echo "release-test: the unpacked page gives the tool's answers from file://"

scripts/win32-test.sh "$unpacked"
echo "release-test: the unpacked tulm.auf passed the Windows test program"
