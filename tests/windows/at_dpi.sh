#!/usr/bin/env bash
# Runs a Windows program under Wine with the system's DPI at $1, as on a monitor at that scale
# (HKCU\Control Panel\Desktop\LogPixels, read by each process as it starts), and tells the
# program the DPI to expect (TRAVIK_EXPECTED_DPI). Runs in the test run's prefix and puts the
# setting back at the end; run on its own, it makes a throw-away prefix as tools/wine-exec.sh does.
# The program is given 30 s, so that the setting is put back before the entry's TIMEOUT (40 s,
# tests/windows/CMakeLists.txt) ends the script.
set -u
dpi=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
key='HKCU\Control Panel\Desktop'
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/travik-wine.XXXXXX)
  export WINEPREFIX
  trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
  timeout 120 wineboot -i >/dev/null 2>&1
else
  previous=$(timeout 10 wine reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' |
             awk '$1 == "LogPixels" { print $3 }')
  restore() {
    if [ -n "$previous" ]; then
      timeout 5 wine reg add "$key" /v LogPixels /t REG_DWORD /d "$((previous))" /f >/dev/null 2>&1
    else
      timeout 5 wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1
    fi
  }
  trap restore EXIT
fi
timeout 10 wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
status=0
TRAVIK_EXPECTED_DPI=$dpi timeout -k 2 30 wine "$@" || status=$?
[ $status != 124 ] || echo "at_dpi.sh: $1 did not end within 30 s" >&2
exit $status
