#!/usr/bin/env bash
# Builds travik.exe and starts it: under Wine on Linux, directly where Windows runs this script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target travik
exe=build/mingw/travik.exe
echo "Built $exe ($(stat -c %s "$exe") bytes)."

if [ -z "${DISPLAY:-}" ]; then
  echo "There is no display to show the window on (DISPLAY is not set)."
  echo "Start it on a virtual display instead:  xvfb-run -a bash tools/run.sh"
  exit 1
fi
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-travik} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
if [ ! -d "$WINEPREFIX" ]; then
  wineboot -i >/dev/null 2>&1
  winecfg -v win10 >/dev/null 2>&1
fi
exec wine "$exe"
