#!/usr/bin/env bash
# The loopback build's wizard closed while every name look-up of its run waits: in a private
# network namespace (in_netns.sh) whose resolver asks only a name server that never answers and
# gives a name up after one query of 30 s, every TCP endpoint is a name under .invalid that is
# not in /etc/hosts. wizard_driver.exe presses "COMEÇAR", waits until the log shows the first
# probe line and the name server has been asked for every name, posts WM_CLOSE and measures the
# time until the process has ended; closing_during_lookups.py checks it (see there).
#
#   closing_during_lookups_test.sh TRAVIK_LOOPBACK_EXE WIZARD_DRIVER_EXE
#
# Needs root, a Wine prefix in WINEPREFIX and an X display. Fails, never skips, when the
# namespace cannot be made.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# = 2 ] || { echo "usage: $0 TRAVIK_LOOPBACK_EXE WIZARD_DRIVER_EXE" >&2; exit 2; }

# The FTP probe gets its answer at once from the scripted server: only the look-ups wait. The
# command usually takes 6 s; its deadline, four times that, lies within the entry's TIMEOUT
# (tests/netns/CMakeLists.txt) with room for the namespace to be made and cleared.
bash "$here/in_netns.sh" --resolver-timeout 30 --ftp 127.0.0.1:2121 --deadline 25 -- \
  python3 "$here/closing_during_lookups.py" "$1" "$2" 2121
