#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests (Windows programs under
# Wine in a throwaway prefix), the tool tests, the binary checks and the
# end-to-end tests (the real updater against seeded installations, each class
# in a fresh prefix). Extra arguments go to ctest (e.g. -L unit).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${ZENTREL_TEST_DISPLAY:-}" ]; then
  bash scripts/setup.sh
  cmake --preset default
  cmake --build --preset default
  # Windows need a display: everything below runs on a virtual one.
  export ZENTREL_TEST_DISPLAY=1
  exec xvfb-run -a -s '-screen 0 1024x768x24' bash "$0" "$@"
fi

# The unit tests share one throwaway prefix; the other tests make their own.
prefix=$(python3 tests/harness/wine.py prefix build)
trap 'python3 tests/harness/wine.py close "$prefix"' EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

ctest --preset default "$@"
