#!/bin/bash
# Makes AppIcon.icns, the application's icon in the Finder and the Dock: the window's icon
# (ui/WindowIcon.png, whose ImageMagick recipe is in ui/CMakeLists.txt) drawn again at 1024 pixels
# with the same recipe scaled, then made smaller, for every size macOS asks for up to 512 points
# at twice the pixels (1024). ImageMagick and the DejaVu fonts (Debian packages imagemagick and
# fonts-dejavu-core) are all it needs: the icns container is written here.
#
#   packaging/macos/make-icns.sh [OUTPUT.icns]   (default: packaging/macos/AppIcon.icns)
#
# The container: "icns" and the file's length, then for each image its type, its length with this
# eight-byte header, and the image as PNG; all lengths are 32-bit big-endian.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
output=${1:-$here/AppIcon.icns}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -size 1024x1024 xc:none \( -size 960x960 gradient:'#3d74bd'-'#1d3f73' \) -geometry +32+32 \
  -compose over -composite \( -size 1024x1024 xc:none -fill white \
  -draw 'roundrectangle 32,32 991,991 208,208' \) -compose DstIn -composite -compose over -fill white \
  -font DejaVu-Sans-Bold -pointsize 448 -gravity center -annotate +0+56 'Ru' -fill '#f5c542' \
  -draw 'polygon 784,136 816,232 912,264 816,296 784,392 752,296 656,264 752,232' \
  -depth 8 -strip "png32:$work/1024.png"

be32() {  # a number as four big-endian bytes
  printf "\\$(printf %03o $((($1 >> 24) & 255)))\\$(printf %03o $((($1 >> 16) & 255)))"
  printf "\\$(printf %03o $((($1 >> 8) & 255)))\\$(printf %03o $(($1 & 255)))"
}

# Type and pixels: 16, 32, 128, 256 and 512 points, each at one and at two pixels a point.
entries=(icp4:16 ic11:32 icp5:32 ic12:64 ic07:128 ic13:256 ic08:256 ic14:512 ic09:512 ic10:1024)
: >"$work/body"
for entry in "${entries[@]}"; do
  type=${entry%%:*} size=${entry##*:}
  png=$work/$size.png
  [[ -f $png ]] || convert "$work/1024.png" -resize "${size}x${size}" -depth 8 -strip "png32:$png"
  { printf '%s' "$type"; be32 $(($(wc -c <"$png") + 8)); cat "$png"; } >>"$work/body"
done
{ printf 'icns'; be32 $(($(wc -c <"$work/body") + 8)); cat "$work/body"; } >"$output"
echo "$output: ${#entries[@]} images, $(wc -c <"$output") bytes"
