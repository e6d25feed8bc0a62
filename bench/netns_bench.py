#!/usr/bin/env python3
"""The inside of bench/netns_bench.sh: runs in the namespace that tests/netns/in_netns.sh made,
times the program's runs and the same probes one after another, and prints the table.
Figures only."""
import argparse
import json
import os
import statistics
import sys

sys.dont_write_bytecode = True  # nothing written beside the sources
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "netns"))
from loopback_runs import Run, events, loopback_environment, windows_path  # noqa: E402

RUN_LIMIT = 120  # seconds for a program's run; one after another (a) takes about 47
SEQUENTIAL_LIMIT = 150
# Names under .invalid, none in the namespace's /etc/hosts: each is asked of the silent server.
NAMES = ["difusor1.bench.invalid:81", "difusor2.bench.invalid:81", "srv1.bench.invalid:7500",
         "srv2.bench.invalid:7500", "feed.bench.invalid:80", "www-feed.bench.invalid:80"]
FTP_NAME = "ftp.bench.invalid:21"
SLACK_MS = 1000  # the goals: one wait plus at most this


def unattended(label, program, env):
    """duration_ms from the JSON and the process's wall time, or None."""
    path = os.path.join(os.environ["NETNS_WORK"], "bench.json")
    if os.path.exists(path):
        os.remove(path)
    run = Run(label, [program, "/json", windows_path(path)], env, RUN_LIMIT)
    if run.code not in (0, 1) or not os.path.exists(path):
        print(f"!! {label}: no result", flush=True)
        return None
    with open(path, encoding="utf-8") as f:
        result = json.load(f)
    errors = sorted({(p["error"] or {}).get("text", "OK") for p in result["probes"]})
    print(f"    duration_ms {result['duration_ms']}; probes: {errors}; FTP:"
          f" {result['ftp']['outcome']} {result['ftp']['error']!r}", flush=True)
    return result["duration_ms"], run.wall_ms


def sequential(label, program, items):
    """Each probe's milliseconds, the loop's total and the process's wall time, or None."""
    run = Run(label, [program, *items], dict(os.environ), SEQUENTIAL_LIMIT)
    if run.code != 0:
        print(f"!! {label}: failed", flush=True)
        return None
    each, total = [], None
    for line in run.out.splitlines():
        fields = line.split(" ", 3)
        if fields[0] == "total":
            total = float(fields[1])
        elif len(fields) >= 3:
            each.append(float(fields[2]))
    return each, total, run.wall_ms


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def cell(value):
    return "-" if value is None else f"{value:.0f}"


def main():
    parser = argparse.ArgumentParser()
    for option in ("loopback", "travik", "sequential"):
        parser.add_argument(f"--{option}", required=True)
    parser.add_argument("--rounds", type=int, default=1)
    parser.add_argument("--lookup-timeout", type=int, required=True)
    parser.add_argument("--drop-ftp-port", type=int, required=True)
    parser.add_argument("--answering-ftp-port", type=int, required=True)
    parser.add_argument("tcp", nargs=6)
    args = parser.parse_args()

    dropped_env = loopback_environment(args.tcp, args.drop_ftp_port)
    lookup_env = loopback_environment(NAMES, args.answering_ftp_port, resolver="system")
    dropped_items = [f"tcp:{e}" for e in args.tcp] + [f"ftp:127.0.0.1:{args.drop_ftp_port}"]
    lookup_items = [f"tcp:{e}" for e in NAMES] + [f"ftp:{FTP_NAME}"]
    rows = {key: [] for key in ("a-loopback", "a-seq", "b-loopback", "b-travik", "b-seq")}
    for n in range(1, args.rounds + 1):
        print(f"== round {n}", flush=True)
        rows["a-loopback"].append(unattended("(a) loopback build", args.loopback, dropped_env))
        rows["a-seq"].append(sequential("(a) one after another", args.sequential, dropped_items))
        rows["b-loopback"].append(unattended("(b) loopback build", args.loopback, lookup_env))
        # The shipped program with its own names: none is in /etc/hosts, each is asked of the
        # namespace's silent name server.
        rows["b-travik"].append(unattended("(b) travik.exe", args.travik, dict(os.environ)))
        rows["b-seq"].append(sequential("(b) one after another", args.sequential, lookup_items))

    queried = sorted({e["name"] for e in events() if e["event"] == "dns"})
    print(f"\nnames the silent name server was asked for: {', '.join(queried)}")

    def figure(key, i):  # the median of field i over the rounds that gave a result
        return median([r[i] for r in rows[key] if r])

    # The single waits, from the loop: the longest probe of (a) (a dropped TCP connect), the
    # median probe of (b) (one look-up's wait).
    connect_wait = median([max(r[0]) for r in rows["a-seq"] if r])
    lookup_wait = median([statistics.median(r[0]) for r in rows["b-seq"] if r])
    a_goal = connect_wait + SLACK_MS if connect_wait else None
    b_goal = lookup_wait + SLACK_MS if lookup_wait else None

    def met(duration, goal):
        return "-" if duration is None or goal is None else ("yes" if duration <= goal else "NO")

    table = [
        ("(a) 6 TCP + FTP connects dropped", "side by side: loopback build /json",
         figure("a-loopback", 0), figure("a-loopback", 1), a_goal),
        ("", "one after another: sequential_probes", figure("a-seq", 1), figure("a-seq", 2), None),
        ("(b) names time out", "side by side: loopback build /json (6 names)",
         figure("b-loopback", 0), figure("b-loopback", 1), b_goal),
        ("", "side by side: travik.exe /json (7 names)", figure("b-travik", 0),
         figure("b-travik", 1), b_goal),
        ("", "one after another: sequential_probes (7 names)", figure("b-seq", 1),
         figure("b-seq", 2), None),
    ]
    print()
    print(f"medians of {args.rounds} round(s), milliseconds; 'run' is the JSON's duration_ms or"
          f" the loop's own total, 'wall' the process from start to end under Wine")
    print(f"one dropped TCP connect: {cell(connect_wait)}; one look-up's wait (timeout:"
          f"{args.lookup_timeout} attempts:1): {cell(lookup_wait)}")
    print(f"{'case':34} {'way':48} {'run':>7} {'wall':>7} {'goal':>7}  met")
    for case, way, run, wall, goal in table:
        print(f"{case:34} {way:48} {cell(run):>7} {cell(wall):>7} {cell(goal):>7}  "
              f"{met(run, goal) if goal else '':3}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
