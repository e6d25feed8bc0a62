#!/usr/bin/env bash
# Runs one Windows program under Wine for CTest. tools/test.sh gives the test run its own
# WINEPREFIX and display; run on its own, this makes a throw-away prefix.
set -eu
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/travik-wine.XXXXXX)
  export WINEPREFIX
  trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
  wineboot -i >/dev/null 2>&1
fi
wine "$@"
