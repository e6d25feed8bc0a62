#!/usr/bin/env bash
# Runs ftp_bench against a local vsftpd on 127.0.0.1 started with the repository's
# tests/ftp/vsftpd.conf, and stops vsftpd afterwards.
#   bench/ftp_bench.sh [path/to/ftp_bench] [rounds]
# Defaults: build/native/bench/ftp_bench, 50 rounds. Needs the packages vsftpd and curl.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$root/build/native/bench/ftp_bench}
rounds=${2:-50}
command -v curl >/dev/null || { echo "curl is not installed"; exit 1; }
# TRAVIK_BENCH_USERLIST=1: vsftpd turns the user down at "USER" from its user list
# ("530 Permission denied."), before PAM, whose failed password check waits about 2 s
# (randomised) and so hides the clients' own time.
if [ "${TRAVIK_BENCH_USERLIST:-0}" = 1 ]; then
  list=$(mktemp /tmp/travik-userlist.XXXXXX)
  trap 'rm -f "$list"' EXIT
  echo qzvk >"$list"
  export TRAVIK_VSFTPD_OPTIONS="-ouserlist_enable=YES -ouserlist_deny=YES -ouserlist_file=$list"
fi
TRAVIK_VSFTPD_SECONDS=$((rounds * 15 + 60)) "$root/tests/ftp/with_vsftpd.sh" "$bench" "$rounds"
status=$?
exit $status
