#!/usr/bin/env bash
# Builds the 32-bit Windows plug-in tulm.auf and its test program with the win32 preset,
# checks the DLL's headers, export and imports with objdump, and runs the test program
# under Wine from the folder that holds tulm.auf, twice: on an emulated processor with
# AVX and on one without.
#
# Finally the native build renders the same edit and must give the same samples as
# both runs.
# Usage: scripts/win32-test.sh [FOLDER]: with a folder (an unpacked release), every
# check runs on the tulm.auf in it instead of the one just built.
#
# Runs in the Wine prefix build/win32/wineprefix that scripts/install-deps.sh win32 makes
# (with a qemu fast enough for Wine). WIN32_TEST_TIMEOUT (seconds, default 900) bounds
# the Wine run.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() { echo "win32-test: $*" >&2; exit 1; }

cmake --workflow --preset win32

bin=build/win32/bin
dir=${1:-$bin}
dll=$dir/tulm.auf
exe=$bin/tulm_win32_test.exe
[ -f "$dll" ] || fail "$dll was not built"
[ -f "$exe" ] || fail "$exe was not built"
[ "$dir" = "$bin" ] || cp "$exe" "$dir/"

dump=$(i686-w64-mingw32-objdump -p "$dll")

grep -q 'file format pei-i386' <<<"$dump" || fail "tulm.auf is not an i386 PE file"
grep -Eq '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)' <<<"$dump" || fail "tulm.auf is not PE32"
characteristics=$(awk '/^Characteristics/ {print $2; exit}' <<<"$dump")
[ -n "$characteristics" ] && (( characteristics & 0x2000 )) || fail "tulm.auf is not marked as a DLL"

# The name table of the export directory: exactly one entry, undecorated.
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next}
               on && NF == 0 {on = 0}
               on {print $NF}' <<<"$dump")
[ "$exports" = "GetFilterTable" ] ||
    fail "tulm.auf must export exactly GetFilterTable, it exports: $(echo $exports)"

# Only DLLs every Windows has: the GCC runtimes are linked in statically.
imports=$(awk '/DLL Name:/ {print $3}' <<<"$dump")
[ -n "$imports" ] || fail "no import table found in tulm.auf"
for name in $imports; do
    case "${name,,}" in
        kernel32.dll | user32.dll | msvcrt.dll | advapi32.dll | gdi32.dll | ntdll.dll) ;;
        *) fail "tulm.auf imports $name, which is not a Windows system DLL" ;;
    esac
done
echo "win32-test: tulm.auf is PE32 i386, exports GetFilterTable only, imports $(echo $imports)"

# Our own code computes with SSE2 only: x87 arithmetic rounds through 80-bit registers
# and would stop the DLL from giving the native build's numbers. The runtime's own
# long-double helpers may use x87; our functions are the C++ (mangled "__Z") ones and
# the two C entries.
disasm=$(i686-w64-mingw32-objdump -d --no-show-raw-insn "$dll")
grep -q '<__Z8real_fftiiPd>:' <<<"$disasm" || fail "tulm.auf carries no symbols to check for x87 code"
x87=$(awk '/^[0-9a-f]+ <.*>:$/ { fn = substr($2, 2, length($2) - 3); next }
           { n = split($0, part, "\t"); if (n < 2) next; split(part[2], word, " ")
             if (word[1] ~ /^fi?(add|sub|subr|mul|div|divr)[lsp]?$/) print fn }' <<<"$disasm" |
      sort -u | grep -E '^(__Z|_GetFilterTable$|_DllMain@)' || true)
[ -z "$x87" ] || fail "x87 arithmetic in $(echo $x87 | head -c 300)"

export WINEPREFIX="$PWD/build/win32/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
limit=${WIN32_TEST_TIMEOUT:-900}
grep -qs '"Graphics"="null"' "$WINEPREFIX/user.reg" ||
    fail "no Wine prefix at $WINEPREFIX: run scripts/install-deps.sh win32 first"

# The DLL's FFT runs its AVX copy where the processor offers AVX and its baseline copy
# elsewhere: the test program runs once on the emulator's default processor (with AVX)
# and once on one without (QEMU_CPU=core2duo), and each run's samples are kept.
for cpu in default core2duo; do
    start=$(date +%s)
    status=0
    (cd "$dir" && rm -f tulm_win32_output.raw &&
        if [ $cpu = default ]; then unset QEMU_CPU; else export QEMU_CPU=$cpu; fi &&
        timeout "$limit" wine tulm_win32_test.exe | tee "tulm_win32_log-$cpu.txt") || status=$?
    echo "win32-test: the Wine step on the $cpu processor took $(($(date +%s) - start)) s"
    [ "$status" -ne 124 ] || fail "the test program timed out under Wine after $limit s"
    [ "$status" -eq 0 ] || fail "the test program failed under Wine on the $cpu processor (exit code $status)"
    want=yes
    [ $cpu = default ] || want=no
    grep -q "processor offers AVX: $want" "$dir/tulm_win32_log-$cpu.txt" ||
        fail "the $cpu processor was meant to offer AVX: $want"
    mv "$dir/tulm_win32_output.raw" "$dir/tulm_win32_output-$cpu.raw"
done

# The same edit rendered by the native build must give the same samples.
native=build/win32-native
cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTULM_TESTS=OFF -DTULM_BENCH=OFF \
    -DTULM_CLI=OFF -DTULM_WIN32_TESTER=ON >/dev/null
cmake --build "$native" -j2 --target tulm_plugin tulm_native_twin
for cpu in default core2duo; do
    "$native/bin/tulm_native_twin" "$native/bin/tulm.so" "$dir/tulm_win32_output-$cpu.raw" ||
        fail "the 32-bit DLL on the $cpu processor and the native module give different samples"
done
