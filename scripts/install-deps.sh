#!/usr/bin/env bash
# Provisions this machine for a group of jobs, and does nothing that is already done, so
# a second run costs nothing: installs the Debian packages that are missing, and for
# win32 brings a fast enough qemu-user from the backports suite, registers it for 32-bit
# programs and creates the Wine prefix. Groups: base (native build and tests), cli (the
# command-line tool), bench (sox and GNU time for the tool's speed comparison), fuzz,
# win32 (cross build and Wine), release (what the release scripts add to win32),
# samples (spoken and musical recordings the detector's tests and evaluation mix tones
# into), corpus (the broader recordings of bench/corpus/recordings.tsv: speech in five
# languages, music of several kinds, ambient, room and crowd sound; some 580 MB, so not
# part of all), web (emscripten and npm for the page, Chromium, its driver and Selenium for
# the page's browser tests, ffmpeg for their video files). The default build compiles the
# benchmarks, so base carries FFTW, KissFFT and Google Benchmark, the FFT's peers.
# Usage: scripts/install-deps.sh [group ...]   (default: base cli; all: every group)
#
# An archive mirror in the middle of a sync may serve one package list that fails its
# check. apt then keeps the older lists it has, and the two architectures of a library
# can come from different suites at different versions, which apt cannot resolve. So a
# failed index is a warning, and a failed install is tried once more with every package
# taken from the release itself (-t <codename>), where both architectures agree.
#
# Another package manager may be at work on the same machine. apt waits for dpkg's lock
# itself when told how long (DPkg::Lock::Timeout); a lock it does not wait for (the
# package lists' on some versions) is tried again here until the same time has passed.
# Either way the wait is said once.
#
# The tests point these at stubs: APT_GET, DPKG, DPKG_QUERY, SUDO ("" when root, else
# sudo), OS_RELEASE (/etc/os-release), APT_SOURCES (/etc/apt), UPDATE_PAUSE (seconds
# between tries of apt-get update, 3), LOCK_WAIT (seconds to wait for a lock, 300),
# LOCK_PAUSE (seconds between tries while a lock is held, 5).
set -euo pipefail

APT_GET=${APT_GET:-apt-get}
DPKG=${DPKG:-dpkg}
DPKG_QUERY=${DPKG_QUERY:-dpkg-query}
if [ -z "${SUDO+set}" ]; then
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
fi
OS_RELEASE=${OS_RELEASE:-/etc/os-release}
APT_SOURCES=${APT_SOURCES:-/etc/apt}
UPDATE_PAUSE=${UPDATE_PAUSE:-3}
LOCK_WAIT=${LOCK_WAIT:-300}
LOCK_PAUSE=${LOCK_PAUSE:-5}

say() { echo "install-deps: $*" >&2; }

lock_said=$(mktemp)
trap 'rm -f "$lock_said"' EXIT

# apt-get with its output (both streams) in the file $1, waiting for a lock another
# package manager holds; the first sign of such a lock is told to the user once.
apt_get() {
    local log=$1 status start=$SECONDS
    shift
    while :; do
        status=0
        $SUDO $APT_GET -o DPkg::Lock::Timeout="$LOCK_WAIT" "$@" 2>&1 |
            awk -v said="$lock_said" -v wait="$LOCK_WAIT" '
                { print; fflush() }
                /Could not get lock|Waiting for cache lock/ && !told {
                    told = 1
                    if ((getline seen < said) <= 0) {
                        who = "another process"
                        if (match($0, /process [0-9]+ \([^)]*\)/)) {
                            who = substr($0, RSTART, RLENGTH); sub(/ \(/, ", ", who); sub(/\)$/, "", who)
                        }
                        printf "install-deps: another package manager (%s) holds a lock; waiting up to %d s for it\n", who, wait > "/dev/stderr"
                        print "told" > said
                    }
                }' >"$log" || status=$?
        [ "$status" -ne 0 ] || return 0
        grep -q 'Could not get lock' "$log" && [ $((SECONDS - start)) -lt "$LOCK_WAIT" ] || return "$status"
        sleep "$LOCK_PAUSE"
    done
}

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(base cli)
[ "${groups[*]}" != all ] || groups=(base cli bench fuzz win32 release samples web)

pkgs=()
for g in "${groups[@]}"; do
    case "$g" in
        base)  pkgs+=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
                      libfftw3-dev libkissfft-dev nlohmann-json3-dev clang-format-14) ;;
        cli)   pkgs+=(libsndfile1-dev libcli11-dev libfmt-dev) ;;
        bench) pkgs+=(sox time) ;;
        fuzz)  pkgs+=(clang libclang-rt-14-dev valgrind) ;;
        win32) pkgs+=(g++-mingw-w64-i686-posix wine wine32:i386) ;;  # qemu-user-static: below
        release) pkgs+=(zip unzip faketime) ;;
        samples) pkgs+=(alsa-utils gnome-audio oxygen-sounds) ;;
        corpus) pkgs+=(alsa-utils gnome-audio oxygen-sounds hedgewars-data wesnoth-1.16-data
                       wesnoth-1.16-music warzone2100-music lomiri-sounds frozen-bubble-data deepin-sound-theme) ;;
        # The page's build reads fmt's and CLI11's headers as the tool's does and installs
        # its one package with npm (a node from elsewhere brings its own npm, which
        # Debian's would fight); its tests make audio and video files with sox and ffmpeg,
        # and its screenshots need a Japanese font (without one Chromium falls back to a
        # Chinese face, whose punctuation and wave dash a Japanese reader would not see).
        web)   pkgs+=(emscripten libfmt-dev libcli11-dev chromium chromium-driver python3-selenium sox ffmpeg
                      fonts-noto-cjk)
               command -v npm >/dev/null || pkgs+=(npm) ;;
        *) say "unknown group '$g' (base, cli, bench, fuzz, win32, release, samples, corpus, web, all)"; exit 2 ;;
    esac
done

codename=$(. "$OS_RELEASE" && echo "$VERSION_CODENAME")

installed() {
    $DPKG_QUERY -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# Up to three tries; an index that still fails after them is named and left out.
update_lists() {
    local log status try
    log=$(mktemp)
    for try in 1 2 3; do
        status=0
        apt_get "$log" update -qq || status=$?
        # apt-get update exits 0 on some failed fetches; its "E:"/"W:" lines tell.
        if [ "$status" -eq 0 ] && ! grep -qE '^(E|W): Failed to fetch' "$log"; then
            rm -f "$log"
            return 0
        fi
        [ "$try" -eq 3 ] || sleep "$UPDATE_PAUSE"
    done
    say "warning: apt-get update still fails after 3 tries; carrying on with the lists it has:" \
        "$(grep -m1 -oE 'Failed to fetch [^ ]+' "$log" || head -n1 "$log")"
    rm -f "$log"
}

# As asked first; when apt cannot resolve that (lists of one suite out of step), once
# more from the release alone. Only when both fail is it an error, with apt's words.
install_packages() {
    local log
    log=$(mktemp)
    if DEBIAN_FRONTEND=noninteractive apt_get "$log" install -y -qq --no-install-recommends "$@"; then
        rm -f "$log"
        return 0
    fi
    say "apt-get install failed; trying again with every package from ${codename} (-t ${codename})"
    if DEBIAN_FRONTEND=noninteractive apt_get "$log" install -y -qq --no-install-recommends \
        -t "$codename" "$@"; then
        rm -f "$log"
        return 0
    fi
    say "cannot install $*:"
    grep -E '^(E|W):' "$log" >&2 || cat "$log" >&2
    rm -f "$log"
    return 1
}

missing=()
for p in $(printf '%s\n' "${pkgs[@]}" | sort -u); do
    installed "$p" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
        ! $DPKG --print-foreign-architectures | grep -qx i386; then
        $SUDO $DPKG --add-architecture i386
    fi
    say "installing ${missing[*]}"
    update_lists
    install_packages "${missing[@]}"
fi

# The archive address the machine's own sources use for the release: a one-line entry
# ("deb [options] URI codename ...") or a deb822 stanza whose Suites hold the codename.
release_archive() {
    local f
    for f in "$APT_SOURCES"/sources.list "$APT_SOURCES"/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        awk -v suite="$codename" '
            $1 == "deb" { i = 2
                          if ($i ~ /^\[/) { while ($i !~ /\]$/ && i < NF) i++; i++ }
                          if ($(i + 1) == suite) { print $i; exit } }' "$f"
    done
    for f in "$APT_SOURCES"/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v suite="$codename" '
            function flush() { if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && uri != "") { print uri; done = 1 }
                               types = suites = uri = "" }
            /^[[:space:]]*$/ { flush(); if (done) exit; next }
            tolower($1) == "types:"  { $1 = ""; types = $0 }
            tolower($1) == "suites:" { $1 = ""; suites = $0 }
            tolower($1) == "uris:"   { uri = $2 }
            END { if (!done) flush() }' "$f"
    done
}

# 32-bit Linux executables (Wine's 32-bit loader) run under qemu-user. Bookworm's qemu
# 7.2 walks its guest page table one page at a time on every mapping change, which makes
# each Wine process spend about two minutes of CPU starting up (a fresh prefix took 25
# minutes); qemu 8.1 and later keep those flags in an interval tree, and the backports
# suite carries one (a fresh prefix then takes about 20 s).
provide_qemu() {
    local qemu archive
    qemu=$($DPKG_QUERY -W -f='${Version}' qemu-user-static 2>/dev/null || true)
    if ! $DPKG --compare-versions "${qemu:-0}" ge 1:8.1; then
        if ! grep -rqs "^[^#]*${codename}-backports" "$APT_SOURCES"/sources.list "$APT_SOURCES"/sources.list.d; then
            archive=$(release_archive | head -n1)
            [ -n "$archive" ] || { say "no archive for ${codename} in ${APT_SOURCES}'s sources"; return 1; }
            echo "deb ${archive} ${codename}-backports main" |
                $SUDO tee "$APT_SOURCES/sources.list.d/${codename}-backports.list" >/dev/null
        fi
        say "installing qemu-user-static from ${codename}-backports"
        update_lists
        local log
        log=$(mktemp)
        DEBIAN_FRONTEND=noninteractive apt_get "$log" install -y -qq --no-install-recommends \
            -t "${codename}-backports" qemu-user-static || { grep -E '^(E|W):' "$log" >&2; rm -f "$log"; return 1; }
        rm -f "$log"
        # A registration with the F flag holds the binary it was made with: drop it so
        # that the new emulator is the one registered below.
        [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] ||
            echo -1 | $SUDO tee /proc/sys/fs/binfmt_misc/qemu-i386 >/dev/null
    fi
    mountpoint -q /proc/sys/fs/binfmt_misc || $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            | $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null
    fi
}

# Wine's prefix for the Windows tests, in the build tree; its set-up is the slow part of
# a first Wine start, so it is done here once. Machines here have no display: Wine's null
# display driver still gives real windows (the test program needs an owner and a settings
# window), it only draws nothing.
create_wine_prefix() {
    export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/win32/wineprefix}
    export WINEDEBUG=-all
    # No desktop integration, .NET or HTML engine: a fresh prefix would otherwise spend
    # minutes installing them, and the test program needs none of them.
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
    local limit=${WIN32_TEST_TIMEOUT:-900} start attempt
    grep -qs '"Graphics"="null"' "$WINEPREFIX/user.reg" && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    start=$(date +%s)
    # A first start waits at most five minutes for the prefix's set-up, which goes on in
    # the background; on a slow emulator the start then fails with "could not load
    # kernel32.dll". Let the set-up finish and start once more in the same prefix.
    for attempt in 1 2; do
        if timeout "$limit" wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null; then
            break
        fi
        [ "$attempt" -eq 1 ] || { say "cannot set up the Wine prefix $WINEPREFIX"; return 1; }
        say "the first start in a new Wine prefix failed; starting again once its set-up ends"
        timeout "$limit" wineserver -w || true
    done
    # A desktop started before the driver was chosen cannot make windows: let this Wine
    # session end so that the test program starts a new one.
    timeout "$limit" wineserver -w || true
    say "Wine prefix $WINEPREFIX set up in $(($(date +%s) - start)) s"
}

if printf '%s\n' "${groups[@]}" | grep -qx win32; then
    provide_qemu
    create_wine_prefix
fi
