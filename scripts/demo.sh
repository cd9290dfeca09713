#!/usr/bin/env bash
# The main job: builds the updater and updates a sample installation under
# Wine, on your display when there is one and under Xvfb otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >/dev/null
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null

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
