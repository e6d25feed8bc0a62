#!/usr/bin/env bash
# Runs a Windows program under Wine with the system's DPI at $1, as on a monitor at that scale
# (HKCU\Control Panel\Desktop\LogPixels, read by each process as it starts), and tells the
# program the DPI to expect (TRAVIK_EXPECTED_DPI). Runs in the test run's prefix and puts the
# setting back at the end; run on its own, it makes a throw-away prefix as tools/wine-exec.sh does.
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
  wineboot -i >/dev/null 2>&1
else
  previous=$(wine reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' |
             awk '$1 == "LogPixels" { print $3 }')
  restore() {
    if [ -n "$previous" ]; then
      wine reg add "$key" /v LogPixels /t REG_DWORD /d "$((previous))" /f >/dev/null 2>&1
    else
      wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1
    fi
  }
  trap restore EXIT
fi
wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
TRAVIK_EXPECTED_DPI=$dpi wine "$@"
