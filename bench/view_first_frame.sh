#!/usr/bin/env bash
# How long headless Chromium takes to draw the first frame of a view page
# (WebGL on the software renderer), for simulated scans of about 100,000,
# 1,000,000 and 3,000,000 points: the page's own time from navigation to
# the first frame read back (data-first-frame-ms), and the whole browser run.
#   bench/view_first_frame.sh [build/release/bin] [output-folder]
set -euo pipefail
bin=${1:-build/release/bin}
out=${2:-$(mktemp -d)}
mkdir -p "$out"
chromium=$(command -v chromium || command -v chromium-browser)
printf '%10s %10s %12s %14s %12s\n' points page_MB write_ms first_frame_ms browser_ms
for frames in 28 271 811; do
  scan="$out/scan-$frames.ply" page="$out/view-$frames.html"
  "$bin/quaxscan" simulate --frames "$frames" --points 2000 --spacing 0.05 \
    --graysum -o "$scan" >/dev/null
  start=$(date +%s%N)
  "$bin/quaxscan" view "$scan" -o "$page" >/dev/null
  write_ms=$(( ($(date +%s%N) - start) / 1000000 ))
  rm -rf "$out/profile"
  start=$(date +%s%N)
  first=$(timeout 300 "$chromium" --headless --no-sandbox --enable-unsafe-swiftshader \
    --use-angle=swiftshader --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --disable-extensions --window-size=1280,800 \
    --user-data-dir="$out/profile" --dump-dom "file://$page" 2>/dev/null |
    grep -o 'data-first-frame-ms="[0-9]*"' | grep -o '[0-9]*' || echo none)
  browser_ms=$(( ($(date +%s%N) - start) / 1000000 ))
  points=$("$bin/quaxscan" info "$scan" | grep -o '[0-9]* points' | head -1 | grep -o '[0-9]*')
  printf '%10s %10.1f %12s %14s %12s\n' "$points" \
    "$(echo "$(stat -c %s "$page") / 1000000" | bc -l)" "$write_ms" "$first" "$browser_ms"
done
