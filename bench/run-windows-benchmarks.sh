#!/usr/bin/env bash
# Builds the Windows benchmarks with the mingw preset and runs them under Wine, in a Wine prefix
# of this run's own (removed afterwards) and on a virtual X display when none is set:
#   1. start-up   travik.exe against a minimal Win32 window program (launched alternately)
#   2. check-run  the window's whole check run on loopback (click to "Próximo") against the same
#                 network work done bare, and what one TCP probe costs in it
#   3. respond    how long the window takes to answer WM_NULL: idle, while the FTP probe waits
#                 on a silent server, and during runs of TCP probes
#   4. export     RichLog::SaveToFile against writing the same bytes with WriteFile
#   5. unattended the loopback build's "/json" run, process start to exit, against its wizard's
#                 start, check run ("COMEÇAR" until "Próximo" is enabled) and close
#   6. csv        50 writers of one CSV table let go at once (the append alone: the slowest
#                 writer's wait for the lock, the batch), and 50 loopback-build "/csv" runs
#                 started at once, against 50 writing a file each
# Figures only: nothing here passes or fails on a time. Every network connection stays on
# 127.0.0.1: the check runs are the benchmarks' own windows on loopback endpoints and the
# loopback build's (tests/windows/travik_loopback.cpp); travik.exe itself is only started and
# closed, its check run is never started.
#   bench/run-windows-benchmarks.sh
# Rounds: TRAVIK_BENCH_STARTUP_ROUNDS (20), TRAVIK_BENCH_PROBE_ROUNDS (50),
# TRAVIK_BENCH_RESPOND_ROUNDS (30), TRAVIK_BENCH_EXPORT_RUNS (15),
# TRAVIK_BENCH_UNATTENDED_ROUNDS (10), TRAVIK_BENCH_CSV_ROUNDS (3).
set -euo pipefail
cd "$(dirname "$0")/.."

startup_rounds=${TRAVIK_BENCH_STARTUP_ROUNDS:-20}
probe_rounds=${TRAVIK_BENCH_PROBE_ROUNDS:-50}
respond_rounds=${TRAVIK_BENCH_RESPOND_ROUNDS:-30}
export_runs=${TRAVIK_BENCH_EXPORT_RUNS:-15}
unattended_rounds=${TRAVIK_BENCH_UNATTENDED_ROUNDS:-10}
csv_rounds=${TRAVIK_BENCH_CSV_ROUNDS:-3}

missing=()
for tool in cmake ninja x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump wine wineserver \
  wineboot winepath timeout; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ -z "${DISPLAY:-}" ]; then command -v xvfb-run >/dev/null || missing+=(xvfb-run); fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "missing: ${missing[*]} (tools/install-deps.sh installs them)" >&2
  exit 1
fi

# Without a display, the whole run goes on one virtual display of its own.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

echo "== build (mingw preset)"
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target travik minimal_window startup_timer probe_bench \
  respond_bench export_bench unattended_bench csv_bench travik_loopback_program
build=build/mingw
benches=$build/bench/windows

WINEPREFIX=$(mktemp -d /tmp/travik-bench-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

echo "== Wine prefix $WINEPREFIX"
wineboot -i >/dev/null 2>&1
winecfg -v win10 >/dev/null 2>&1
# With no window manager on the display, Wine waits 2 s for one on every visible top-level
# window it destroys; unmanaged windows are destroyed at once.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w

failed=0
run() {  # run <seconds> <program> [arguments...]
  local seconds=$1
  shift
  if ! timeout --kill-after=10 "$seconds" wine "$@"; then
    echo "!! $(basename "$1") failed or ran out of time" >&2
    failed=1
  fi
}

echo
echo "== 1. start-up (until the window is shown and the process idle; $startup_rounds rounds)"
travik_exe=$build/travik.exe
echo "travik.exe: $(stat -c %s "$travik_exe") bytes; imports:" \
  "$(x86_64-w64-mingw32-objdump -p "$travik_exe" | sed -n 's/^\s*DLL Name: //p' | paste -sd' ')"
echo "minimal_window.exe: $(stat -c %s "$benches/minimal_window.exe") bytes"
run 150 "$benches/startup_timer.exe" "$startup_rounds" "$(winepath -w "$travik_exe")" \
  "$(winepath -w "$benches/minimal_window.exe")"

echo
echo "== 2. check-run (loopback; $probe_rounds rounds: a window run, a core run, the bare network work)"
run 150 "$benches/probe_bench.exe" "$probe_rounds"

echo
echo "== 3. respond (WM_NULL from another thread; idle 2 s, one silent-FTP run, $respond_rounds TCP-probe runs)"
run 150 "$benches/respond_bench.exe" "$respond_rounds"

echo
echo "== 4. export (10,000 lines; $export_runs runs each)"
run 120 "$benches/export_bench.exe" "$export_runs"

echo
echo "== 5. unattended (loopback build; $unattended_rounds rounds of each, alternately)"
run 300 "$benches/unattended_bench.exe" "$unattended_rounds" \
  "$(winepath -w "$build/tests/windows/travik_loopback.exe")"

echo
echo "== 6. csv (50 writers at once, one table against a file each; $csv_rounds rounds)"
run 900 "$benches/csv_bench.exe" "$csv_rounds" 50 \
  "$(winepath -w "$build/tests/windows/travik_loopback.exe")"

exit $failed
