#!/usr/bin/env bash
# Starts vsftpd from Debian (package "vsftpd") on a free port of 127.0.0.1 with the repository's
# tests/ftp/vsftpd.conf, runs the given command with TRAVIK_FTP_PORT set to that port, stops
# vsftpd and exits with the command's status.
#   tests/ftp/with_vsftpd.sh <command> [args...]
# TRAVIK_VSFTPD_OPTIONS may add vsftpd options ("-ooption=value ...").
# Exits 77 (CTest's SKIP_RETURN_CODE) when vsftpd is not installed or cannot be started.
# Every wait is bounded; vsftpd itself runs under `timeout`.
set -u
here=$(cd "$(dirname "$0")" && pwd)
vsftpd=$(command -v vsftpd || echo /usr/sbin/vsftpd)
if [ ! -x "$vsftpd" ]; then
  echo "vsftpd is not installed (apt-get install -y vsftpd): skipped"
  exit 77
fi
lifetime=${TRAVIK_VSFTPD_SECONDS:-300}
work=$(mktemp -d /tmp/travik-vsftpd.XXXXXX)
chroot_dir="$work/empty"
mkdir -p "$chroot_dir"
chmod 755 "$chroot_dir"
extra=()
if [ "$(id -u)" != 0 ]; then extra+=(-orun_as_launching_user=YES); fi
# More -o options for vsftpd, separated by blanks (the benchmark uses this).
read -r -a more <<<"${TRAVIK_VSFTPD_OPTIONS:-}"
extra+=("${more[@]}")
pid=
stop() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap stop EXIT

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

started=
for attempt in 1 2 3 4 5; do
  port=$((20000 + (RANDOM % 30000)))
  if port_open "$port"; then continue; fi
  timeout --kill-after=5 "$lifetime" "$vsftpd" "$here/vsftpd.conf" "-olisten_port=$port" \
    "-osecure_chroot_dir=$chroot_dir" "${extra[@]}" >"$work/log" 2>&1 &
  pid=$!
  for _ in $(seq 1 300); do  # up to 30 s
    if port_open "$port"; then started=1; break; fi
    if ! kill -0 "$pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  [ -n "$started" ] && break
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  pid=
done
if [ -z "$started" ]; then
  echo "vsftpd could not be started: skipped"
  cat "$work/log" 2>/dev/null
  exit 77
fi
export TRAVIK_FTP_PORT=$port
"$@"
status=$?
exit $status
