#!/usr/bin/env bash
# Renders the launcher icon's PNG sizes from tarvik.svg. The PNGs are committed,
# so this runs only after the drawing changes (needs rsvg-convert, librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" tarvik.svg -o "hicolor/${size}x${size}/apps/tarvik.png"
done
