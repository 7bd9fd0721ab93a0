#!/usr/bin/env bash
# Renders the PNG sizes desktops still ask for from tq5802.svg (rsvg-convert, Debian
# librsvg2-bin). Run after changing the drawing and commit the PNGs with it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" -o "$here/tq5802-$size.png" "$here/tq5802.svg"
done
