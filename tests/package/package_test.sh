#!/usr/bin/env bash
# Makes the packages from the current builds (first argument: the folder
# holding build/i686 and build/x86_64; second, optional: win32 or win64 to
# check only that zip), unpacks each into the drive of a fresh Wine
# prefix, starts the program from there with a PNG picture (which only the
# packaged plug-in reads) and checks that the picture is on screen. Runs on the
# display that ctest's caller provides. The win32 zip is started only where
# the machine runs 32-bit programs; elsewhere its files are checked.
set -euo pipefail
# A step that fails without a word of its own still says where.
trap 'echo "package test: the step at line $LINENO failed" >&2' ERR
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
builds="${1:-$root/build}"
only="${2:-}"
. "$root/scripts/flavours"
runs32=0
host_can_run_32bit && runs32=1
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver32
work="$(mktemp -d)"
# The prefixes are linked copies of the prepared one, so they must lie on
# its file system; the temporary folder may be another one (memory).
linked="$(mktemp -d "$root/.deps/package-test.XXXXXX")"
prefixes=()
viewer=""
cleanup() {
    [ -n "$viewer" ] && kill "$viewer" 2>/dev/null || true
    for p in "${prefixes[@]}"; do WINEPREFIX="$p" "$wineserver" -k 2>/dev/null || true; done
    rm -rf "$work" "$linked"
}
trap cleanup EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

PILTRIN_NO_BUILD=1 PILTRIN_BUILD_DIR="$builds/i686" PILTRIN_BUILD_DIR64="$builds/x86_64" PILTRIN_DIST_DIR="$work/dist" \
    "$root/scripts/package"
convert -size 64x48 xc:'#ff0000' "$work/red.png"

checked=0
for zip in "$work"/dist/piltrin-*-win*.zip; do
    flavour="${zip##*-}"
    flavour="${flavour%.zip}"
    [ -n "$only" ] && [ "$flavour" != "$only" ] && continue
    folder="$(basename "$zip" .zip)"
    plugin=ifwic.spi
    helper=piltrin-plugins32.exe
    [ "$flavour" = win64 ] && plugin=ifwic.sph && helper=piltrin-plugins64.exe
    unpacked="$work/unpacked-$flavour"
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$unpacked"
    for f in piltrin.exe "$plugin" "$helper" Piltrin.bmp Help/index.htm README.txt licenses/libjpeg-turbo-README.ijg.txt; do
        [ -f "$unpacked/$folder/$f" ] || { echo "package test: $folder/$f is missing" >&2; exit 1; }
    done
    loader=/usr/lib/wine/wine
    export WINEARCH=win32
    if [ "$flavour" = win64 ]; then
        loader=/usr/lib/wine/wine64
        export WINEARCH=win64
    elif [ "$runs32" != 1 ]; then
        echo "package test: this machine cannot run 32-bit programs; $zip is checked but not started"
        checked=$((checked + 1))
        continue
    fi
    [ -x "$loader" ] || { echo "package test: $loader is missing; run scripts/bootstrap" >&2; exit 1; }
    export WINEPREFIX="$linked/prefix-$flavour"
    prefixes+=("$WINEPREFIX")
    # A copy of the project's prepared prefix, never used by the program: as
    # a user's new prefix, but without the half minute wineboot takes.
    # Its files are linked, not copied; the registry files, which Wine
    # rewrites, are real copies, so the prepared prefix stays as it was.
    # Tests running beside this one make and remove files in the prefix's
    # Temp folder meanwhile: one that vanishes under cp is no loss, so the
    # copy is judged by the files a prefix needs.
    [ -f "$root/.deps/wine-$WINEARCH/system.reg" ] ||
        { echo "package test: no prepared $WINEARCH prefix; run scripts/bootstrap" >&2; exit 1; }
    cp -al "$root/.deps/wine-$WINEARCH" "$WINEPREFIX" 2>/dev/null || true
    for needed in system.reg user.reg drive_c/windows/system32; do
        [ -e "$WINEPREFIX/$needed" ] ||
            { echo "package test: the copy of the $WINEARCH prefix lacks $needed" >&2; exit 1; }
    done
    for reg in "$WINEPREFIX"/*.reg; do cp --remove-destination "$root/.deps/wine-$WINEARCH/${reg##*/}" "$reg"; done
    drive="$WINEPREFIX/drive_c"
    mv "$unpacked/$folder" "$drive/"
    mkdir -p "$drive/pictures"
    cp "$work/red.png" "$drive/pictures/red.png"

    (cd "$drive/$folder" && exec "$loader" piltrin.exe 'C:\pictures\red.png' </dev/null >/dev/null 2>&1) &
    viewer=$!
    window=""
    for _ in $(seq 1 150); do
        # The walk of the window tree fails when a window of a test running
        # beside this one goes away during it: that is one more try, not the
        # end of this test.
        window="$(xwininfo -root -tree 2>/dev/null | awk '/"red\.png"/ {print $1; exit}')" || window=""
        [ -n "$window" ] && break
        sleep 0.2
    done
    [ -n "$window" ] || { echo "package test: $folder/piltrin.exe showed no window" >&2; exit 1; }
    sleep 1.5
    import -window "$window" "$work/shot.png"
    centre="$(convert "$work/shot.png" -gravity center -crop 1x1+0+0 +repage -format '%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]' info:)"
    [ "$centre" = "255,0,0" ] || { echo "package test: $folder shows $centre at the centre, not the red picture" >&2; exit 1; }
    echo "package test: $folder started from its own folder and shows the picture"
    kill "$viewer" 2>/dev/null || true
    wait "$viewer" 2>/dev/null || true
    viewer=""
    "$wineserver" -k 2>/dev/null || true
    checked=$((checked + 1))
done
if [ "$checked" = 0 ] && [ "$only" = win32 ] && [ "$runs32" != 1 ]; then
    echo "package test: this machine cannot run 32-bit programs; the win32 zip is not started here"
    exit 0
fi
[ "$checked" -gt 0 ]
