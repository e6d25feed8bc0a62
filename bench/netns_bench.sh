#!/usr/bin/env bash
# The check run's probes side by side against the same probes one after another, in a private
# network namespace (tests/netns/in_netns.sh: only loopback, every packet and every DNS query stays
# on 127.0.0.0/8). Two cases, each both ways in the same namespace:
#   (a) six TCP endpoints and the FTP port on listeners that drop every connect
#       (tcp_syn_retries 2: a connect gives up after about 7 s; FTP's own connect time-out is 5 s);
#   (b) names that time out: the resolver asks only a name server that never answers and gives
#       a name up after one query of TRAVIK_BENCH_LOOKUP_TIMEOUT s (3).
# Side by side: the loopback build's unattended run (travik_loopback.exe /json: its duration_ms
# and the wall time of the process), and for (b) also the shipped travik.exe /json, whose seven
# product names are none in the namespace's /etc/hosts; the loopback build's FTP server is always
# 127.0.0.1, so in its run six names time out and the FTP probe is answered at once. One after
# another: bench/windows/sequential_probes.exe, the run's own probes over the same clients, each
# endpoint in turn.
# Prints a table against the goals: the run lasts one connect time-out plus at most 1 s; seven
# look-ups cost one look-up's wait plus at most 1 s. Figures only, never a test.
#
#   bench/netns_bench.sh            (root; rounds: TRAVIK_BENCH_NETNS_ROUNDS, 1..5, default 1)
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${TRAVIK_BENCH_NETNS_ROUNDS:-1}
lookup_timeout=${TRAVIK_BENCH_LOOKUP_TIMEOUT:-3}
[[ $rounds =~ ^[1-5]$ ]] || { echo "TRAVIK_BENCH_NETNS_ROUNDS must be 1..5" >&2; exit 1; }
[[ $lookup_timeout =~ ^[1-9]$ ]] || { echo "TRAVIK_BENCH_LOOKUP_TIMEOUT must be 1..9" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "needs root (a network namespace)" >&2; exit 1; }
missing=()
for tool in cmake ninja wine wineserver wineboot unshare python3 timeout; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
[ ${#missing[@]} = 0 ] || { echo "missing: ${missing[*]} (tools/install-deps.sh)" >&2; exit 1; }

echo "== build (mingw preset)"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j2 --target travik travik_loopback_program sequential_probes
build=$PWD/build/mingw

WINEPREFIX=$(mktemp -d /tmp/travik-netns-bench-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
echo "== Wine prefix $WINEPREFIX"
wineboot -i >/dev/null 2>&1
winecfg -v win10 >/dev/null 2>&1
wineserver -w

# (a)'s listeners: the TCP endpoints each on an address of their own, the FTP port on 127.0.0.1;
# (b)'s FTP server for the loopback build's run.
tcp=(127.0.0.21:81 127.0.0.22:81 127.0.0.23:7500 127.0.0.24:7500 127.0.0.25:80 127.0.0.26:80)
options=(--syn-retries 2 --resolver-timeout "$lookup_timeout" --deadline $((60 + rounds * 150))
         --drop 127.0.0.1:2121 --ftp 127.0.0.1:2122)
for endpoint in "${tcp[@]}"; do options+=(--drop "$endpoint"); done

echo "== in a private network namespace ($rounds round(s))"
bash tests/netns/in_netns.sh "${options[@]}" -- \
  python3 bench/netns_bench.py --rounds "$rounds" --lookup-timeout "$lookup_timeout" \
    --loopback "$build/tests/windows/travik_loopback.exe" --travik "$build/travik.exe" \
    --sequential "$build/bench/windows/sequential_probes.exe" --drop-ftp-port 2121 \
    --answering-ftp-port 2122 "${tcp[@]}"
