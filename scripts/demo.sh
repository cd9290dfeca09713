#!/usr/bin/env bash
# The main job: builds the updater and updates a sample installation under
# Wine, on your display when there is one and under Xvfb otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

# Quiet while it works; the last lines of what it said when it fails.
mkdir -p build
log=build/demo-build.log
fail() {
  tail -n 25 "$log" >&2
  echo "demo: setting up or building failed; the whole log is in $log" >&2
  exit 1
}
{ bash scripts/setup.sh && cmake --preset default && cmake --build --preset default; } >"$log" 2>&1 || fail

# Where the kernel cannot execute 32-bit programs, Wine cannot start the PE32
# updater: the demonstration then shows the 64-bit check build of the same
# sources under wine64, and says so.
if ! python3 tests/harness/wine.py can-run-32bit; then
  echo "demo: NOTE: this machine cannot execute 32-bit programs; showing the 64-bit check build under wine64."
  { cmake --preset x64-check && cmake --build --preset x64-check; } >>"$log" 2>&1 || fail
  export ZENTREL_BUILD="$PWD/build-x64" ZENTREL_WINE=/usr/lib/wine/wine64
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
