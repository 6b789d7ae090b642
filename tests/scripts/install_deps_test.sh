#!/usr/bin/env bash
# The installer's decisions, without root and without the network: its apt and dpkg calls
# go to a stub that records them and fails on cue.
# Usage: tests/scripts/install_deps_test.sh [path to install-deps.sh]
set -uo pipefail
script=${1:-$(cd "$(dirname "$0")/../.." && pwd)/scripts/install-deps.sh}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One stub for apt-get, dpkg and dpkg-query, told apart by the name it is called by.
cat >"$work/stub" <<'STUB'
#!/usr/bin/env bash
me=$(basename "$0")
echo "$me $*" >>"$STUB_DIR/calls"
case "$me" in
    dpkg-query)
        for p in $STUB_MISSING; do [ "$p" = "${*: -1}" ] && exit 1; done
        echo "install ok installed" ;;
    dpkg)
        [ "$1" = --print-foreign-architectures ] && echo i386 ;;
    apt-get)
        cmd=""; waits=0
        for a in "$@"; do
            case "$a" in update|install) cmd=${cmd:-$a} ;; DPkg::Lock::Timeout=*) waits=1 ;; esac
        done
        # Another package manager holds a lock for the first STUB_LOCK_HELD calls: dpkg's,
        # which apt waits for when given a timeout, or with STUB_LOCK_KIND=lists one it
        # does not wait for.
        held=$(($(cat "$STUB_DIR/held" 2>/dev/null || echo 0) + 1)); echo "$held" >"$STUB_DIR/held"
        if [ "$held" -le "${STUB_LOCK_HELD:-0}" ]; then
            lock=/var/lib/dpkg/lock-frontend
            [ "${STUB_LOCK_KIND:-dpkg}" = lists ] && lock=/var/lib/apt/lists/lock
            if [ "$waits" -eq 1 ] && [ "$lock" != /var/lib/apt/lists/lock ]; then
                for s in 5 10; do echo "Waiting for cache lock: Could not get lock $lock. It is held by process 4242 (apt-get)... ${s}s" >&2; done
            else
                echo "E: Could not get lock $lock. It is held by process 4242 (apt-get)" >&2
                exit 100
            fi
        fi
        n=$(($(cat "$STUB_DIR/$cmd" 2>/dev/null || echo 0) + 1)); echo "$n" >"$STUB_DIR/$cmd"
        case "$cmd" in
            update)
                if [ "$STUB_UPDATE_FAILS" = all ] || [ "$n" -le "$STUB_UPDATE_FAILS" ]; then
                    echo "E: Failed to fetch http://archive.invalid/dists/x/main/binary-i386/Packages.xz  File has unexpected size (1 != 2)" >&2
                    exit 100
                fi ;;
            install)
                if [ "$n" -le "$STUB_INSTALL_FAILS" ]; then
                    echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages." >&2
                    exit 100
                fi ;;
        esac ;;
esac
exit 0
STUB
chmod +x "$work/stub"
for name in apt-get dpkg dpkg-query; do ln -s stub "$work/$name"; done
printf 'VERSION_CODENAME=testrel\n' >"$work/os-release"

passed=0 failed=0
# case: name | missing packages | update failures (a count or "all") | install failures |
#       expected exit (0 or "fail") | patterns the apt calls must show, in order ("-" none) |
#       pattern stderr must show ("-" none) | [calls a lock is held for | its kind (dpkg, lists)]
run_case() {
    local name=$1 missing=$2 update_fails=$3 install_fails=$4 want_exit=$5 want_calls=$6 want_err=$7
    local lock_held=${8:-0} lock_kind=${9:-dpkg}
    local dir="$work/$name" status=0 ok=1
    mkdir -p "$dir"
    STUB_DIR=$dir STUB_MISSING=$missing STUB_UPDATE_FAILS=$update_fails STUB_INSTALL_FAILS=$install_fails \
        STUB_LOCK_HELD=$lock_held STUB_LOCK_KIND=$lock_kind \
        APT_GET="$work/apt-get" DPKG="$work/dpkg" DPKG_QUERY="$work/dpkg-query" SUDO="" \
        OS_RELEASE="$work/os-release" APT_SOURCES="$dir" UPDATE_PAUSE=0 LOCK_PAUSE=0 \
        bash "$script" base >"$dir/out" 2>"$dir/err" || status=$?
    if [ "$want_exit" = 0 ]; then [ "$status" -eq 0 ] || ok=0; else [ "$status" -ne 0 ] || ok=0; fi
    # Every apt-get call waits for a lock another package manager holds.
    if grep '^apt-get ' "$dir/calls" 2>/dev/null | grep -qv -- '-o DPkg::Lock::Timeout=300 '; then ok=0; fi
    local apt_calls
    apt_calls=$(grep '^apt-get ' "$dir/calls" 2>/dev/null |
        sed 's/ -o DPkg::Lock::Timeout=300//; s/ -y -qq --no-install-recommends//' | tr '\n' ';')
    [[ "$apt_calls" =~ ^$want_calls$ ]] || ok=0
    # A lock held is told once, and only then.
    local told
    told=$(grep -c 'another package manager .* holds a lock' "$dir/err" || true)
    if [ "$lock_held" -gt 0 ]; then [ "$told" -eq 1 ] || ok=0; else [ "$told" -eq 0 ] || ok=0; fi
    # Every package of the group was looked up through DPKG_QUERY.
    local lookups
    lookups=$(grep -c '^dpkg-query ' "$dir/calls" 2>/dev/null || true)
    [ "${lookups:-0}" -eq 11 ] || ok=0
    if [ "$want_err" != - ]; then grep -qE "$want_err" "$dir/err" || ok=0; fi
    if [ "$ok" -eq 1 ]; then
        passed=$((passed + 1)); echo "ok: $name"
    else
        failed=$((failed + 1))
        echo "FAILED: $name (exit $status; apt calls: ${apt_calls:-none})"; sed 's/^/  stderr: /' "$dir/err"
    fi
}

U='apt-get update -qq;'
I='apt-get install cmake libfftw3-dev;'
T='apt-get install -t testrel cmake libfftw3-dev;'
run_case update-fails-once   "cmake libfftw3-dev" 1   0 0    "$U$U$I"       -
run_case update-always-fails "cmake libfftw3-dev" all 0 0    "$U$U$U$I"     'warning: .*Failed to fetch http://archive.invalid/.*binary-i386'
run_case install-needs-t     "cmake libfftw3-dev" 0   1 0    "$U$I$T"       'trying again .*-t testrel'
run_case install-fails-twice "cmake libfftw3-dev" 0   2 fail "$U$I$T"       'pkgProblemResolver::Resolve generated breaks'
run_case nothing-missing     ""                   0   0 0    ""             -
# apt waits for dpkg's lock itself; the lists' lock is tried again until it is free.
run_case dpkg-lock-held      "cmake libfftw3-dev" 0   0 0    "$U$I"         'another package manager \(process 4242, apt-get\) holds a lock; waiting up to 300 s' 2 dpkg
run_case lists-lock-held     "cmake libfftw3-dev" 0   0 0    "$U$U$U$U$U$I" 'waiting up to 300 s' 4 lists

# The corpus group installs exactly the packages the evaluation corpus names, so a
# recording added from another package cannot go missing on a fresh machine.
corpus_file=$(dirname "$script")/../bench/corpus/recordings.tsv
if [ -f "$corpus_file" ]; then
    dir="$work/corpus-group"; mkdir -p "$dir"
    STUB_DIR=$dir STUB_MISSING="" STUB_UPDATE_FAILS=0 STUB_INSTALL_FAILS=0 \
        APT_GET="$work/apt-get" DPKG="$work/dpkg" DPKG_QUERY="$work/dpkg-query" SUDO="" \
        OS_RELEASE="$work/os-release" APT_SOURCES="$dir" UPDATE_PAUSE=0 \
        bash "$script" corpus >"$dir/out" 2>"$dir/err"
    looked_up=$(grep '^dpkg-query ' "$dir/calls" | awk '{print $NF}' | sort -u | tr '\n' ' ')
    named=$(grep -v '^#' "$corpus_file" | tail -n +2 | cut -f1 | sort -u | tr '\n' ' ')
    if [ -n "$named" ] && [ "$looked_up" = "$named" ]; then
        passed=$((passed + 1)); echo "ok: corpus-group"
    else
        failed=$((failed + 1)); echo "FAILED: corpus-group installs '$looked_up', the corpus names '$named'"
    fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
