#!/usr/bin/env bash
# Runs a command in a private network and mount namespace whose only interface is loopback, with
# host names of its own, loopback peers (peers.py) and a copy of a Wine prefix whose wineserver
# starts inside, so that Wine's sockets are made in the namespace too. Needs root.
#
#   in_netns.sh [options] -- COMMAND [ARGS...]
#
#   --prefix DIR        the Wine prefix to copy (default: $WINEPREFIX); its wineserver is let end
#                       first, and nothing of the copy runs before the namespace is entered
#   --host NAME=ADDR    a line of /etc/hosts (repeatable); ADDR in 127.0.0.0/8
#   --hold ADDR:PORT    a listener that accepts and holds (repeatable), see peers.py
#   --drop ADDR:PORT    a listener whose full queue drops every connect (repeatable)
#   --ftp ADDR:PORT     the scripted FTP server (repeatable)
#   --nameserver ADDR   /etc/resolv.conf's only server, where a DNS server that never answers
#                       listens (default 127.0.0.53): a name not in /etc/hosts is never answered
#   --resolver-timeout SECONDS
#                       resolv.conf's "options timeout:SECONDS attempts:1": a name not in
#                       /etc/hosts is given up after one query of that long (glibc caps it at 30);
#                       without it the resolver's own defaults apply
#   --drive L:SIZE      a tmpfs of SIZE (mount's size=, e.g. d:1536m) as Wine drive L: (lower
#                       case) of the copy
#   --syn-retries N     net.ipv4.tcp_syn_retries in the namespace (default 2: a dropped connect
#                       fails after about 7 s)
#   --deadline SECONDS  COMMAND is killed after this long (default 240); the peers stop 15 s later
#
# COMMAND runs with WINEPREFIX (the copy), WINEDEBUG=-all and WINEDLLOVERRIDES set, and
#   NETNS_EVENTS  the peers' events, one JSON object a line (see peers.py)
#   NETNS_DRIVE   the mount point of --drive
#   NETNS_WORK    a scratch folder, removed afterwards
# and its exit code is this script's. If the namespace cannot be made, the script fails (1).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "in_netns.sh: $*" >&2; exit 1; }

original=("$@")
prefix=${WINEPREFIX:-}
hosts=() peers=() drive='' syn_retries=2 deadline=240 nameserver=127.0.0.53 resolver_timeout=''
while [ $# -gt 0 ]; do
  case $1 in
    --prefix) prefix=$2; shift 2 ;;
    --host) hosts+=("$2"); shift 2 ;;
    --hold | --drop | --ftp) peers+=("$1" "$2"); shift 2 ;;
    --nameserver) nameserver=$2; shift 2 ;;
    --resolver-timeout) resolver_timeout=$2; shift 2 ;;
    --drive) drive=$2; shift 2 ;;
    --syn-retries) syn_retries=$2; shift 2 ;;
    --deadline) deadline=$2; shift 2 ;;
    --) shift; break ;;
    *) fail "unknown option $1" ;;
  esac
done
[ $# -gt 0 ] || fail "no command given"
[[ -z $resolver_timeout || $resolver_timeout =~ ^[1-9][0-9]?$ ]] ||
  fail "--resolver-timeout $resolver_timeout: not a count of seconds (1..99)"

if [ "${IN_NETNS_STAGE:-}" != inside ]; then
  # Outside: check that the namespace can be made, copy the prefix, enter with the same options.
  [ "$(id -u)" = 0 ] || fail "must run as root to make a network namespace; nothing was run"
  if ! error=$(unshare -m -n --propagation private true 2>&1); then
    fail "cannot make a private network and mount namespace (unshare -m -n: $error);" \
         "nothing was run"
  fi
  [ -n "$prefix" ] && [ -d "$prefix/dosdevices" ] || fail "no Wine prefix (--prefix or WINEPREFIX)"
  timeout 60 env WINEPREFIX="$prefix" wineserver -w || fail "the wineserver of $prefix did not end"
  NETNS_WORK=$(mktemp -d /tmp/travik-netns.XXXXXX)
  trap 'rm -rf "$NETNS_WORK"' EXIT
  cp -a "$prefix" "$NETNS_WORK/prefix"
  status=0
  # Mounts made inside are private: they never show outside the namespace.
  IN_NETNS_STAGE=inside NETNS_WORK=$NETNS_WORK unshare -m -n --propagation private -- \
    bash "$0" "${original[@]}" || status=$?
  exit $status
fi

# Inside. Nothing may leave: loopback must be the only interface.
[ "$(ip -o link show | wc -l)" = 1 ] && ip -o link show lo >/dev/null ||
  fail "the namespace has interfaces other than lo"
ip link set lo up
sysctl -qw net.ipv4.tcp_syn_retries="$syn_retries"

{
  echo "127.0.0.1 localhost $(hostname)"
  for entry in "${hosts[@]}"; do
    addr=${entry#*=}
    [[ $addr == 127.* ]] || fail "--host $entry: not a loopback address"
    echo "$addr ${entry%%=*}"
  done
} >"$NETNS_WORK/hosts"
[[ $nameserver == 127.* ]] || fail "--nameserver $nameserver: not a loopback address"
{
  echo "nameserver $nameserver"
  [ -z "$resolver_timeout" ] || echo "options timeout:$resolver_timeout attempts:1"
} >"$NETNS_WORK/resolv.conf"
# Names are looked up in those two files and nowhere else: no service of the host's (a caching
# daemon's or a resolver's socket file) that would ask outside the namespace.
{
  grep -v '^hosts:' /etc/nsswitch.conf 2>/dev/null || true
  echo "hosts: files dns"
} >"$NETNS_WORK/nsswitch.conf"
mount --bind "$NETNS_WORK/hosts" /etc/hosts
mount --bind "$NETNS_WORK/resolv.conf" /etc/resolv.conf
mount --bind "$NETNS_WORK/nsswitch.conf" /etc/nsswitch.conf
if [ -d /run/nscd ]; then mount -t tmpfs -o size=1m travik-netns-nscd /run/nscd; fi

# Abstract Unix sockets belong to the network namespace: inside, an X client reaches the display
# only through its socket file, which libxcb falls back to.
if [ -n "${DISPLAY:-}" ]; then
  number=${DISPLAY#*:} number=${number%%.*}
  if [[ $DISPLAY != :* && $DISPLAY != unix:* ]] || [ ! -S "/tmp/.X11-unix/X$number" ]; then
    echo "in_netns.sh: warning: the X display $DISPLAY cannot be reached in the namespace" \
         "(only a local display's socket /tmp/.X11-unix/X<n> can)" >&2
  fi
fi

export WINEPREFIX=$NETNS_WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export NETNS_WORK NETNS_EVENTS=$NETNS_WORK/events.jsonl NETNS_DRIVE=''
if [ -n "$drive" ]; then
  NETNS_DRIVE=$NETNS_WORK/drive-${drive%%:*}
  mkdir "$NETNS_DRIVE"
  mount -t tmpfs -o "size=${drive#*:}" travik-netns "$NETNS_DRIVE"
  ln -sfn "$NETNS_DRIVE" "$WINEPREFIX/dosdevices/${drive%%:*}:"
fi

: >"$NETNS_EVENTS"
exec {peers_out}< <(exec python3 "$here/peers.py" "${peers[@]}" --dns "$nameserver:53" \
                      --events "$NETNS_EVENTS" --deadline $((deadline + 15)))
peers_pid=$!
cleanup() {
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  kill "$peers_pid" 2>/dev/null || true
  wait "$peers_pid" 2>/dev/null || true
}
trap cleanup EXIT
read -r -t 15 -u "$peers_out" ready || true
[ "${ready:-}" = ready ] || fail "the peers did not start"

status=0
timeout -k 10 "$deadline" "$@" || status=$?
[ $status != 124 ] || echo "in_netns.sh: the command did not end within $deadline s" >&2
exit $status
