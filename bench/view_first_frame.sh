#!/usr/bin/env bash
# How long headless Chromium takes to draw the first frame of a view page
# (WebGL on the software renderer), for simulated scans of about 100,000,
# 1,000,000 and 3,000,000 points: the page's own times from navigation
# (data-timings: its script started, the blocks decoded, the first frame read
# back, and, where the first frame was thinned, every point drawn) and the
# whole browser run.
#   bench/view_first_frame.sh [build/release/bin] [output-folder]
set -euo pipefail
bin=${1:-build/release/bin}
out=${2:-$(mktemp -d)}
mkdir -p "$out"
chromium=$(command -v chromium || command -v chromium-browser)
printf '%10s %8s %9s %10s %11s %14s %11s %11s\n' points page_MB write_ms script_ms \
  decoded_ms first_frame_ms refined_ms browser_ms
mark() {  # a mark of the page's data-timings in whole milliseconds, or "-"
  local v
  v=$(echo "$timings" | grep -o "\"$1\":[0-9.]*" | cut -d: -f2 || true)
  if [ -n "$v" ]; then printf '%.0f' "$v"; else echo -; fi
}
for frames in 28 271 811; do
  scan="$out/scan-$frames.ply" page="$out/view-$frames.html"
  "$bin/quaxscan" simulate --frames "$frames" --points 2000 --spacing 0.05 \
    --graysum -o "$scan" >/dev/null
  start=$(date +%s%N)
  "$bin/quaxscan" view "$scan" -o "$page" >/dev/null
  write_ms=$(( ($(date +%s%N) - start) / 1000000 ))
  rm -rf "$out/profile"
  start=$(date +%s%N)
  timings=$(timeout 300 "$chromium" --headless --no-sandbox --enable-unsafe-swiftshader \
    --use-angle=swiftshader --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --disable-extensions --window-size=1280,800 \
    --user-data-dir="$out/profile" --dump-dom "file://$page" 2>/dev/null |
    grep -o 'data-timings="[^"]*"' | sed 's/&quot;/"/g' || true)
  browser_ms=$(( ($(date +%s%N) - start) / 1000000 ))
  points=$("$bin/quaxscan" info "$scan" | grep -o '[0-9]* points' | head -1 | grep -o '[0-9]*')
  printf '%10s %8.1f %9s %10s %11s %14s %11s %11s\n' "$points" \
    "$(echo "$(stat -c %s "$page") / 1000000" | bc -l)" "$write_ms" "$(mark scriptMs)" \
    "$(mark decodedMs)" "$(mark drawnMs)" "$(mark refinedMs)" "$browser_ms"
done
