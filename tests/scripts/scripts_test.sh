#!/usr/bin/env bash
# The set-up scripts on this host: the flavour choice for hosts with and
# without 32-bit support, and a bootstrap step that fails says so and stops.
set -u
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
passed=0
failed=0
check() {  # check NAME STATUS-WANTED OUTPUT-PATTERN -- command...
    local name="$1" want="$2" pattern="$3"
    shift 4
    local output status
    output="$("$@" 2>&1)"
    status=$?
    if { [ "$want" = 0 ] && [ "$status" = 0 ]; } || { [ "$want" != 0 ] && [ "$status" != 0 ]; }; then
        if printf '%s\n' "$output" | grep -q -- "$pattern"; then
            passed=$((passed + 1))
            return
        fi
    fi
    failed=$((failed + 1))
    echo "FAILED: $name (status $status)"
    printf '%s\n' "$output" | tail -n 5
}
choice() { bash -c '. "$0/scripts/flavours" && choose_flavours && echo "${piltrin_flavours[*]}: $piltrin_flavour_reason"' "$root"; }

check "a host without 32-bit support tests the 64-bit build only" 0 \
    "^x86_64: this machine cannot run 32-bit programs: testing the 64-bit build only$" -- \
    env PILTRIN_HOST_RUNS_32BIT=0 PILTRIN_FLAVOURS= bash -c "$(declare -f choice); root='$root' choice"
check "a host with 32-bit support tests both" 0 "^i686 x86_64: this machine runs 32-bit and 64-bit programs" -- \
    env PILTRIN_HOST_RUNS_32BIT=1 PILTRIN_FLAVOURS= bash -c "$(declare -f choice); root='$root' choice"
check "asking for i686 where it cannot run fails" 1 "cannot run 32-bit programs" -- \
    env PILTRIN_HOST_RUNS_32BIT=0 PILTRIN_FLAVOURS=i686 bash -c "$(declare -f choice); root='$root' choice"
check "a build for packaging takes i686 where it cannot run" 0 "^i686 x86_64: PILTRIN_FLAVOURS" -- \
    env PILTRIN_HOST_RUNS_32BIT=0 PILTRIN_FLAVOURS="i686 x86_64" PILTRIN_BUILD_ONLY=1 \
    bash -c "$(declare -f choice); root='$root' choice"
check "an unknown flavour fails" 1 "unknown flavour 'arm64'" -- \
    env PILTRIN_FLAVOURS=arm64 bash -c "$(declare -f choice); root='$root' choice"
check "the probe agrees with the 32-bit loader" 0 "." -- \
    bash -c '. "$0/scripts/flavours"; host_runs_32bit; probe=$?; if [ -x /lib/ld-linux.so.2 ]; then /lib/ld-linux.so.2 --help >/dev/null 2>&1; loader=$?; [ $((probe == 0)) = $((loader == 0)) ] || exit 1; fi; echo ok' "$root"
check "wine-env refuses an unknown flavour" 1 "unknown flavour" -- \
    bash -c '. "$0/scripts/wine-env" sparc' "$root"
# Wine's server folder goes to memory only where programs may run from it
# (Wine maps from there) and a large picture's section fits; else Wine's own.
check "wine-env puts the server folder only on roomy memory that runs programs" 0 "^ok$" -- \
    bash -c 'unset TMPDIR; . "$0/scripts/wine-env" x86_64 2>/dev/null || exit 1
        [ -z "${TMPDIR:-}" ] && { echo ok; exit; }
        [ "$(stat -f -c %T "$TMPDIR")" = tmpfs ] || exit 1
        awk -v d="$TMPDIR" '"'"'$2 == d && $4 ~ /(^|,)noexec(,|$)/ {bad = 1} END {exit bad}'"'"' /proc/mounts || exit 1
        [ "$(df -Pk "$TMPDIR" | awk "NR == 2 {print \$4}")" -ge 2097152 ] && echo ok' "$root"
check "wine-env leaves the server folder to Wine when asked" 0 "^unset$" -- \
    env PILTRIN_WINE_SERVER_ON_DISK=1 bash -c 'unset TMPDIR; . "$0/scripts/wine-env" x86_64 2>/dev/null || exit 1
        echo "${TMPDIR:-unset}"' "$root"
# A package that does not exist: the install step says what failed and stops.
check "a failed package install stops the bootstrap with its reason" 1 \
    "bootstrap: could not install the packages: .*piltrin-no-such-package" -- \
    env PILTRIN_EXTRA_PACKAGES=piltrin-no-such-package "$root/scripts/bootstrap" x86_64
# The fuzz script names its targets before it installs or builds anything.
check "scripts/fuzz refuses an unknown target and names the real ones" 1 "no target 'jpeg'; the targets are: bmp" -- \
    "$root/scripts/fuzz" jpeg 1

echo "scripts: $passed passed, $failed failed"
[ "$failed" = 0 ]
