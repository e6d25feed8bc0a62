#!/usr/bin/env bash
# The shipped travik.exe under Wine, in a private network namespace (in_netns.sh) where the
# product's own host names point at loopback peers, each name at an address of its own: once
# unattended with /json, once through its wizard (wizard_driver.exe). shipped_program.py runs both
# and checks what the program did against the table below and against this machine's figures.
#
#   shipped_program_test.sh TRAVIK_EXE WIZARD_DRIVER_EXE
#
# Needs root and a Wine prefix in WINEPREFIX (tools/test.sh makes one), and an X display for the
# wizard. Fails, never skips, when the namespace cannot be made.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# = 2 ] || { echo "usage: $0 TRAVIK_EXE WIZARD_DRIVER_EXE" >&2; exit 2; }

# The servers the product must reach, in probing order, written down here and not read from
# platform/endpoints.h: group, host name, port, and the address the name has in the namespace.
endpoints=(
  "broadcast difusor1.korvena.com.br 81 127.0.0.11"
  "broadcast difusor2.korvena.com.br 81 127.0.0.12"
  "international srv1.feed.korvena.com.br 7500 127.0.0.13"
  "international srv2.feed.korvena.com.br 7500 127.0.0.14"
  "international feed.korvena.com.br 80 127.0.0.15"
  "international www.feed.korvena.com.br 80 127.0.0.16"
  "ftp ftp.korvena.com.br 21 127.0.0.17"
)

# A tmpfs of 1578400 KiB: its free space reads "1,50GB" by the factor 9.31e-10, "1,51GB" by 2^-30.
# Both runs usually take 11 s together; the deadline, four times that, lies within the entry's
# TIMEOUT (tests/netns/CMakeLists.txt) with room for the namespace to be made and cleared.
options=(--drive d:1578400k --deadline 45)
for entry in "${endpoints[@]}"; do
  read -r group host port address <<<"$entry"
  options+=(--host "$host=$address")
  if [ "$group" = ftp ]; then
    options+=(--ftp "$address:$port")
  else
    options+=(--hold "$address:$port")
  fi
done

bash "$here/in_netns.sh" "${options[@]}" -- \
  python3 "$here/shipped_program.py" "$1" "$2" "${endpoints[@]}"
