#!/usr/bin/env bash
# Makes the colour-managed test pictures in the folder given: blocks of
# known numbers (blocks.png) tagged with the profiles of colord-data (ImageMagick embeds a
# profile without converting when the picture has none), and each tagged
# picture converted to sRGB by ImageMagick's Little CMS (name.bmp beside
# it), the reference the viewer's conversion is held against. Without the profiles or ImageMagick
# it makes nothing, and the tests that need the pictures say so.
set -euo pipefail
out="$1"
icc=/usr/share/color/icc/colord
rm -rf "$out" && mkdir -p "$out"
# Debian's ImageMagick, whatever else is called convert on the PATH.
convert=/usr/bin/convert
[ -x "$convert" ] || convert="$(command -v convert || true)"
[ -n "$convert" ] && [ -f "$icc/SwappedRedAndGreen.icc" ] || exit 0
cd "$out"
# The references are converted to the sRGB profile the colour system under
# test answers for sRGB where it can be found (a version 2 profile, whose
# perceptual conversion of a CMYK press profile differs from a version 4
# one's), else to colord's.
srgb="$icc/sRGB.icc"
system_srgb="${WINEPREFIX:-/nonexistent}/drive_c/windows/system32/spool/drivers/color/srgb color space profile.icm"
[ -f "$system_srgb" ] && srgb="$system_srgb"
"$convert" -size 16x16 xc:'rgb(220,40,30)' xc:'rgb(30,200,60)' xc:'rgb(40,60,210)' xc:'rgb(128,128,128)' \
    xc:'rgb(250,240,20)' +append blocks.png
for space in SwappedRedAndGreen AdobeRGB1998 ProPhotoRGB; do
    "$convert" blocks.png -quality 100 -profile "$icc/$space.icc" "$space.jpg"
    "$convert" blocks.png -profile "$icc/$space.icc" "$space.png"
done
# CMYK as print work writes it (Adobe's inverted numbers), plain and with
# ghostscript's CMYK profile embedded; the plain one's reference is the
# usual formula, the other's Little CMS's conversion through its profile.
"$convert" blocks.png -colorspace CMYK -quality 100 cmyk.jpg
"$convert" cmyk.jpg -colorspace sRGB -type TrueColor BMP3:cmyk.jpg.bmp
cmyk_profile=/usr/share/color/icc/ghostscript/default_cmyk.icc
if [ -f "$cmyk_profile" ]; then
    "$convert" blocks.png -profile "$icc/sRGB.icc" -profile "$cmyk_profile" -quality 100 cmyk-profiled.jpg
    "$convert" cmyk-profiled.jpg -profile "$srgb" -type TrueColor BMP3:cmyk-profiled.jpg.bmp
fi
# A TIFF that names its orientation (6: turned a quarter clockwise to view).
"$convert" blocks.png -orient RightTop oriented.tif
for tagged in SwappedRedAndGreen AdobeRGB1998 ProPhotoRGB; do
    for kind in jpg png; do
        "$convert" "$tagged.$kind" -profile "$srgb" -type TrueColor "BMP3:$tagged.$kind.bmp"
    done
done
