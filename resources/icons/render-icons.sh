#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from varnelcd.svg (needs rsvg-convert,
# Debian librsvg2-bin). The PNGs are kept in the repository so that building needs no
# SVG renderer; run this after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" varnelcd.svg -o "varnelcd-$size.png"
done
