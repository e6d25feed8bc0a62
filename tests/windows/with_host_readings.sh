#!/usr/bin/env bash
# Runs a command (a Windows test program under Wine) with this machine's own reading of the space
# of each Wine drive, taken natively just before the command starts, for host_readings_test.cpp:
#
#   TRAVIK_STATVFS_<L>="AVAILABLE TOTAL"   statvfs of the folder that drive L: of WINEPREFIX maps
#                                          to, in bytes: f_bavail * f_frsize, f_blocks * f_frsize
#
#   with_host_readings.sh COMMAND [ARGS...]
#
# Without WINEPREFIX it makes a throw-away prefix (as tools/wine-exec.sh does) for the command.
set -eu
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
made_prefix=
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/travik-wine.XXXXXX)
  export WINEPREFIX
  made_prefix=1
  trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
  WINEDEBUG=-all timeout 120 wineboot -i >/dev/null 2>&1
fi
found=
for link in "$WINEPREFIX"/dosdevices/?:; do
  [ -e "$link" ] || continue
  letter=$(basename "$link")
  letter=${letter%:}
  # %a: blocks available to an unprivileged user, %b: all blocks, %S: their size (f_frsize).
  read -r available total size < <(stat -f -L -c '%a %b %S' "$link/")
  export "TRAVIK_STATVFS_${letter^^}=$((available * size)) $((total * size))"
  found=1
done
[ -n "$found" ] || { echo "$0: no drives in $WINEPREFIX/dosdevices" >&2; exit 1; }
if [ -n "$made_prefix" ]; then
  "$@"
else
  exec "$@"
fi
