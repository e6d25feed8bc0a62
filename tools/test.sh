#!/usr/bin/env bash
# Builds TRAVIK and runs every test: the portable code natively under AddressSanitizer and
# UBSan, then everything built by MinGW-w64 under Wine on a virtual X display, in a Wine prefix
# of this run's own that is removed afterwards. Every step that waits is bounded: each CTest entry
# by its TIMEOUT (tests/*/CMakeLists.txt; --timeout is for an entry registered without one), the
# Wine prefix's set-up by `timeout`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native --timeout 300

# The same portable code under ThreadSanitizer: the check run on its worker thread, the FTP
# client's connect worker.
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target check_tests core_tests
ctest --preset tsan --timeout 300 -R '^(check_tests|core_tests)$'

cmake --preset mingw >/dev/null
cmake --build --preset mingw

WINEPREFIX=$(mktemp -d /tmp/travik-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# A prefix is made in about 10 s, a setting in about 1 s.
bounded() {
  local limit=$1
  shift
  timeout -k 5 "$limit" "$@" >/dev/null 2>&1 || {
    echo "tools/test.sh: '$*' failed or did not end within $limit s" >&2
    exit 1
  }
}
bounded 120 wineboot -i
bounded 30 winecfg -v win10
# One virtual desktop for all windows: without a window manager, Wine otherwise waits about two
# seconds for the X server each time a window is hidden.
bounded 30 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f
bounded 30 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ \
  /d 1280x1024 /f
# The set-up's own Wine processes (its desktop among them, made without a display) end first: a
# window program that started while they lived would find no display driver.
bounded 60 wineserver -w
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset mingw --timeout 300
