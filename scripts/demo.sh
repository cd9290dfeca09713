#!/usr/bin/env bash
# The main job: builds the updater and updates a sample installation under
# Wine, on your display when there is one and under Xvfb otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

# Quiet while it works; the last lines of what it said when it fails.
mkdir -p build
log=build/demo-build.log
if ! { bash scripts/setup.sh && cmake --preset default && cmake --build --preset default; } >"$log" 2>&1; then
  tail -n 25 "$log" >&2
  echo "demo: setting up or building failed; the whole log is in $log" >&2
  exit 1
fi

# --gallery: every window in every language instead (scripts/gallery.py).
script=scripts/demo.py
if [ "${1:-}" = "--gallery" ]; then
  shift
  script=scripts/gallery.py
fi

if [ -n "${DISPLAY:-}" ]; then
  exec python3 "$script" "$@"
else
  exec xvfb-run -a -s '-screen 0 1024x768x24' python3 "$script" "$@"
fi
