#!/usr/bin/env bash
# Installs the Debian packages a build needs, and only those that are missing, so a
# second run costs nothing. Groups: base (native build and tests), cli (the command-line
# tool), bench (sox and hyperfine for the tool's speed comparison), fuzz, win32 (cross
# build and Wine). The default build compiles the benchmarks, so base carries FFTW,
# KissFFT and Google Benchmark, the FFT's peers.
# Usage: scripts/install-deps.sh [group ...]   (default: base cli)
set -euo pipefail

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(base cli)

pkgs=()
for g in "${groups[@]}"; do
    case "$g" in
        base)  pkgs+=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
                      libfftw3-dev libkissfft-dev) ;;
        cli)   pkgs+=(libsndfile1-dev libcli11-dev libfmt-dev) ;;
        bench) pkgs+=(sox hyperfine) ;;
        fuzz)  pkgs+=(clang libclang-rt-14-dev valgrind) ;;
        win32) pkgs+=(g++-mingw-w64-i686-posix wine wine32:i386) ;;  # qemu-user-static: below
        *) echo "install-deps: unknown group '$g' (base, cli, bench, fuzz, win32)" >&2; exit 2 ;;
    esac
done

missing=()
for p in $(printf '%s\n' "${pkgs[@]}" | sort -u); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    echo "install-deps: installing ${missing[*]}" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# 32-bit Linux executables (Wine's 32-bit loader) run under qemu-user. Bookworm's qemu
# 7.2 walks its guest page table one page at a time on every mapping change, which makes
# each Wine process spend about two minutes of CPU starting up (a fresh prefix took 25
# minutes); qemu 8.1 and later keep those flags in an interval tree, and bookworm-backports
# carries one (a fresh prefix then takes about 20 s).
if printf '%s\n' "${groups[@]}" | grep -qx win32; then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    qemu=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
    if ! dpkg --compare-versions "${qemu:-0}" ge 1:8.1; then
        codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
        if ! grep -rqs "^[^#]*${codename}-backports" /etc/apt/sources.list /etc/apt/sources.list.d; then
            echo "deb http://deb.debian.org/debian ${codename}-backports main" |
                $sudo tee "/etc/apt/sources.list.d/${codename}-backports.list" >/dev/null
        fi
        echo "install-deps: installing qemu-user-static from ${codename}-backports" >&2
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
            -t "${codename}-backports" qemu-user-static >/dev/null
        # A registration with the F flag holds the binary it was made with: drop it so
        # that the new emulator is the one registered below.
        [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] ||
            echo -1 | $sudo tee /proc/sys/fs/binfmt_misc/qemu-i386 >/dev/null
    fi
    mountpoint -q /proc/sys/fs/binfmt_misc || $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            | $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null
    fi
fi
