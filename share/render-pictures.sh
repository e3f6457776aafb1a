#!/usr/bin/env bash
# Renders the committed pictures from their drawings: the icon theme's PNG sizes from
# icons/corvale-backup.svg and the animated logo.gif from logo-frame.svg.in.
# Needs librsvg2-bin and imagemagick; run it after changing a drawing and commit the results.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w $size -h $size icons/corvale-backup.svg -o icons/corvale-backup-$size.png
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frames=()
i=0
for dy in 0 2 4 6 8; do
  glow='#8aa1ad'
  [ "$dy" = 8 ] && glow='#3cb371'
  sed -e "s/@DY@/$dy/" -e "s/@GLOW@/$glow/" logo-frame.svg.in > "$work/f$i.svg"
  rsvg-convert "$work/f$i.svg" -o "$work/f$i.png"
  frames+=("$work/f$i.png")
  i=$((i + 1))
done
# 0.2 s per frame, a longer rest on the last one, for ever.
/usr/bin/convert -loop 0 -delay 20 "${frames[@]:0:4}" -delay 120 "${frames[4]}" -layers Optimize logo.gif
