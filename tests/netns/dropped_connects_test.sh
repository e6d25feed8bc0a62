#!/usr/bin/env bash
# The loopback build's unattended run (/json) when every connect is dropped: in a private network
# namespace (in_netns.sh) with tcp_syn_retries 2, so that a dropped connect gives up after about
# 7 s, the six TCP endpoints and the FTP port are listeners whose full queues drop every connect
# (the FTP probe's own connect time-out is 5 s). dropped_connects.py checks the JSON (see there).
#
#   dropped_connects_test.sh TRAVIK_LOOPBACK_EXE
#
# Needs root and a Wine prefix in WINEPREFIX. Fails, never skips, when the namespace cannot be
# made.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# = 1 ] || { echo "usage: $0 TRAVIK_LOOPBACK_EXE" >&2; exit 2; }

# The TCP endpoints in probing order, each on an address of its own, and the FTP port (the
# loopback build's FTP server is on 127.0.0.1).
tcp=(127.0.0.21:81 127.0.0.22:81 127.0.0.23:7500 127.0.0.24:7500 127.0.0.25:80 127.0.0.26:80)
ftp_port=2121
# The command usually takes 14 s; its deadline, four times that, lies within the entry's TIMEOUT
# (tests/netns/CMakeLists.txt) with room for the namespace to be made and cleared.
options=(--syn-retries 2 --deadline 60 --drop "127.0.0.1:$ftp_port")
for endpoint in "${tcp[@]}"; do options+=(--drop "$endpoint"); done

bash "$here/in_netns.sh" "${options[@]}" -- \
  python3 "$here/dropped_connects.py" "$1" 2 "$ftp_port" "${tcp[@]}"
