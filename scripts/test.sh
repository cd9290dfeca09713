#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests (Windows programs under
# Wine in a throwaway prefix), the binary checks and the end-to-end tests (the
# real updater against seeded installations, each class in a fresh prefix).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default
cmake --build --preset default

# The unit tests share one throwaway prefix; the end-to-end tests make their own.
prefix=$(python3 tests/harness/wine.py prefix build)
trap 'python3 tests/harness/wine.py close "$prefix"' EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Message boxes need a display; the tests bring their own.
xvfb-run -a -s '-screen 0 1024x768x24' ctest --preset default "$@"
