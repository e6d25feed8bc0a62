#!/usr/bin/env bash
# Builds TRAVIK and runs every test: the portable code natively under AddressSanitizer and
# UBSan, then everything built by MinGW-w64 under Wine on a virtual X display, in a Wine prefix
# of this run's own that is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

# The same portable code under ThreadSanitizer: the check run on its worker thread, the FTP
# client's connect worker.
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target check_tests core_tests
ctest --preset tsan -R '^(check_tests|core_tests)$'

cmake --preset mingw >/dev/null
cmake --build --preset mingw

WINEPREFIX=$(mktemp -d /tmp/travik-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
winecfg -v win10 >/dev/null 2>&1
# One virtual desktop for all windows: without a window manager, Wine otherwise waits about two
# seconds for the X server each time a window is hidden.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1280x1024 /f \
  >/dev/null 2>&1
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset mingw
