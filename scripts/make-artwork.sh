#!/bin/bash
# Draws the plug-in's artwork with ImageMagick and writes it to ui/art/:
#   banner.bmp    385 x 55, 24 bits: the strip across the top of every dialog
#   bullet.bmp    15 x 19, 24 bits: a small bell mark
#   sonabell.ico  one 48 x 48 icon, 24 bits: the dialogs' big icon
#   play.ico      one 16 x 16 icon: the panel's play button
# The results are committed, so the build needs no ImageMagick; run this
# again only when the artwork changes.
set -euo pipefail

# Call the real ImageMagick: another convert may come first on PATH.
CONVERT=${CONVERT:-/usr/bin/convert}
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/ui/art
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# The bell: a dome over a rim, a clapper beneath and a knob on top, drawn in
# a 100 x 100 box so it scales to every size below.
bell() { # fill colour, stroke colour
    echo "fill '$1' stroke '$2' stroke-width 3
          path 'M 50,12 C 28,12 24,34 24,52 C 24,66 18,72 12,78 L 88,78 C 82,72 76,66 76,52 C 76,34 72,12 50,12 Z'
          circle 50,9 50,3
          circle 50,86 50,80
          fill none stroke '$2' stroke-width 2
          path 'M 36,30 C 34,38 33,46 33,56'"
}

# Banner: a deep blue to teal gradient, the bell with sound waves, the name
# and a line that says what the product is.
"$CONVERT" -size 55x385 gradient:'#0b1f4d'-'#138a9e' -rotate -90 "$work/bg.png"
"$CONVERT" -size 100x100 xc:none -draw "$(bell '#ffd34d' '#8a5a00')" "$work/bell.png"
"$CONVERT" "$work/bg.png" \
    \( "$work/bell.png" -resize 44x44 \) -geometry +10+5 -composite \
    -fill none -stroke '#ffd34d' -strokewidth 2 \
    -draw "arc 44,12 64,42 -60,60" -draw "arc 48,6 74,48 -60,60" \
    -stroke none -fill '#00000055' -font DejaVu-Sans-Bold -pointsize 30 \
    -annotate +88+36 'Sonabell' \
    -fill white -annotate +86+34 'Sonabell' \
    -fill '#cfeff5' -font DejaVu-Sans -pointsize 11 \
    -annotate +89+49 'sounds for your chats' \
    -fill '#ffffff40' -draw "rectangle 250,0 251,55" \
    -fill '#e8f7fa' -font DejaVu-Sans-Oblique -pointsize 10 \
    -annotate +262+22 'Send a sound' -annotate +262+36 'with /xSB and a word' \
    -alpha off -type TrueColor BMP3:"$out/banner.bmp"

# The small mark: the bell alone on white.
"$CONVERT" -size 15x19 xc:white \( "$work/bell.png" -resize 15x15 \) -geometry +0+2 -composite \
    -alpha off -type TrueColor BMP3:"$out/bullet.bmp"

# Icons: the bell on a rounded blue tile. ImageMagick writes an icon image
# with the depth of its input, so the 48 x 48 one goes in without alpha.
icon() { # size, output
    local size=$1 radius=$(($1 / 6))
    "$CONVERT" -size "${size}x${size}" xc:'#d4d0c8' \
        \( -size "${size}x${size}" gradient:'#1f5fbf'-'#0b1f4d' \
           \( -size "${size}x${size}" xc:black -fill white \
              -draw "roundrectangle 0,0 $((size - 1)),$((size - 1)) $radius,$radius" \) \
           -alpha off -compose CopyOpacity -composite \) -compose Over -composite \
        \( "$work/bell.png" -resize "$((size * 3 / 4))x$((size * 3 / 4))" \) \
        -gravity center -composite -alpha off -type TrueColor "$work/icon$size.bmp"
    ico24 "$work/icon$size.bmp" "$2"
}

# ImageMagick writes icon images with 32 bits; the plug-in's icons have 24
# bits and an empty mask, so wrap the 24-bit bitmap in an icon file here.
ico24() { # bitmap, output
    python3 - "$1" "$2" <<'PY'
import struct, sys
bmp = open(sys.argv[1], "rb").read()
offset = struct.unpack_from("<I", bmp, 10)[0]
width, height = struct.unpack_from("<ii", bmp, 18)
pixels = bmp[offset:offset + ((width * 3 + 3) & ~3) * height]
mask = bytes(((width + 31) // 32 * 4) * height)  # every pixel opaque
header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 24, 0,
                     len(pixels) + len(mask), 0, 0, 0, 0)
image = header + pixels + mask
with open(sys.argv[2], "wb") as out:
    out.write(struct.pack("<HHH", 0, 1, 1))
    out.write(struct.pack("<BBBBHHII", width, height, 0, 0, 1, 24, len(image), 22))
    out.write(image)
PY
}

icon 48 "$out/sonabell.ico"
icon 16 "$out/play.ico"

echo "artwork written to $out"
