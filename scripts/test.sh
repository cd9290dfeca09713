#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests (Windows programs under
# Wine in a throwaway prefix), the tool tests, the binary checks and the
# end-to-end tests (the real updater against seeded installations, each class
# in a fresh prefix). Extra arguments go to ctest (e.g. -L unit).
#
# On a machine whose kernel cannot execute 32-bit programs, Wine cannot start
# the PE32 updater or any 32-bit test program. There the updater is still
# built and its file checked, and the tests run against the 64-bit check build
# of the same sources under wine64; what only the 32-bit program can show is
# reported as skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${ZENTREL_TEST_DISPLAY:-}" ]; then
  bash scripts/setup.sh
  cmake --preset default
  cmake --build --preset default
  if ! python3 tools/wine_prefix.py can-run-32bit; then
    echo "test: NOTE: this machine cannot execute 32-bit programs (its kernel's IA-32 emulation is off)."
    echo "test: the PE32 updater cannot run here; the tests run against the 64-bit check build under wine64."
    cmake --preset x64-check
    cmake --build --preset x64-check
  fi
  # Windows need a display: everything below runs on a virtual one.
  export ZENTREL_TEST_DISPLAY=1
  exec xvfb-run -a -s '-screen 0 1024x768x24' bash "$0" "$@"
fi

run_suite() { # BUILD_DIR PRESET [ctest arguments]
  local build=$1 preset=$2
  shift 2
  # The unit tests share one throwaway prefix; the other tests make their own.
  local prefix
  prefix=$(python3 tools/wine_prefix.py prefix "$build")
  trap 'python3 tools/wine_prefix.py close "'"$prefix"'"' EXIT
  WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" ctest --preset "$preset" "$@"
}

if python3 tools/wine_prefix.py can-run-32bit; then
  run_suite build default "$@"
else
  # The PE32 file itself is checked without running it.
  ctest --preset default -R '^updater_binary$'
  export ZENTREL_WINE=/usr/lib/wine/wine64
  run_suite build-x64 x64-check "$@"
fi
